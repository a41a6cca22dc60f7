#include "settings/app_settings.h"

#include "settings/comma_list.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <memory>
#include <random>

namespace {

struct TAppState {
    bool started = false;
    QString home;
    QString data;
    QString projects;
    QString install;
    QString version;
    TOptionsList settings;
    std::vector<std::string> adultWords;
};

TAppState& State()
{
    static TAppState state;
    return state;
}

std::mt19937& IdGenerator()
{
    static std::mt19937 generator(static_cast<unsigned>(
        std::chrono::system_clock::now().time_since_epoch().count() ^ std::random_device{}()));
    return generator;
}

QString WithSlash(QString folder)
{
    folder = QDir::cleanPath(folder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// A value that must be a number but is not counts as not set.
bool IntegerNotSet(const TOptionsList& settings, const char* key, bool minusOneIsUnset)
{
    int value = 0;
    if (!TryGetInteger(settings, key, &value))
        return true;
    return minusOneIsUnset && value == -1;
}

} // namespace

QString ResolveHomeFolder(const QString& commandLineHome, const QString& exeFolder)
{
    if (!commandLineHome.isEmpty())
        return WithSlash(QDir(commandLineHome).absolutePath());
    const QString env = qEnvironmentVariable("FOTOLOOM_HOME");
    if (!env.isEmpty())
        return WithSlash(QDir(env).absolutePath());
    if (!exeFolder.isEmpty() && QFileInfo::exists(QDir(exeFolder).filePath(QStringLiteral("portable"))))
        return WithSlash(exeFolder);
    QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (xdg.isEmpty() || !QDir::isAbsolutePath(xdg))
        xdg = QDir::homePath() + QStringLiteral("/.local/share");
    return WithSlash(xdg + QStringLiteral("/fotoloom"));
}

QString ResolveInstallFolder(const QString& exeFolder)
{
    const QDir exe(exeFolder);
    if (QFileInfo::exists(exe.filePath(QStringLiteral("data/categories.dat"))))
        return WithSlash(exe.absolutePath());
    return WithSlash(exe.absoluteFilePath(QStringLiteral("../share/fotoloom")));
}

bool AppStartup(const TAppFolders& folders, QString* error)
{
    TAppState& s = State();
    IdGenerator();
    s.settings.Clear();
    s.adultWords.clear();
    s.home = WithSlash(folders.home);
    s.install = WithSlash(folders.install);
    s.data = s.home + QStringLiteral("data/");
    s.projects = s.home + QStringLiteral("Projects/");
    QDir().mkpath(s.data);
    QDir().mkpath(s.projects);
    s.version = QStringLiteral(FOTOLOOM_VERSION);

    // the installed keyword files seed a new home
    for (const char* name : {"categories.dat", "catnames.dat"}) {
        const QString target = s.data + QLatin1String(name);
        const QString source = s.install + QStringLiteral("data/") + QLatin1String(name);
        if (!QFileInfo::exists(target) && QFileInfo::exists(source) && QFileInfo(source) != QFileInfo(target))
            QFile::copy(source, target);
    }

    const QString config = s.data + QStringLiteral("config.dat");
    if (!QFileInfo::exists(config))
        s.settings.SaveToFile(config);
    s.settings.LoadFromFile(config);

    TOptionsList& settings = s.settings;
    if (IntegerNotSet(settings, "MaxAttempts", true))
        SetInteger(settings, "MaxAttempts", 3);
    if (IntegerNotSet(settings, "SlideShow_Interval", false))
        SetInteger(settings, "SlideShow_Interval", 4000);
    if (IntegerNotSet(settings, "SlideShow_Direction", false))
        SetInteger(settings, "SlideShow_Direction", 0);
    if (GetString(settings, "RepositoryURL").empty())
        SetString(settings, "RepositoryURL", "http://repository.fotoloom.org/plm/catalog/");
    if (GetString(settings, "Selectedcategory").empty())
        SetString(settings, "Selectedcategory", "Other");
    if (IntegerNotSet(settings, "MaxTimeOut", true))
        SetInteger(settings, "MaxTimeOut", 180000);
    if (GetString(settings, "SelectNewPic").empty())
        SetBoolean(settings, "SelectNewPic", true);
    if (GetString(settings, "OpenNewPic").empty())
        SetBoolean(settings, "OpenNewPic", true);

    TOptionsList categories;
    const QString categoriesPath = s.data + QStringLiteral("categories.dat");
    if (!categories.LoadFromFile(categoriesPath)) {
        if (error)
            *error = QStringLiteral("Cannot open %1: the keyword file of the installation is missing").arg(categoriesPath);
        return false;
    }
    std::string_view erotic;
    if (categories.FindValue("Erotic", &erotic))
        ReadCommaList(erotic, s.adultWords);
    s.started = true;
    return true;
}

bool AppShutdown(QString* error)
{
    TAppState& s = State();
    if (!s.started)
        return true;
    const QString config = s.data + QStringLiteral("config.dat");
    const bool ok = s.settings.SaveToFile(config);
    if (!ok && error)
        *error = QStringLiteral("Cannot write %1: the settings of this run are lost").arg(config);
    s.settings.Clear();
    s.adultWords.clear();
    s.started = false;
    return ok;
}

bool AppStarted()
{
    return State().started;
}

TOptionsList& Settings()
{
    return State().settings;
}

const QString& HomeFolder()
{
    return State().home;
}

const QString& DataFolder()
{
    return State().data;
}

const QString& ProjectsFolder()
{
    return State().projects;
}

const QString& InstallFolder()
{
    return State().install;
}

QString ImagesFolder()
{
    return State().install + QStringLiteral("images/");
}

const QString& AppVersion()
{
    return State().version;
}

const std::vector<std::string>& AdultWords()
{
    return State().adultWords;
}

void SetAdultWords(std::vector<std::string> words)
{
    State().adultWords = std::move(words);
}

std::string FormatFileID(int year, int month, int day, int second, unsigned random)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%03X%X%02X%02X%04X", static_cast<unsigned>(year % 1000),
                  static_cast<unsigned>(month), static_cast<unsigned>(day), static_cast<unsigned>(second), random);
    return buffer;
}

namespace {
std::string (*g_fileIDSource)() = nullptr;
} // namespace

void SetFileIDSource(std::string (*source)())
{
    g_fileIDSource = source;
}

std::string NewFileID()
{
    if (g_fileIDSource)
        return g_fileIDSource();
    // the local date is looked up once per second: a crawl makes many identifiers in one
    static std::time_t cachedSecond = -1;
    static std::tm local{};
    const std::time_t now = std::time(nullptr);
    if (now != cachedSecond) {
        cachedSecond = now;
        localtime_r(&now, &local);
    }
    std::uniform_int_distribution<unsigned> draw(0, 0xFFFFE);
    return FormatFileID(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_sec, draw(IdGenerator()));
}
