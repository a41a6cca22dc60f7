#include "project/file_record.h"
#include "project/project.h"
#include "settings/app_settings.h"

#include "support/http_test_server.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <csignal>

namespace {

QString Program()
{
    return QStringLiteral(FOTOLOOM_BIN_DIR) + "fotoloom";
}

struct TRun {
    int status = -1;
    QString out;
    QString err;
};

TRun RunFotoloom(const QStringList& arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.start(Program(), arguments);
    process.waitForFinished(timeoutMs);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray Jpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7 + y * 3) % 256, (x * y) % 256, (x + y * 11) % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(image);
    return bytes;
}

QStringList SavedPictures(const QString& home, const QString& project)
{
    return QDir(home + "/Projects/" + project).entryList({"*.jpg"}, QDir::Files, QDir::Name);
}

// The record of a link, read from a saved project (in this process's own home).
TFileRecord SavedRecord(const QString& home, const std::string& project, const std::string& link)
{
    TTempHome::StartIn(home);
    TProject p;
    EXPECT_TRUE(p.Load(project));
    TFileRecord found;
    for (TOptionsList* list : {p.Documents(), p.Pictures()})
        for (int i = 0; i < list->Count(); ++i) {
            TFileRecord r;
            if (r.FromText(list->Get(i)) && r.Link == link)
                found = r;
        }
    AppShutdown();
    return found;
}

TEST(CrawlCommand, CrawlsANewProjectToItsEnd)
{
    THttpTestServer server;
    const QByteArray a = Jpeg(640, 480);
    const QByteArray b = Jpeg(800, 600);
    server.SetRoute("/", THttpTestResponse::Html("<a href=\"g/\">gallery</a>"));
    server.SetRoute("/g/", THttpTestResponse::Html("<a href=\"a.jpg\">a</a> <a href=\"b.jpg\">b</a> <a href=\"gone.html\">x</a>"));
    server.SetRoute("/g/a.jpg", THttpTestResponse::Content("image/jpeg", a));
    server.SetRoute("/g/b.jpg", THttpTestResponse::Content("image/jpeg", b));
    QTemporaryDir home;
    const TRun run = RunFotoloom({"--home", home.path(), "crawl", server.Url("/"), "--title", "Two", "--min-size", "1", "--eager"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Process Finished\n")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Images found/processed:     2      2")) << run.err.toStdString();
    EXPECT_EQ(run.err.count("\npicture "), 2) << run.err.toStdString();
    const QStringList saved = SavedPictures(home.path(), "Two");
    ASSERT_EQ(saved.size(), 2);
    QSet<QByteArray> bytes{ReadFileBytes(home.path() + "/Projects/Two/" + saved[0]),
                           ReadFileBytes(home.path() + "/Projects/Two/" + saved[1])};
    EXPECT_EQ(bytes, (QSet<QByteArray>{a, b}));
    const TRun shown = RunFotoloom({"--home", home.path(), "show", "Two"});
    EXPECT_TRUE(shown.out.contains("Pictures: 2 records\n  flsInitial           0")) << shown.out.toStdString();
}

