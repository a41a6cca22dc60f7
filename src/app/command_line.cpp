#include "app/command_line.h"

#include "app/demo_gallery.h"
#include "app/headless_crawl.h"
#include "app/new_project.h"
#include "app/terminal_progress.h"
#include "crawl/address.h"
#include "project/file_record.h"
#include "project/project.h"
#include "project/project_list.h"
#include "settings/app_settings.h"
#include "settings/text_convert.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include <unistd.h>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFatal = 1;
constexpr int kExitUsage = 2;

const char kHelp[] =
    "Usage: fotoloom [--home DIR] COMMAND [OPTIONS]\n"
    "\n"
    "Fotoloom harvests the pictures of a web site into a project folder.\n"
    "\n"
    "Commands:\n"
    "  new URL      make a crawl project for a starting address and print its folder name\n"
    "      --title T          the project's title (default: the address's host)\n"
    "      --category C       its category (default: guessed from the address)\n"
    "      --catalog          the address is a catalogue of links to galleries:\n"
    "                         follow documents on any host\n"
    "      --min-width N      smallest picture width in pixels (default 320)\n"
    "      --min-height N     smallest picture height in pixels (default 200)\n"
    "      --min-size KB      smallest picture file (default 20)\n"
    "      --max-size KB      largest picture file (default 500)\n"
    "      --max-doc KB       largest document (default 200)\n"
    "      --path TEXT        follow only documents whose address contains TEXT\n"
    "  list         list every project: UIN, folder name, category, title\n"
    "  show NAME    show a project (by folder name or UIN): its information,\n"
    "               options and the states of its records\n"
    "  crawl URL    make a project as new does (same options) and crawl it\n"
    "  crawl NAME   resume the crawl of a saved project\n"
    "      --eager            service a slot as soon as its fetch ends, and fetch\n"
    "                         pictures in every slot\n"
    "  demo         serve a small gallery site on 127.0.0.1 and crawl it into\n"
    "               the project \"Demo Gallery\" (--eager as for crawl)\n"
    "\n"
    "Ctrl+C stops a crawl: running fetches are kept for the next run, and the\n"
    "project is saved.\n"
    "\n"
    "Options:\n"
    "  --home DIR   keep data/ and Projects/ in DIR (else $FOTOLOOM_HOME,\n"
    "               else beside the program when a file 'portable' is there,\n"
    "               else $XDG_DATA_HOME/fotoloom)\n"
    "  --version    print the version\n"
    "  --help       print this help\n";

void Print(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
}

int Fail(const QString& message, int code = kExitUsage)
{
    std::fprintf(stderr, "fotoloom: %s\n", message.toLocal8Bit().constData());
    return code;
}

// Walks the arguments; an option's value is the next argument or follows "=".
class TArguments {
public:
    explicit TArguments(const QStringList& list) : m_list(list) {}
    bool AtEnd() const { return m_pos >= m_list.size(); }
    QString Next() { return m_list.at(m_pos++); }
    bool Value(const QString& option, QString* inline_, QString* value)
    {
        if (inline_ && !inline_->isNull()) {
            *value = *inline_;
            return true;
        }
        if (AtEnd())
            return false;
        *value = Next();
        return true;
    }

private:
    QStringList m_list;
    int m_pos = 0;
};

// splits "--name=value" into its name and value
QString OptionName(const QString& argument, QString* value)
{
    const int eq = argument.indexOf(QLatin1Char('='));
    if (argument.startsWith(QLatin1String("--")) && eq > 0) {
        *value = argument.mid(eq + 1);
        return argument.left(eq);
    }
    *value = QString();
    return argument;
}

bool ParseCount(const QString& text, qint64 limit, int* value)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    if (!ok || n < 0 || n > limit)
        return false;
    *value = static_cast<int>(n);
    return true;
}

