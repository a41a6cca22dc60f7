#include "project/file_record.h"
#include "project/project.h"
#include "project/row_model.h"
#include "settings/app_settings.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

namespace {

// Identifiers the test controls, so that two queues given the same calls make
// the same records.
int g_nextId = 0;
std::string CountingID()
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%012X", g_nextId++);
    return buffer;
}

class TCountingIDs {
public:
    TCountingIDs() { SetFileIDSource(&CountingID); }
    ~TCountingIDs() { SetFileIDSource(nullptr); }
};

TFileRecord Record(std::string_view line)
{
    TFileRecord r;
    EXPECT_TRUE(r.FromText(line)) << line;
    return r;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

// ---- admission ------------------------------------------------------------------

struct TAdmitCase {
    int urlKind;
    const char* domain;
    const char* searchPath;
    const char* address;
    bool admitted;
};

class Admission : public ::testing::TestWithParam<TAdmitCase> {};

TEST_P(Admission, FollowsTheProjectsFilters)
{
    const TAdmitCase& c = GetParam();
    TProject project;
    SetInteger(project.Options(), "URLKind", c.urlKind);
    SetString(project.Options(), "Domain", c.domain);
    SetString(project.Options(), "SearchPath", c.searchPath);
    EXPECT_EQ(project.AcceptLink(c.address), c.admitted) << c.address;
}

INSTANTIATE_TEST_SUITE_P(
    Links, Admission,
    ::testing::Values(
        TAdmitCase{0, "w.g.c", "", "http://w.g.c/any/page.html", true},
        TAdmitCase{0, "w.g.c", "", "http://g.c/page.html", true},  // a part of the domain text
        TAdmitCase{0, "w.g.c", "", "http://i.g.c/page.html", false},
        TAdmitCase{0, "w.g.c", "", "http://other.com/page.html", false},
        TAdmitCase{0, "w.g.c", "", "http://other.com/photo.JPG", true},  // pictures from anywhere
        TAdmitCase{0, "w.g.c", "", "http://other.com/page.html?img=a.jpg", false},  // only the path counts
        TAdmitCase{0, "w.g.c", "", "http://W.G.C/page.html", true},
        TAdmitCase{0, "", "", "http://w.g.c/page.html", false},
        TAdmitCase{1, "", "", "http://anywhere.org/page.html", true},
        TAdmitCase{1, "", "", "HTTP://anywhere.org/", true},
        TAdmitCase{1, "", "", "https://anywhere.org/", false},
        TAdmitCase{1, "", "", "ftp://anywhere.org/", false},
        TAdmitCase{1, "", "", "http://h/a.gif", false},
        TAdmitCase{1, "", "", "http://h/a.GIF", true},  // the extension test minds letter case
        TAdmitCase{1, "", "", "http://h.radio.com/", false},  // ".ra" anywhere
        TAdmitCase{1, "", "", "http://h/song.mp3", false},
        TAdmitCase{1, "", "", "http://h/style.css", false},
        TAdmitCase{1, "", "", "http://h:99999/", false},  // cannot be split
        TAdmitCase{1, "", "/photos/", "http://h/Photos/x.html", true},
        TAdmitCase{1, "", "/photos/", "http://h/other/x.html", false},
        TAdmitCase{1, "", "/photos/", "http://h/other/x.jpg", true},
        TAdmitCase{-1, "w.g.c", "", "http://other.com/x.html", true}));  // a missing URLKind is not 0

TEST(CrawlQueue, FilterLinksKeepsTheAdmittedInTheirOrder)
{
    TProject project;
    SetString(project.Options(), "Domain", "h.com");
    std::vector<std::string> links{"http://h.com/b", "mailto:x", "http://x.com/c", "http://x.com/d.jpg", "http://h.com/a"};
    project.FilterLinks(links);
    EXPECT_EQ(links, (std::vector<std::string>{"http://h.com/b", "http://x.com/d.jpg", "http://h.com/a"}));
}

// ---- queuing --------------------------------------------------------------------

TEST(CrawlQueue, AddLinksQueuesOnceAndGalleriesFirstInTheOrderFound)
{
    TProject project;
    SetString(project.Options(), "URL", "http://h/index.html");
    project.AddEntryPoint();
    TListRowModel view({"URL", "Attempt", "Result", "Referer"});
    project.LoadDocumentsView(&view);
    project.AddLinks({"http://h/about.html", "http://h/gallery1/", "http://h/gallery1/", "http://h/pics/2.html",
                      "http://h/GALLERY1/", "http://h/contact.html"},
                     "http://h/index.html");
    TOptionsList& docs = *project.Documents();
    std::vector<std::string> order;
    for (int i = 0; i < docs.Count(); ++i)
        order.push_back(Record(docs.Get(i)).Link);
    EXPECT_EQ(order, (std::vector<std::string>{"http://h/gallery1/", "http://h/pics/2.html", "http://h/index.html",
                                               "http://h/about.html", "http://h/GALLERY1/", "http://h/contact.html"}));
    EXPECT_EQ(GetInteger(project.Options(), "LastInsertedLinkIndex"), 1);
    EXPECT_EQ(project.Links()->Count(), 6);
    // the Links list stays sorted for the project file
    for (int i = 1; i < project.Links()->Count(); ++i)
        EXPECT_LT(project.Links()->Get(i - 1), project.Links()->Get(i));
    const TFileRecord found = Record(docs.Get(3));
    EXPECT_EQ(found.Origin, "None");
    EXPECT_EQ(found.Referer, "http://h/index.html");
    EXPECT_EQ(found.URL, found.Link);
    // rows are added at the end of the view, bound to their records
    EXPECT_EQ(view.rowCount(), 6);
    EXPECT_EQ(view.RowOf(Record(docs.Get(0)).ListItem), 2);
    EXPECT_EQ(view.Caption(2), "/gallery1/");

    // a stored early-queue position survives in the project; the old key is its fallback
    TProject older;
    SetInteger(older.Options(), "LastDocProcessed", 5);
    EXPECT_EQ(older.GetInsertIndex(), 5);
    older.AddLinks({"http://h/gallery/"}, "r");  // 6 is beyond the list: appended, index kept
    EXPECT_EQ(older.GetInsertIndex(), 5);
    EXPECT_EQ(older.Documents()->Count(), 1);
}

// Identifiers repeat when their random parts meet in the same second; two
// records must never share a line name.
TEST(CrawlQueue, AddLinksNeverGivesTwoRecordsOneFileID)
{
    static int calls = 0;
    calls = 0;
    SetFileIDSource(+[]() -> std::string { return ++calls <= 3 ? "0000000000AA" : "0000000000B" + std::to_string(calls); });
    TProject project;
    project.AddLinks({"http://h/1", "http://h/2", "http://h/3"}, "r");
    SetFileIDSource(nullptr);
    std::set<std::string> names;
    for (int i = 0; i < project.Documents()->Count(); ++i)
        names.insert(std::string(project.Documents()->GetName(i)));
    EXPECT_EQ(names.size(), 3u);
}

TEST(CrawlQueue, PicturesTakeInitialBeforeDeferredDocumentsTakeThemAlike)
{
    TProject project;
    for (TOptionsList* list : {project.Documents(), project.Pictures()}) {
        const bool pictures = list == project.Pictures();
        for (const char* state : {"flsDeferred", "flsInitial"}) {
            TFileRecord r;
            r.Link = std::string("http://h/") + state;
            r.Status = state;
            r.IsPicture = pictures;
            list->Add(r.ToLine());
        }
    }
    TFileRecord doc;
    project.NextDocument(doc);
    EXPECT_EQ(doc.Status, "flsDeferred");
    TFileRecord pic;
    project.NextPicture(pic);
    EXPECT_EQ(pic.Status, "flsInitial");
    EXPECT_EQ(GetInteger(project.Options(), "LastPicProcessed"), 1);
    pic.Status = "flsSucceed";
    project.StoreRecord(pic);
    SetString(project.Options(), "LastPicProcessed", "");
    project.NextPicture(pic);
    EXPECT_EQ(pic.Status, "flsDeferred");
    EXPECT_EQ(GetInteger(project.Options(), "LastPicProcessed"), -1);  // the second pass writes no position
}

TEST(CrawlQueue, NothingWaitingLeavesTheRecordAndSaysSo)
{
    TProject project;
    TFileRecord r;
    r.Referer = "kept";
    r.Status = "flsSucceed";
    project.Documents()->Add(r.ToLine());
    project.Documents()->Add("FILE-X=broken,flsInitial");
    TFileRecord asked;
    asked.Referer = "mine";
    project.NextDocument(asked);
    EXPECT_EQ(asked.Link, "NO MORE DOCUMENTS");
    EXPECT_EQ(asked.Referer, "mine");
    project.NextPicture(asked);
    EXPECT_EQ(asked.Link, "NO MORE PICTURES");
}

TEST(CrawlQueue, StepAndRandomPictureVisitOnlyDownloadedPictures)
{
    TProject project;
    std::vector<std::string> ids;
    for (const char* state : {"flsSucceed", "flsFailed", "flsSucceed", "flsInitial", "flsSucceed"}) {
        TFileRecord r;
        r.Link = "http://h/p.jpg";
        r.Status = state;
        r.IsPicture = true;
        ids.push_back(r.FileID);
        project.Pictures()->Add(r.ToLine());
    }
    TFileRecord current = Record(project.Pictures()->Get(0));
    TFileRecord found;
    project.StepPicture(current, found, true);
    EXPECT_EQ(found.Link, "NO MORE PICTURES");
    project.StepPicture(current, found, false);
    EXPECT_EQ(found.FileID, ids[2]);
    project.StepPicture(found, current, false);
    EXPECT_EQ(current.FileID, ids[4]);
    project.StepPicture(current, found, false);
    EXPECT_EQ(found.Link, "NO MORE PICTURES");
    TFileRecord stranger;
    project.StepPicture(stranger, found, false);  // not in the list: starts with the first
    EXPECT_EQ(found.FileID, ids[0]);

    std::set<std::string> drawn;
    for (int i = 0; i < 200; ++i) {
        TFileRecord r;
        project.RandomPicture(r);
        ASSERT_EQ(r.Status, "flsSucceed");
        drawn.insert(r.FileID);
    }
    EXPECT_EQ(drawn, (std::set<std::string>{ids[0], ids[2], ids[4]}));
    TProject empty;
    TFileRecord none;
    empty.RandomPicture(none);
    EXPECT_EQ(none.Status, "flsFailed");
}

// ---- differential ---------------------------------------------------------------

// The queue as its rules say it, on plain vectors scanned from the start.
struct TPlainQueue {
    std::vector<std::string> docs;
    std::vector<std::string> pics;
    std::set<std::string> links;
    TOptionsList options;

    static int IndexOfName(const std::vector<std::string>& list, const std::string& name)
    {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (Lower(std::string(LineName(list[i]))) == Lower(name))
                return static_cast<int>(i);
        return -1;
    }
    static void SetLine(std::vector<std::string>& list, const std::string& name, const std::string& line)
    {
        const int i = IndexOfName(list, name);
        if (i < 0)
            list.push_back(line);
        else
            list[static_cast<std::size_t>(i)] = line;
    }
    int InsertIndex() const
    {
        const int index = GetInteger(options, "LastInsertedLinkIndex");
        return index == -1 ? GetInteger(options, "LastDocProcessed") : index;
    }
    void AddLinks(const std::vector<std::string>& addresses, const std::string& referer)
    {
        for (const std::string& a : addresses) {
            if (links.count(a))
                continue;
            links.insert(a);
            TFileRecord r;
            r.Link = a;
            r.URL = a;
            r.Referer = referer;
            r.Origin = "None";
            const std::string line = r.FileID + "=" + r.ToText();
            if (r.LooksLikeGallery()) {
                int i = std::max(0, InsertIndex() + 1);
                if (i < static_cast<int>(docs.size())) {
                    docs.insert(docs.begin() + i, line);
                    SetInteger(options, "LastInsertedLinkIndex", i);
                } else {
                    docs.push_back(line);
                }
            } else {
                docs.push_back(line);
            }
        }
    }
    static bool Waiting(const TFileRecord& r, bool deferredToo)
    {
        return r.Status == "flsInitial" || (deferredToo && r.Status == "flsDeferred");
    }
    void NextDocument(TFileRecord& record)
    {
        record.Link = "NO MORE DOCUMENTS";
        for (const std::string& line : docs) {
            TFileRecord scratch;
            if (scratch.FromText(line) && Waiting(scratch, true)) {
                record.Assign(scratch);
                return;
            }
        }
    }
    void NextPicture(TFileRecord& record)
    {
        record.Link = "NO MORE PICTURES";
        for (std::size_t i = 0; i < pics.size(); ++i) {
            TFileRecord scratch;
            if (scratch.FromText(pics[i]) && Waiting(scratch, false)) {
                record.Assign(scratch);
                SetInteger(options, "LastPicProcessed", static_cast<int>(i));
                return;
            }
        }
        for (const std::string& line : pics) {
            TFileRecord scratch;
            if (scratch.FromText(line) && Waiting(scratch, true)) {
                record.Assign(scratch);
                return;
            }
        }
    }
    void StoreRecord(TFileRecord& r) { SetLine(r.IsPicture ? pics : docs, r.FileID, r.FileID + "=" + r.ToText()); }
    void StepPicture(const TFileRecord& current, TFileRecord& found, bool backward)
    {
        found.Link = "NO MORE PICTURES";
        int i = IndexOfName(pics, current.FileID);
        while (true) {
            i += backward ? -1 : 1;
            if (i < 0 || i >= static_cast<int>(pics.size())) {
                found.Link = "NO MORE PICTURES";
                return;
            }
            if (found.FromText(pics[static_cast<std::size_t>(i)]) && found.Status == "flsSucceed")
                return;
        }
    }
};

void ExpectSameQueue(TProject& project, const TPlainQueue& plain, int step)
{
    const TOptionsList& docs = *project.Documents();
    const TOptionsList& pics = *project.Pictures();
    ASSERT_EQ(docs.Count(), static_cast<int>(plain.docs.size())) << "step " << step;
    for (int i = 0; i < docs.Count(); ++i)
        ASSERT_EQ(docs.Get(i), plain.docs[static_cast<std::size_t>(i)]) << "step " << step << " document " << i;
    ASSERT_EQ(pics.Count(), static_cast<int>(plain.pics.size())) << "step " << step;
    for (int i = 0; i < pics.Count(); ++i)
        ASSERT_EQ(pics.Get(i), plain.pics[static_cast<std::size_t>(i)]) << "step " << step << " picture " << i;
    ASSERT_EQ(project.Links()->Count(), static_cast<int>(plain.links.size()));
    int i = 0;
    for (const std::string& link : plain.links)
        ASSERT_EQ(project.Links()->Get(i++), link);
    for (const char* key : {"LastPicProcessed", "LastInsertedLinkIndex"})
        ASSERT_EQ(GetString(project.Options(), key), GetString(plain.options, key)) << key << " step " << step;
}

// Runs the same long random sequence of queue operations on a project and on the
// plain model, comparing every result: stores in every state, early and late
// inserts, pictures made from documents, lines that do not read, save and load.
TEST(CrawlQueueDifferential, MatchesThePlainScansOverLongRandomRuns)
{
    TTempHome home;
    TCountingIDs ids;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        auto project = std::make_unique<TProject>();
        TPlainQueue plain;
        SetInteger(plain.options, "URLKind", 0);
        auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
        const char* const states[] = {"flsInitial", "flsProcessing", "flsSucceed", "flsFailed", "flsDeferred"};
        auto address = [&] {
            static const char* const kinds[] = {"page", "gallery", "pics", "about", "image", "photo.jpg", "Page"};
            return "http://h/" + std::string(kinds[pick(7)]) + std::to_string(pick(60));
        };
        std::vector<TFileRecord> handedOut;
        for (int step = 0; step < 1500; ++step) {
            const int op = pick(12);
            if (op <= 2) {
                std::vector<std::string> found;
                const int n = pick(12);
                for (int k = 0; k < n; ++k)
                    found.push_back(address());
                const int before = g_nextId;
                project->AddLinks(found, "http://h/ref");
                const int after = g_nextId;
                g_nextId = before;
                plain.AddLinks(found, "http://h/ref");
                ASSERT_EQ(g_nextId, after);
            } else if (op <= 4) {
                TFileRecord a;
                a.Referer = "before";
                TFileRecord b = a;
                const bool pictures = pick(2) == 0;
                if (pictures) {
                    project->NextPicture(a);
                    plain.NextPicture(b);
                } else {
                    project->NextDocument(a);
                    plain.NextDocument(b);
                }
                ASSERT_EQ(a.ToText(), b.ToText()) << "step " << step;
                if (a.Link != "NO MORE DOCUMENTS" && a.Link != "NO MORE PICTURES")
                    handedOut.push_back(a);
            } else if (op <= 6 && !handedOut.empty()) {
                // a fetch ends: the record goes back in any state
                const std::size_t k = static_cast<std::size_t>(pick(static_cast<int>(handedOut.size())));
                TFileRecord r = handedOut[k];
                handedOut.erase(handedOut.begin() + static_cast<long>(k));
                r.Status = states[pick(5)];
                r.Attempts += 1;
                TFileRecord copy = r;
                project->StoreRecord(r);
                plain.StoreRecord(copy);
                // a document answered with a picture becomes a picture record of the same FileID
                if (!r.IsPicture && pick(3) == 0) {
                    TFileRecord p = r;
                    p.IsPicture = true;
                    p.Status = pick(4) == 0 ? "flsDeferred" : "flsInitial";
                    TFileRecord q = p;
                    project->StoreRecord(p);
                    plain.StoreRecord(q);
                }
            } else if (op == 7) {
                const bool pictures = pick(2) == 0;
                const std::vector<std::string>& list = pictures ? plain.pics : plain.docs;
                if (list.empty())
                    continue;
                TFileRecord current;
                if (pick(5) > 0)
                    current.FromText(list[static_cast<std::size_t>(pick(static_cast<int>(list.size())))]);
                const bool backward = pick(2) == 0;
                TFileRecord a;
                TFileRecord b;
                project->StepPicture(current, a, backward);
                plain.StepPicture(current, b, backward);
                ASSERT_EQ(a.Link, b.Link) << "step " << step;
                if (a.Link != "NO MORE PICTURES")
                    ASSERT_EQ(a.ToText(), b.ToText()) << "step " << step;
            } else if (op == 8 && pick(4) == 0) {
                // a line that does not read, even though its state says it waits
                const std::string line = "FILE-BAD" + std::to_string(step) + "=http://h/bad,FILE-BAD,,r,flsInitial,x";
                project->Documents()->Add(line);
                plain.docs.push_back(line);
            } else if (op == 9) {
                // save and load: the queue resumes where it stood
                QByteArray bytes;
                QBuffer out(&bytes);
                out.open(QIODevice::ReadWrite);
                ASSERT_TRUE(project->SaveToStream(out));
                auto loaded = std::make_unique<TProject>();
                QBuffer in(&bytes);
                in.open(QIODevice::ReadOnly);
                ASSERT_TRUE(loaded->LoadFromStream(in));
                project = std::move(loaded);
            } else if (op == 10 && pick(3) == 0) {
                SetString(project->Options(), "LastInsertedLinkIndex", "");
                SetString(plain.options, "LastInsertedLinkIndex", "");
                SetInteger(project->Options(), "LastDocProcessed", pick(5));
                SetInteger(plain.options, "LastDocProcessed", GetInteger(project->Options(), "LastDocProcessed"));
            }
            if (step % 50 == 0)
                ExpectSameQueue(*project, plain, step);
        }
        ExpectSameQueue(*project, plain, -1);
    }
}

} // namespace
