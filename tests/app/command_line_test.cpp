#include "project/project.h"
#include "settings/persist.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct TRun {
    int status = -1;
    QString out;
    QString err;
};

QString Program()
{
    return QStringLiteral(FOTOLOOM_BIN_DIR) + "fotoloom";
}

TRun RunFotoloom(const QStringList& arguments, const QString& program = Program())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("FOTOLOOM_HOME");
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

QStringList Tree(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    return files;
}

TEST(CommandLine, NewMakesASavedProjectAsTheWizardWould)
{
    QTemporaryDir home;
    const TRun made = RunFotoloom({"--home", home.path(), "new", "http://WWW.Photos.example/albums/index.html", "--title", "Summer 2004!",
                           "--catalog", "--min-width", "640", "--min-height", "480", "--min-size", "30", "--max-size", "900",
                           "--max-doc", "100", "--path", "/albums/"});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    EXPECT_EQ(made.out, "Summer_2004\n");
    EXPECT_TRUE(made.err.isEmpty());

    const TRun shown = RunFotoloom({"--home", home.path(), "show", "Summer_2004"});
    ASSERT_EQ(shown.status, 0) << shown.err.toStdString();
    const QString out = shown.out;
    EXPECT_TRUE(out.startsWith("PROJECT INFO\nTitle: Summer 2004!\nCreated: ")) << out.toStdString();
    EXPECT_TRUE(out.contains("Links found/processed :     1      0\n"));
    for (const char* line : {"  URL=http://WWW.Photos.example/albums/index.html\n", "  Domain=www.photos.example\n",
                             "  URLKind=1\n", "  MinWidth=640\n", "  MinHeight=480\n", "  MinPicSize=30720\n",
                             "  MaxPicSize=921600\n", "  MaxDocSize=102400\n", "  SearchPath=/albums/\n", "  WasSaved=TRUE\n",
                             "  DiskName=Summer_2004\n"})
        EXPECT_TRUE(out.contains(line)) << line;
    EXPECT_TRUE(out.contains("Documents: 1 records\n  flsInitial           1\n"));
    EXPECT_TRUE(out.contains("Pictures: 0 records\n"));
    EXPECT_TRUE(out.endsWith("Links: 1\n"));

    const TRun listed = RunFotoloom({"--home", home.path(), "list"});
    ASSERT_EQ(listed.status, 0);
    const QStringList fields = listed.out.trimmed().split('\t');
    ASSERT_EQ(fields.size(), 4);
    EXPECT_TRUE(fields[0].startsWith("PRJ-"));
    EXPECT_EQ(fields[1], "Summer_2004");
    EXPECT_EQ(fields[3], "Summer 2004!");

    // the UIN names the project too
    EXPECT_EQ(RunFotoloom({"--home", home.path(), "show", fields[0]}).status, 0);
}

TEST(CommandLine, NewWithoutOptionsUsesTheHostAndTheDefaults)
{
    QTemporaryDir home;
    const TRun made = RunFotoloom({"--home=" + home.path(), "new", "http://www.nature-photos.example/"});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    EXPECT_EQ(made.out, "www_nature-\n");
    const TRun shown = RunFotoloom({"--home", home.path(), "show", "www_nature-"});
    for (const char* line : {"  URLKind=0\n", "  MinWidth=320\n", "  MinPicSize=20480\n", "  Category=Nature\n",
                             "  Title=www.nature-photos.example\n"})
        EXPECT_TRUE(shown.out.contains(line)) << line;
    EXPECT_FALSE(shown.out.contains("SearchPath"));
    // a second project of the same name gets the next free folder
    EXPECT_EQ(RunFotoloom({"--home", home.path(), "new", "http://www.nature-photos.example/"}).out, "www_nature-(1)\n");
}