TEST(CrawlCommand, AnInterruptedCrawlKeepsItsFetchesAndResumes)
{
    THttpTestServer server;
    THttpTestResponse stall = THttpTestResponse::Html("later");
    stall.shape = THttpBodyShape::StallBeforeHeaders;
    server.SetRoute("/", stall);
    QTemporaryDir home;
    QProcess crawl;
    crawl.start(Program(), {"--home", home.path(), "crawl", server.Url("/"), "--title", "Resume"});
    ASSERT_TRUE(server.WaitForRequests("/", 1, 30000));
    ::kill(static_cast<pid_t>(crawl.processId()), SIGINT);
    ASSERT_TRUE(crawl.waitForFinished(30000));
    EXPECT_EQ(crawl.exitCode(), 0);
    const QString err = QString::fromUtf8(crawl.readAllStandardError());
    EXPECT_TRUE(err.contains("Stopping")) << err.toStdString();
    EXPECT_TRUE(err.contains("Process Finished")) << err.toStdString();
    const std::string start = server.Url("/").toStdString();
    TFileRecord stopped = SavedRecord(home.path(), "Resume", start);
    EXPECT_EQ(stopped.Status, "flsDeferred");
    EXPECT_EQ(stopped.ResultText, "Stopped");
    EXPECT_EQ(stopped.Attempts, 0);

    server.SetRoute("/", THttpTestResponse::Html("<p>here now</p>"));
    const TRun resumed = RunFotoloom({"--home", home.path(), "crawl", "Resume"});
    ASSERT_EQ(resumed.status, 0) << resumed.err.toStdString();
    const TFileRecord done = SavedRecord(home.path(), "Resume", start);
    EXPECT_EQ(done.Status, "flsSucceed");
    EXPECT_EQ(done.Attempts, 1);
}

TEST(CrawlCommand, RecordsLeftProcessingAreFetchedAgain)
{
    THttpTestServer server;
    server.SetRoute("/p.html", THttpTestResponse::Html("ok"));
    QTemporaryDir home;
    TTempHome::StartIn(home.path());
    {
        TProject project;
        SetString(project.Options(), "Title", "Cut");
        SetString(project.Options(), "Domain", "127.0.0.1");
        TFileRecord r;
        r.Link = server.Url("/p.html").toStdString();
        r.Status = "flsProcessing";  // a run that ended in the middle of this fetch
        r.Attempts = 1;
        project.StoreRecord(r);
        project.Links()->Add(r.Link);
        ASSERT_TRUE(project.Save());
    }
    AppShutdown();
    const TRun run = RunFotoloom({"--home", home.path(), "crawl", "Cut"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const TFileRecord r = SavedRecord(home.path(), "Cut", server.Url("/p.html").toStdString());
    EXPECT_EQ(r.Status, "flsSucceed");
    EXPECT_EQ(r.Attempts, 2);
}

TEST(CrawlCommand, RefusesAddressesThatAreNotHttpAndMissingProjects)
{
    struct TCase {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{"crawl", "ftp://h/"}, "must begin with http://"},
        {{"crawl", "https://h/"}, "must begin with http://"},
        {{"crawl", "Nothing"}, "no project 'Nothing'"},
        {{"crawl"}, "crawl needs a starting address or a project name"},
        {{"crawl", "http://h/", "--fast"}, "unknown option '--fast'"},
        {{"demo", "--slow"}, "unknown option '--slow'"},
    };
    for (const TCase& c : cases) {
        QTemporaryDir home;
        const TRun run = RunFotoloom(QStringList({"--home", home.path()}) + c.arguments);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_TRUE(QDir(home.path()).isEmpty()) << c.message;
    }
}

TEST(DemoCommand, ServesItsGalleryAndHarvestsIt)
{
    QTemporaryDir home;
    const TRun first = RunFotoloom({"--home", home.path(), "demo", "--eager"});
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    EXPECT_TRUE(first.err.contains("Process Finished")) << first.err.toStdString();
    const QStringList saved = SavedPictures(home.path(), "Demo_Galler");
    EXPECT_EQ(saved.size(), 17);
    const TRun shown = RunFotoloom({"--home", home.path(), "show", "Demo_Galler"});
    EXPECT_TRUE(shown.out.contains("Pictures: 18 records\n")) << shown.out.toStdString();
    EXPECT_TRUE(shown.out.contains("  flsSucceed          17\n")) << shown.out.toStdString();
    // made once, then crawled on where it stopped: nothing is left to fetch
    const TRun again = RunFotoloom({"--home", home.path(), "demo", "--eager"});
    ASSERT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_EQ(again.err.count("\npicture "), 0) << again.err.toStdString();
    EXPECT_EQ(SavedPictures(home.path(), "Demo_Galler"), saved);
    EXPECT_EQ(QDir(home.path() + "/Projects").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

} // namespace