// Reads the options of "new" (and of "crawl", which adds --eager); the first
// argument that is no option goes to request.url. An error message when they are wrong.
QString ParseNew(TArguments& args, TNewRequest& request, bool* eager = nullptr)
{
    constexpr qint64 kMaxKb = INT32_MAX / 1024;
    while (!args.AtEnd()) {
        const QString argument = args.Next();
        QString inlineValue;
        const QString name = OptionName(argument, &inlineValue);
        auto value = [&](QString* out) { return args.Value(name, &inlineValue, out); };
        QString text;
        if (!name.startsWith(QLatin1String("--"))) {
            if (!request.url.isEmpty())
                return QStringLiteral("unexpected argument '%1'").arg(argument);
            request.url = argument;
            continue;
        }
        if (name == QLatin1String("--catalog") && inlineValue.isNull()) {
            request.catalog = true;
            continue;
        }
        if (eager && name == QLatin1String("--eager") && inlineValue.isNull()) {
            *eager = true;
            continue;
        }
        struct TNumber {
            const char* option;
            std::optional<int>* target;
            qint64 limit;
        };
        const TNumber numbers[] = {
            {"--min-width", &request.minWidth, INT32_MAX},   {"--min-height", &request.minHeight, INT32_MAX},
            {"--min-size", &request.minSizeKb, kMaxKb},      {"--max-size", &request.maxSizeKb, kMaxKb},
            {"--max-doc", &request.maxDocKb, kMaxKb},
        };
        bool matched = false;
        for (const TNumber& number : numbers) {
            if (name != QLatin1String(number.option))
                continue;
            matched = true;
            int n = 0;
            if (!value(&text))
                return QStringLiteral("option %1 needs a value").arg(name);
            if (!ParseCount(text, number.limit, &n))
                return QStringLiteral("option %1 takes a whole number from 0 to %2, not '%3'").arg(name).arg(number.limit).arg(text);
            *number.target = n;
        }
        if (matched)
            continue;
        std::optional<QString>* textTarget = nullptr;
        if (name == QLatin1String("--title"))
            textTarget = &request.title;
        else if (name == QLatin1String("--category"))
            textTarget = &request.category;
        else if (name == QLatin1String("--path"))
            textTarget = &request.path;
        if (!textTarget)
            return QStringLiteral("unknown option '%1'").arg(argument);
        if (!value(&text))
            return QStringLiteral("option %1 needs a value").arg(name);
        *textTarget = text;
    }
    return {};
}

int RunNew(const TNewRequest& request)
{
    QString error;
    const std::unique_ptr<TProject> project = MakeNewProject(request, &error);
    if (!project)
        return Fail(error, kExitFatal);
    Print(ToQString(project->GetDiskName()));
    return kExitOk;
}

int RunList()
{
    TProjectList list;
    list.LoadProjects();
    for (int i = 0; i < list.Count(); ++i) {
        TProject* project = list.ProjectAt(i);
        const TOptionsList& o = project->Options();
        Print(ToQString(GetString(o, "UIN")) + QLatin1Char('\t') + ToQString(project->GetDiskName()) + QLatin1Char('\t')
              + ToQString(GetString(o, "Category")) + QLatin1Char('\t') + ToQString(GetString(o, "Title")));
    }
    return kExitOk;
}

// The folder of a project named by its folder name or by its UIN; "" when none.
std::string FindProjectFolder(const QString& name)
{
    const std::string asFolder = ToStdString(name);
    if (IsSafeDiskName(asFolder) && QFileInfo::exists(ProjectsFolder() + name + QStringLiteral("/Info/project.dat")))
        return asFolder;
    TProjectList list;
    list.LoadProjects();
    const int i = list.IndexOfUIN(asFolder);
    return i < 0 ? std::string() : list.ProjectAt(i)->GetDiskName();
}

void PrintStates(const char* title, const TOptionsList* list)
{
    static const std::string_view kStates[] = {flsInitial, flsProcessing, flsDeferred, flsSucceed, flsFailed};
    std::map<std::string, int> counts;
    int unreadable = 0;
    const int n = list ? list->Count() : 0;
    for (int i = 0; i < n; ++i) {
        TFileRecord record;
        if (record.FromText(list->Get(i)))
            ++counts[record.Status];
        else
            ++unreadable;
    }
    Print(QStringLiteral("%1: %2 records").arg(QLatin1String(title)).arg(n));
    for (std::string_view state : kStates)
        Print(QStringLiteral("  %1 %2").arg(ToQString(state), -14).arg(counts[std::string(state)], 7));
    for (const auto& [state, count] : counts) {
        bool known = false;
        for (std::string_view s : kStates)
            known = known || state == s;
        if (!known)
            Print(QStringLiteral("  %1 %2").arg(ToQString(state), -14).arg(count, 7));
    }
    if (unreadable > 0)
        Print(QStringLiteral("  %1 %2").arg(QStringLiteral("(unreadable)"), -14).arg(unreadable, 7));
}

int RunShow(const QString& name)
{
    const std::string folder = FindProjectFolder(name);
    TProject project;
    if (folder.empty() || !project.Load(folder))
        return Fail(QStringLiteral("no project '%1' in %2").arg(name, ProjectsFolder()));
    for (const QString& line : project.GetInfo())
        Print(line);
    Print(QString());
    Print(QStringLiteral("Options:"));
    for (int i = 0; i < project.Options().Count(); ++i)
        Print(QStringLiteral("  ") + ToQString(project.Options().Get(i)));
    Print(QString());
    PrintStates("Documents", project.Documents());
    PrintStates("Pictures", project.Pictures());
    const TOptionsList* links = project.Links();
    Print(QStringLiteral("Links: %1").arg(links ? links->Count() : 0));
    return kExitOk;
}

} // namespace