TEST(CommandLine, TheProjectFileIsAPrefixAndABzip2Stream)
{
    const QString bzip2 = QStandardPaths::findExecutable("bzip2");
    if (bzip2.isEmpty())
        GTEST_SKIP() << "no bzip2 tool on this machine";
    QTemporaryDir home;
    ASSERT_EQ(RunFotoloom({"--home", home.path(), "new", "http://h.example/g/"}).status, 0);
    const QByteArray file = ReadFileBytes(home.path() + "/Projects/h_example/Info/project.dat");
    ASSERT_GT(file.size(), 224);
    QProcess tool;
    tool.start(bzip2, {"-dc"});
    tool.write(file.mid(224));
    tool.closeWriteChannel();
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0);
    const QByteArray inner = tool.readAllStandardOutput();
    ASSERT_GT(inner.size(), 4);
    EXPECT_EQ(FromLE32(inner.constData()), inner.size() - 4);
    EXPECT_TRUE(inner.mid(4).startsWith("[Documents]\r\nFILE-"));
    EXPECT_TRUE(inner.contains("[Links]\r\nhttp://h.example/g/\r\n"));
}

TEST(CommandLine, UsageErrorsAndMissingProjectsWriteNothing)
{
    struct TCase {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"new"}, "new needs a starting address"},
        {{"new", "ftp://h/"}, "must begin with http://"},
        {{"new", "http://h/", "--colour", "red"}, "unknown option '--colour'"},
        {{"new", "http://h/", "--min-width", "wide"}, "--min-width takes a whole number"},
        {{"new", "http://h/", "--max-size", "-5"}, "--max-size takes a whole number"},
        {{"new", "http://h/", "--title"}, "--title needs a value"},
        {{"show"}, "show needs a project name"},
        {{"show", "Nothing"}, "no project 'Nothing'"},
        {{"list", "extra"}, "unexpected argument 'extra'"},
        {{"--home"}, "--home needs a folder"},
    };
    for (const TCase& c : cases) {
        QTemporaryDir home;
        QStringList arguments = c.arguments;
        if (c.arguments.first() != "--home")
            arguments = QStringList({"--home", home.path()}) + arguments;
        const TRun run = RunFotoloom(arguments);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_TRUE(run.out.isEmpty()) << c.message;
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith("fotoloom: ") && run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_TRUE(Tree(home.path()).isEmpty()) << c.message;
    }

    // a missing project in a home that has projects changes nothing either
    QTemporaryDir home;
    ASSERT_EQ(RunFotoloom({"--home", home.path(), "new", "http://h.example/"}).status, 0);
    const QStringList before = Tree(home.path());
    const QByteArray config = ReadFileBytes(home.path() + "/data/config.dat");
    EXPECT_EQ(RunFotoloom({"--home", home.path(), "show", "Missing"}).status, 2);
    EXPECT_EQ(RunFotoloom({"--home", home.path(), "show", "../data"}).status, 2);
    EXPECT_EQ(Tree(home.path()), before);
    EXPECT_EQ(ReadFileBytes(home.path() + "/data/config.dat"), config);
}

TEST(CommandLine, VersionHelpAndAnEmptyHome)
{
    const TRun version = RunFotoloom({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith("Fotoloom ")) << version.out.toStdString();
    EXPECT_EQ(version.out.trimmed().split(' ').value(1).count('.'), 3);
    const TRun help = RunFotoloom({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("new URL"));
    QTemporaryDir home;
    const TRun list = RunFotoloom({"--home", home.path(), "list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(list.out.isEmpty());
}

TEST(CommandLine, HomeFromTheEnvironment)
{
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FOTOLOOM_HOME", home.path());
    process.setProcessEnvironment(env);
    process.start(Program(), {"new", "http://env.example/"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(QFileInfo::exists(home.path() + "/Projects/env_example/Info/project.dat"));
}

TEST(CommandLine, ABrokenInstallationEndsWithStatusOne)
{
    // the program alone, without the installed keyword files beside it
    QTemporaryDir install;
    QDir().mkpath(install.path() + "/bin");
    const QString copy = install.path() + "/bin/fotoloom";
    ASSERT_TRUE(QFile::copy(Program(), copy));
    QFile::setPermissions(copy, QFile::permissions(Program()));
    QTemporaryDir home;
    const TRun run = RunFotoloom({"--home", home.path(), "new", "http://h.example/"}, copy);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("categories.dat")) << run.err.toStdString();
    EXPECT_EQ(run.err.count('\n'), 1);
}

} // namespace
