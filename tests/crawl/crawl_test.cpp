#include "crawl/crawl_fixture.h"

#include "crawl/fetch_worker.h"

#include <QDir>
#include <QFileInfo>

#include <map>

namespace {

struct TOutcome {
    const char* path;  // as linked from the starting page
    const char* status;
    const char* result;
    int attempts;
};

// One crawl of a site holding every outcome a fetch can have: each record's
// final state, result text and attempts, the pictures saved byte for byte, the
// counters, and what the requests carried.
TEST(Crawl, EveryOutcomeOfAFetchEndsInItsStateAndResult)
{
    TCrawlFixture f;
    THttpTestServer& s = f.server;
    const QByteArray good = MakeJpeg(640, 480, 30000);
    // without a length the header must come in the first blocks: the test runs on every block
    const QByteArray noLength = MakeJpeg(800, 600, 25000, false);
    const QByteArray tiny = MakeJpeg(16, 16);
    const quint16 nobody = THttpTestServer::UnusedPort();
    const QByteArray unreachable = "http://127.0.0.1:" + QByteArray::number(nobody) + "/nobody.html";

    const char* const links[] = {"/doc.html",         "/photos/good.jpg",  "/photos/nolength.jpg", "/photos/small.jpg",
                                 "/photos/huge.jpg",  "/photos/narrow.jpg", "/photos/tiny.jpg",     "/photos/garbage.jpg",
                                 "/animated",         "/download?id=1",     "/big.html",            "/endless.html",
                                 "/empty.html",       "/missing.html",      "/secret.html",         "/flaky.html",
                                 "/cut.html",         "/toolarge.html",     "/chunked.html",        "/drip.html",
                                 "/hop1.html",        "/loop.html",         "/to-ftp.html",         "/short.html",
                                 "/nothing.html",     "/choose.html"};
    QByteArray page = "<html><body>\n";
    for (const char* link : links)
        page += QByteArray("<a href=\"") + link + "\">x</a>\n";
    page += "<a href=\"" + unreachable + "\">away</a>\n</body></html>\n";
    s.SetRoute("/", THttpTestResponse::Html(page));
    s.SetRoute("/doc.html", THttpTestResponse::Html("<a href=\"deeper/page.html\">on</a>"));
    s.SetRoute("/deeper/page.html", THttpTestResponse::Html("<p>the end</p>"));
    s.SetRoute("/photos/good.jpg", THttpTestResponse::Content("image/jpeg", good));
    THttpTestResponse unannounced = THttpTestResponse::Content("image/jpeg", noLength);
    unannounced.shape = THttpBodyShape::NoLength;
    s.SetRoute("/photos/nolength.jpg", unannounced);
    s.SetRoute("/photos/small.jpg", THttpTestResponse::Content("image/jpeg", MakeJpeg(640, 480, 10000).left(10000)));
    s.SetRoute("/photos/huge.jpg", THttpTestResponse::Content("image/jpeg", MakeJpeg(640, 480, 600000)));
    s.SetRoute("/photos/narrow.jpg", THttpTestResponse::Content("image/jpeg", MakeJpeg(300, 200, 30000)));
    THttpTestResponse small = THttpTestResponse::Content("image/jpeg", tiny);
    small.shape = THttpBodyShape::NoLength;
    s.SetRoute("/photos/tiny.jpg", small);
    s.SetRoute("/photos/garbage.jpg", THttpTestResponse::Content("image/jpeg", QByteArray(30000, 'g')));
    s.SetRoute("/animated", THttpTestResponse::Content("image/gif", "GIF89a"));
    s.SetRoute("/download?id=1", THttpTestResponse::Content("application/octet-stream", "bytes"));
    s.SetRoute("/big.html", THttpTestResponse::Html(QByteArray(300000, ' ')));
    THttpTestResponse endless = THttpTestResponse::Html(QByteArray(300000, ' '));
    endless.shape = THttpBodyShape::NoLength;
    s.SetRoute("/endless.html", endless);
    s.SetRoute("/empty.html", THttpTestResponse::Html(""));
    s.SetRoute("/missing.html", THttpTestResponse::Status(404, "gone"));
    s.SetRoute("/secret.html", THttpTestResponse::Status(401, "no"));
    s.SetRoute("/flaky.html", THttpTestResponse::Status(500, "later"));
    s.SetRoute("/nothing.html", THttpTestResponse::Status(204));
    s.SetRoute("/choose.html", THttpTestResponse::Status(300, "which one"));
    THttpTestResponse cut = THttpTestResponse::Html(QByteArray(4000, 'x'));
    cut.shape = THttpBodyShape::CutOff;
    s.SetRoute("/cut.html", cut);
    THttpTestResponse tooLarge = THttpTestResponse::Html(QByteArray(4000, 'x'));
    tooLarge.shape = THttpBodyShape::LengthTooLarge;
    s.SetRoute("/toolarge.html", tooLarge);
    THttpTestResponse chunked = THttpTestResponse::Html("<a href='http://127.0.0.1/chunk-link.html'>" + QByteArray(5000, ' ') + "</a>");
    chunked.shape = THttpBodyShape::Chunked;
    chunked.chunkSize = 700;
    s.SetRoute("/chunked.html", chunked);
    THttpTestResponse drip = THttpTestResponse::Html(QByteArray(600, ' ') + "<a href=\"dripped.html\">d</a>");
    drip.dripBytes = 100;
    drip.dripIntervalMs = 20;
    s.SetRoute("/drip.html", drip);
    s.SetRoute("/dripped.html", THttpTestResponse::Html("ok"));
    s.SetRoute("/hop1.html", THttpTestResponse::Redirect(302, "/hop2.html"));
    s.SetRoute("/hop2.html", THttpTestResponse::Redirect(301, s.Url("/hop3.html").toUtf8()));
    s.SetRoute("/hop3.html", THttpTestResponse::Redirect(307, "landing/final.html"));
    s.SetRoute("/landing/final.html", THttpTestResponse::Html("<a href=\"next.html\">relative to the final address</a>"));
    s.SetRoute("/landing/next.html", THttpTestResponse::Html("ok"));
    s.SetRoute("/loop.html", THttpTestResponse::Redirect(302, "/loop2.html"));
    s.SetRoute("/loop2.html", THttpTestResponse::Redirect(302, "/loop.html"));
    s.SetRoute("/to-ftp.html", THttpTestResponse::Redirect(302, "ftp://127.0.0.1/file"));
    THttpTestResponse shortLength = THttpTestResponse::Html("<a href=\"kept.html\">k</a><a href=\"lost.html\">l</a>");
    shortLength.shape = THttpBodyShape::LengthTooSmall;
    shortLength.claimedLength = 26;
    s.SetRoute("/short.html", shortLength);
    s.SetRoute("/kept.html", THttpTestResponse::Html("ok"));

    f.MakeProject("/");
    ASSERT_TRUE(f.Crawl(60000));

    const TOutcome documents[] = {
        {"/", "flsSucceed", "OK", 1},
        {"/doc.html", "flsSucceed", "OK", 1},
        {"/deeper/page.html", "flsSucceed", "OK", 1},
        {"/photos/good.jpg", "flsSucceed", "image/jpeg", 1},
        {"/photos/nolength.jpg", "flsSucceed", "image/jpeg", 1},
        {"/photos/small.jpg", "flsFailed", "Size out of bounds (9 Kb)", 1},
        {"/photos/huge.jpg", "flsFailed", "Size out of bounds (585 Kb)", 1},
        {"/photos/narrow.jpg", "flsSucceed", "image/jpeg", 1},
        {"/photos/tiny.jpg", "flsSucceed", "image/jpeg", 1},
        {"/photos/garbage.jpg", "flsSucceed", "image/jpeg", 1},
        {"/animated", "flsFailed", "Wrong content: image/gif", 1},
        {"/download?id=1", "flsFailed", "Wrong content: application/octet-stream", 1},
        {"/big.html", "flsFailed", "Document too big (292 Kb)", 1},
        {"/empty.html", "flsFailed", "Data stream is broken", 1},
        {"/missing.html", "flsFailed", "HTTP Error: 404", 1},
        {"/secret.html", "flsFailed", "HTTP Error: 401", 1},
        {"/flaky.html", "flsFailed", "HTTP Error: 500", 4},
        {"/nothing.html", "flsFailed", "HTTP Error: 204", 4},
        {"/choose.html", "flsFailed", "HTTP Error: 300", 4},
        {"/cut.html", "flsFailed", "Connection Lost", 1},
        {"/toolarge.html", "flsFailed", "Connection Lost", 1},
        {"/chunked.html", "flsSucceed", "OK", 1},
        {"/drip.html", "flsSucceed", "OK", 1},
        {"/dripped.html", "flsSucceed", "OK", 1},
        {"/hop1.html", "flsSucceed", "OK", 1},
        {"/landing/next.html", "flsSucceed", "OK", 1},
        {"/loop.html", "flsFailed", "Too many redirects", 1},
        {"/to-ftp.html", "flsFailed", "Too many redirects", 1},
        {"/short.html", "flsSucceed", "OK", 1},
        {"/kept.html", "flsSucceed", "OK", 1},
    };
    for (const TOutcome& o : documents) {
        const TFileRecord r = f.Doc(o.path);
        EXPECT_EQ(r.Status, o.status) << o.path;
        EXPECT_EQ(r.ResultText, o.result) << o.path;
        EXPECT_EQ(r.Attempts, o.attempts) << o.path;
        EXPECT_FALSE(r.IsPicture) << o.path;
    }
    const TFileRecord endlessDoc = f.Doc("/endless.html");
    EXPECT_EQ(endlessDoc.Status, "flsFailed");
    EXPECT_EQ(endlessDoc.ResultText.rfind("Document too big (", 0), 0u) << endlessDoc.ResultText;
    EXPECT_EQ(f.Doc("/flaky.html").HTTPCode, 500);
    EXPECT_EQ(f.Find(unreachable.toStdString(), false).ResultText, "Host Unreachable");
    // the body that claimed less than it held: its cut-off link is never seen
    EXPECT_EQ(f.project->Links()->IndexOf(f.server.Url("/lost.html").toStdString()), -1);

    const TOutcome pictures[] = {
        {"/photos/good.jpg", "flsSucceed", "OK", 1},
        {"/photos/nolength.jpg", "flsSucceed", "OK", 1},
        {"/photos/narrow.jpg", "flsFailed", "Dimensions are out of bounds ( 300x200  320x200 )", 1},
        {"/photos/tiny.jpg", "flsSucceed", "OK", 1},
        {"/photos/garbage.jpg", "flsFailed", "Bad header", 1},
    };
    for (const TOutcome& o : pictures) {
        const TFileRecord r = f.Pic(o.path);
        EXPECT_EQ(r.Status, o.status) << o.path;
        EXPECT_EQ(r.ResultText, o.result) << o.path;
        EXPECT_EQ(r.Attempts, o.attempts) << o.path;
        EXPECT_EQ(r.FileID, f.Doc(o.path).FileID) << "a picture keeps the FileID of its document";
    }
    EXPECT_EQ(f.project->Pictures()->Count(), 5);

    // saved unchanged, named by the record
    const TFileRecord goodPic = f.Pic("/photos/good.jpg");
    EXPECT_EQ(goodPic.FileName, goodPic.FileID.substr(5) + ".jpg");
    EXPECT_EQ(ReadFileBytes(f.PictureFile(goodPic)), good);
    EXPECT_EQ(goodPic.PicWidth, 640);
    EXPECT_EQ(goodPic.PicHeight, 480);
    EXPECT_EQ(goodPic.ContentSize, good.size());
    EXPECT_EQ(ReadFileBytes(f.PictureFile(f.Pic("/photos/nolength.jpg"))), noLength);
    const TFileRecord tinyPic = f.Pic("/photos/tiny.jpg");
    EXPECT_EQ(ReadFileBytes(f.PictureFile(tinyPic)), tiny);
    EXPECT_EQ(tinyPic.PicWidth, 0);  // below 1024 bytes: no dimension test
    QStringList jpegs = QDir(f.project->Folder()).entryList({"*.jpg"}, QDir::Files);
    EXPECT_EQ(jpegs.size(), 3);
    EXPECT_EQ(QDir(f.project->Folder()).entryList(QDir::Files).size(), 3) << "no temporary file is left";

    // a redirected document: its final address is known, its links resolve against it
    const TFileRecord hop = f.Doc("/hop1.html");
    EXPECT_EQ(hop.URL, f.server.Url("/landing/final.html").toStdString());
    EXPECT_GE(f.project->Links()->IndexOf(hop.URL), 0);
    EXPECT_EQ(f.Doc("/landing/next.html").Referer, hop.URL);
    EXPECT_EQ(f.Doc("/chunked.html").Status, "flsSucceed");
    EXPECT_GE(f.project->Links()->IndexOf("http://127.0.0.1/chunk-link.html"), 0);

    // every document ends once as succeeded or failed; pictures count as succeeded or deferred
    const TOptionsList& o = f.project->Options();
    EXPECT_EQ(GetInteger(o, "LinksFinished"), f.project->Documents()->Count());
    EXPECT_EQ(GetInteger(o, "PicsFinished"), 3);
    EXPECT_FALSE(f.project->Running());

    // what the requests carried
    bool sawDoc = false;
    for (const THttpTestRequest& request : f.server.Requests()) {
        EXPECT_EQ(request.Header("User-Agent"), "Mozilla 3.0 compatible");
        EXPECT_EQ(request.Header("Accept"), "text/html, */*");
        EXPECT_FALSE(request.HasHeader("Cookie"));
        if (request.Path() == "/doc.html") {
            sawDoc = true;
            EXPECT_EQ(request.Header("Referer"), f.server.Url("/").toUtf8());
        }
    }
    EXPECT_TRUE(sawDoc);

    // the project was saved at the end, as it stands
    TProject saved;
    ASSERT_TRUE(saved.Load(f.project->GetDiskName()));
    EXPECT_EQ(saved.Lists().SectionedText(), f.project->Lists().SectionedText());
}

TEST(Crawl, PicturesOfACraftedProjectAreWrittenOnlyInsideItsFolder)
{
    TCrawlFixture f;
    const QByteArray jpeg = MakeJpeg(640, 480, 30000);
    f.server.SetRoute("/p.jpg", THttpTestResponse::Content("image/jpeg", jpeg));
    f.server.SetRoute("/gif.jpg", THttpTestResponse::Content("image/gif", "GIF89a"));
    // a picture whose size was not announced may not grow beyond the project's bound
    THttpTestResponse endless = THttpTestResponse::Content("image/jpeg", MakeJpeg(640, 480, 700000, false));
    endless.shape = THttpBodyShape::NoLength;
    f.server.SetRoute("/endless.jpg", endless);
    f.server.SetRoute("/", THttpTestResponse::Html("start"));
    f.MakeProject("/");
    struct TCase {
        const char* fileID;
        const char* link;
        const char* result;
    } cases[] = {{"FILE-../../outside", "/p.jpg", "Invalid file name"},
                 {"FILE-", "/p.jpg", "Invalid file name"},
                 {"FILE-0000000000AB", "/gif.jpg", "Wrong content: image/gif"},
                 {"FILE-00000000000E", "/endless.jpg", "Size out of bounds ("},
                 {"FILE-0000000000CD", "/p.jpg", "OK"}};
    for (const TCase& c : cases) {
        TFileRecord r;
        r.FileID = c.fileID;
        r.Link = f.server.Url(c.link).toStdString();
        r.IsPicture = true;
        f.project->StoreRecord(r);
    }
    f.ShowLists();
    ASSERT_TRUE(f.Crawl());
    for (const TCase& c : cases) {
        TFileRecord r;
        ASSERT_TRUE(r.FromText(GetString(*f.project->Pictures(), c.fileID)));
        if (r.ResultText.rfind("Size out of bounds (", 0) == 0) {
            // stopped within the 4 KiB block that passed 500 Kb
            const int kb = std::stoi(r.ResultText.substr(20));
            EXPECT_GE(kb, 500);
            EXPECT_LE(kb, 504);
            EXPECT_EQ(std::string(c.result), "Size out of bounds (");
        } else {
            EXPECT_EQ(r.ResultText, c.result) << c.fileID;
        }
    }
    EXPECT_EQ(QDir(f.project->Folder()).entryList(QDir::Files), QStringList({"0000000000CD.jpg"}));
    EXPECT_FALSE(QFileInfo::exists(ProjectsFolder() + "../outside.jpg"));
    EXPECT_FALSE(QFileInfo::exists(ProjectsFolder() + "outside.jpg"));
}

TEST(Crawl, AFailedPictureWriteKeepsThePresetOutcomeAndLeavesNoFile)
{
    TCrawlFixture f;
    f.server.SetRoute("/", THttpTestResponse::Html("<a href=\"p.jpg\">p</a>"));
    f.server.SetRoute("/p.jpg", THttpTestResponse::Content("image/jpeg", MakeJpeg(640, 480, 30000)));
    f.MakeProject("/");
    TFileRecord r;
    r.FileID = "FILE-0000000000EE";
    r.Link = f.server.Url("/p.jpg").toStdString();
    r.IsPicture = true;
    f.project->StoreRecord(r);
    // something that is not a file already stands under the picture's name
    ASSERT_TRUE(QDir().mkpath(f.project->Folder() + "0000000000EE.jpg"));
    f.ShowLists();
    ASSERT_TRUE(f.Crawl());
    TFileRecord after;
    ASSERT_TRUE(after.FromText(GetString(*f.project->Pictures(), "FILE-0000000000EE")));
    EXPECT_EQ(after.Status, "flsFailed");
    EXPECT_EQ(after.ResultText, "Unknown");
    EXPECT_TRUE(QFileInfo(f.project->Folder() + "0000000000EE.jpg").isDir());
    EXPECT_EQ(QDir(f.project->Folder()).entryList(QDir::Files).size(), 1);  // the other picture only
}

TEST(Crawl, AdultWordsOnTheFirstPagesSetTheCategory)
{
    for (const int linksFinished : {0, 20}) {
        TCrawlFixture f;
        SetAdultWords({"naughty"});
        f.server.SetRoute("/", THttpTestResponse::Html("<p>a naughty page</p>"));
        f.MakeProject("/");
        SetInteger(f.project->Options(), "LinksFinished", linksFinished);
        ASSERT_TRUE(f.Crawl());
        // only the first twenty documents may classify the project
        EXPECT_EQ(GetString(f.project->Options(), "Category"), linksFinished < 20 ? "Erotic" : "Other");
    }
}

} // namespace