int RunCommandLine(const QStringList& arguments)
{
    TArguments args(arguments);
    QString home;
    QString command;
    while (!args.AtEnd()) {
        const QString argument = args.Next();
        QString inlineValue;
        const QString name = OptionName(argument, &inlineValue);
        if (name == QLatin1String("--home")) {
            if (!args.Value(name, &inlineValue, &home) || home.isEmpty())
                return Fail(QStringLiteral("option --home needs a folder"));
        } else if (argument == QLatin1String("--version")) {
            Print(QStringLiteral("Fotoloom %1").arg(QStringLiteral(FOTOLOOM_VERSION)));
            return kExitOk;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::fputs(kHelp, stdout);
            return kExitOk;
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return Fail(QStringLiteral("unknown option '%1' (see fotoloom --help)").arg(argument));
        } else {
            command = argument;
            break;
        }
    }
    if (command.isEmpty()) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }

    // everything is read and checked before anything is written
    TNewRequest request;
    QString projectName;
    bool eager = false;
    bool crawlNew = false;
    if (command == QLatin1String("new")) {
        QString error = ParseNew(args, request);
        if (error.isEmpty() && request.url.isEmpty())
            error = QStringLiteral("new needs a starting address");
        if (error.isEmpty())
            error = CheckStartingAddress(request.url);
        if (!error.isEmpty())
            return Fail(error);
    } else if (command == QLatin1String("crawl")) {
        QString error = ParseNew(args, request, &eager);
        if (error.isEmpty() && request.url.isEmpty())
            error = QStringLiteral("crawl needs a starting address or a project name");
        if (!error.isEmpty())
            return Fail(error);
        crawlNew = request.url.contains(QLatin1String("://")) || request.url.startsWith(QLatin1String("www."), Qt::CaseInsensitive);
        if (crawlNew) {
            error = CheckStartingAddress(request.url);
            if (!error.isEmpty())
                return Fail(error);
        } else {
            projectName = request.url;
        }
    } else if (command == QLatin1String("demo")) {
        while (!args.AtEnd()) {
            const QString argument = args.Next();
            if (argument != QLatin1String("--eager"))
                return Fail(QStringLiteral("unknown option '%1'").arg(argument));
            eager = true;
        }
    } else if (command == QLatin1String("list")) {
        if (!args.AtEnd())
            return Fail(QStringLiteral("unexpected argument '%1'").arg(args.Next()));
    } else if (command == QLatin1String("show")) {
        if (args.AtEnd())
            return Fail(QStringLiteral("show needs a project name"));
        projectName = args.Next();
        if (!args.AtEnd())
            return Fail(QStringLiteral("unexpected argument '%1'").arg(args.Next()));
    } else {
        return Fail(QStringLiteral("unknown command '%1' (see fotoloom --help)").arg(command));
    }

    const QString exeFolder = QCoreApplication::applicationDirPath();
    TAppFolders folders{ResolveHomeFolder(home, exeFolder), ResolveInstallFolder(exeFolder)};
    const bool readOnly = command == QLatin1String("list") || command == QLatin1String("show");
    const bool needsProject = command == QLatin1String("show") || (command == QLatin1String("crawl") && !crawlNew);
    if (!QFileInfo(folders.home + QStringLiteral("Projects")).isDir()) {
        if (needsProject)
            return Fail(QStringLiteral("no project '%1' in %2Projects/").arg(projectName, folders.home));
        if (readOnly)
            return kExitOk;
    }

    std::unique_ptr<TTerminalProgress> progress;
    if (isatty(STDERR_FILENO)) {
        progress = std::make_unique<TTerminalProgress>();
        SetAppBusy(progress.get());
    }
    QString error;
    if (!AppStartup(folders, &error))
        return Fail(error, kExitFatal);

    int status = kExitOk;
    if (command == QLatin1String("new")) {
        status = RunNew(request);
    } else if (command == QLatin1String("list")) {
        status = RunList();
    } else if (command == QLatin1String("show")) {
        status = RunShow(projectName);
    } else if (command == QLatin1String("demo")) {
        status = RunDemo(eager);
    } else if (crawlNew) {
        const std::unique_ptr<TProject> project = MakeNewProject(request, &error);
        status = project ? RunHeadlessCrawl(*project, eager) : Fail(error, kExitFatal);
    } else {
        const std::string folder = FindProjectFolder(projectName);
        TProject project;
        if (folder.empty() || !project.Load(folder))
            status = Fail(QStringLiteral("no project '%1' in %2 that can be loaded").arg(projectName, ProjectsFolder()));
        else
            status = RunHeadlessCrawl(project, eager);
    }

    // the read-only commands, and a command that found no project, write nothing
    if (!readOnly && status != kExitUsage && !AppShutdown(&error) && status == kExitOk)
        status = Fail(error, kExitFatal);
    SetAppBusy(nullptr);
    return status;
}
