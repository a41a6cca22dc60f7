#include "crawl/crawl_fixture.h"

#include "settings/tick_clock.h"

#include <vector>

namespace {

// Records queued straight into the lists, as a loaded project holds them.
void Queue(TCrawlFixture& f, const QByteArray& path, bool picture)
{
    TFileRecord r;
    r.Link = f.server.Url(path).toStdString();
    r.IsPicture = picture;
    f.project->StoreRecord(r);
}

// Ticks by hand: the timer is far too slow to fire during a test.
class TManualTicks : public ::testing::Test {
protected:
    TCrawlFixture f;
    TManualClock clock{1000};

    void SetUp() override
    {
        f.scheduler.SetTickInterval(1000000);
        f.scheduler.SetClock(&clock);
        THttpTestResponse stall = THttpTestResponse::Html("never");
        stall.shape = THttpBodyShape::StallBeforeHeaders;
        f.server.SetFallback(stall);
    }

    std::vector<TSlotState> States() const
    {
        std::vector<TSlotState> states;
        for (int i = 1; i <= TCrawlScheduler::kSlots; ++i)
            states.push_back(f.scheduler.Slot(i)->State);
        return states;
    }
};

TEST_F(TManualTicks, OnePictureAtATimeWithOneDocumentBesideIt)
{
    f.server.SetRoute("/pic.jpg", THttpTestResponse::Content("image/jpeg", MakeJpeg(640, 480, 30000)));
    f.MakeProject("/first.html");
    Queue(f, "/second.html", false);
    Queue(f, "/third.html", false);
    Queue(f, "/pic.jpg", true);
    f.ShowLists();
    ASSERT_TRUE(f.scheduler.StartCrawl());
    f.scheduler.Tick();
    EXPECT_EQ(States(), (std::vector<TSlotState>{slotBusy, slotBusy, slotIdle, slotIdle}));
    EXPECT_TRUE(f.scheduler.Slot(1)->SlotRecord.IsPicture);
    EXPECT_FALSE(f.scheduler.Slot(2)->SlotRecord.IsPicture);
    EXPECT_EQ(f.scheduler.Slot(2)->SlotRecord.Link, f.server.Url("/first.html").toStdString());
    // the picture arrives; with no picture waiting every idle slot takes a document
    ASSERT_TRUE(TCrawlFixture::WaitUntil([&] { return f.scheduler.Slot(1)->State == slotDone; }));
    f.scheduler.Tick();
    EXPECT_EQ(States(), (std::vector<TSlotState>{slotBusy, slotBusy, slotBusy, slotIdle}));
    EXPECT_EQ(f.Pic("/pic.jpg").Status, "flsSucceed");
    EXPECT_EQ(GetInteger(f.project->Options(), "PicsFinished"), 1);
    EXPECT_EQ(f.Doc("/second.html").Status, "flsProcessing");
    f.scheduler.StopCrawl();
    f.scheduler.Tick();
    EXPECT_TRUE(f.finished);
}

TEST_F(TManualTicks, NothingToStartEndsTheCrawlOnTheSecondTick)
{
    f.MakeProject("/x.html");
    TFileRecord entry = f.Doc("/x.html");
    entry.Status = "flsSucceed";
    f.project->StoreRecord(entry);
    ASSERT_TRUE(f.scheduler.StartCrawl());
    f.scheduler.Tick();
    EXPECT_FALSE(f.finished);
    EXPECT_TRUE(f.scheduler.Active());
    f.scheduler.Tick();
    EXPECT_TRUE(f.finished);
    EXPECT_FALSE(f.scheduler.Active());
    EXPECT_EQ(f.server.RequestCount(), 0);
}

struct TTimeOutCase {
    std::uint32_t start;  // the tick count when the fetch started
    int attempts;         // attempts before this one
    const char* status;
};

class TimeOuts : public TManualTicks, public ::testing::WithParamInterface<TTimeOutCase> {};

// The time-out is a difference of the unsigned 32-bit tick count, so the wrap of
// the count neither hides a time-out nor makes a spurious one.
TEST_P(TimeOuts, AbandonAFetchAfterMaxTimeOutByItsAttempts)
{
    SetInteger(Settings(), "MaxTimeOut", 180000);
    const TTimeOutCase& c = GetParam();
    clock.Set(c.start);
    f.MakeProject("/stalls.html");
    TFileRecord entry = f.Doc("/stalls.html");
    entry.Attempts = c.attempts;
    f.project->StoreRecord(entry);
    ASSERT_TRUE(f.scheduler.StartCrawl());
    f.scheduler.Tick();
    ASSERT_EQ(f.scheduler.Slot(1)->State, slotBusy);
    ASSERT_TRUE(f.server.WaitForRequests("/stalls.html", 1));
    clock.Advance(180000);
    f.scheduler.Tick();
    EXPECT_EQ(f.scheduler.Slot(1)->State, slotBusy) << "not yet: exactly MaxTimeOut has passed";
    clock.Advance(1);
    f.scheduler.Tick();
    EXPECT_EQ(f.scheduler.Slot(1)->State, slotDone);
    TFileRecord r;
    QObject::connect(&f.scheduler, &TCrawlScheduler::RecordStored, [&](const TFileRecord& stored) { r = stored; });
    f.scheduler.Tick();  // writes the record back (and hands a deferred one out again)
    EXPECT_EQ(r.Status, c.status);
    EXPECT_EQ(r.ResultText, "Unknown");
    EXPECT_EQ(r.Attempts, c.attempts + 1);
    f.scheduler.StopCrawl();
    f.scheduler.Tick();
}

INSTANTIATE_TEST_SUITE_P(Clock, TimeOuts,
                         ::testing::Values(TTimeOutCase{1000, 2, "flsDeferred"}, TTimeOutCase{1000, 3, "flsFailed"},
                                           TTimeOutCase{0xFFFFFFF0u, 0, "flsDeferred"},
                                           TTimeOutCase{0xFFFD0000u, 3, "flsFailed"}));

TEST_F(TManualTicks, StopKeepsTheRunningFetchesForTheNextCrawl)
{
    f.MakeProject("/a.html");
    Queue(f, "/b.html", false);
    Queue(f, "/c.html", false);
    Queue(f, "/d.html", false);
    f.ShowLists();
    ASSERT_TRUE(f.scheduler.StartCrawl());
    f.scheduler.Tick();
    ASSERT_EQ(States(), (std::vector<TSlotState>(4, slotBusy)));
    ASSERT_TRUE(TCrawlFixture::WaitUntil([&] { return f.server.RequestCount() == 4; }));
    f.scheduler.StopCrawl();
    EXPECT_FALSE(f.finished);
    f.scheduler.Tick();
    EXPECT_TRUE(f.finished);
    TProject saved;
    ASSERT_TRUE(saved.Load(f.project->GetDiskName()));
    for (const char* path : {"/a.html", "/b.html", "/c.html", "/d.html"}) {
        TFileRecord r;
        ASSERT_TRUE(r.FromText(GetString(*saved.Documents(), f.Doc(path).FileID)));
        EXPECT_EQ(r.Status, "flsDeferred") << path;
        EXPECT_EQ(r.ResultText, "Stopped") << path;
        EXPECT_EQ(r.Attempts, 0) << path << ": the interrupted attempt does not count";
    }
    EXPECT_EQ(GetInteger(saved.Options(), "LinksFinished"), 0);
}

class TCountingContributor final : public TContributor {
public:
    int contributions = 0;
    int picsAtContribution = -1;
    std::vector<int> rated;
    void Contribute(TProject& project) override
    {
        ++contributions;
        picsAtContribution = GetInteger(project.Options(), "PicsFinished");
        EXPECT_TRUE(GetBoolean(project.Options(), "Contributed")) << "marked before the contribution";
    }
    void Rate(TProject&, int picsFinished) override { rated.push_back(picsFinished); }
};

TEST(CrawlContribution, OnceAtEightPicturesAndARatingOnEveryTick)
{
    for (const bool automatic : {false, true}) {
        TCrawlFixture f;
        SetBoolean(Settings(), "AutoContribute", automatic);
        QByteArray page;
        for (int i = 0; i < 10; ++i) {
            const QByteArray path = "/p" + QByteArray::number(i) + ".jpg";
            f.server.SetRoute(path, THttpTestResponse::Content("image/jpeg", MakeJpeg(640, 480, 21000 + i)));
            page += "<a href=\"" + path + "\">p</a>";
        }
        f.server.SetRoute("/", THttpTestResponse::Html(page));
        TCountingContributor contributor;
        f.scheduler.SetContributor(&contributor);
        f.MakeProject("/");
        ASSERT_TRUE(f.Crawl());
        EXPECT_EQ(GetInteger(f.project->Options(), "PicsFinished"), 10);
        if (!automatic) {
            EXPECT_EQ(contributor.contributions, 0);
            EXPECT_TRUE(contributor.rated.empty());
            continue;
        }
        EXPECT_EQ(contributor.contributions, 1);
        EXPECT_GE(contributor.picsAtContribution, 8);
        ASSERT_GE(contributor.rated.size(), 10u);
        EXPECT_TRUE(std::is_sorted(contributor.rated.begin(), contributor.rated.end()));
        // a rating comes before the tick's write-back: the last picture may be written after it
        EXPECT_GE(contributor.rated.back(), 9);
        // the contribution came on the first tick that saw more than seven pictures
        EXPECT_LE(*std::find_if(contributor.rated.begin(), contributor.rated.end(), [](int n) { return n > 7; }),
                  contributor.picsAtContribution);
    }
}

// With one tick only, an eager crawl still harvests everything: each slot is
// serviced as its fetch ends, and pictures go in several slots at once.
TEST(CrawlEager, ServicesSlotsAtOnceAndFetchesPicturesInEverySlot)
{
    for (const bool eager : {false, true}) {
        TCrawlFixture f;
        f.scheduler.SetTickInterval(1000000);
        f.scheduler.SetEager(eager);
        QByteArray page;
        for (int i = 0; i < 8; ++i) {
            const QByteArray path = "/p" + QByteArray::number(i) + ".jpg";
            THttpTestResponse slow = THttpTestResponse::Content("image/jpeg", MakeJpeg(640, 480, 30000 + i));
            slow.latencyMs = 100;
            f.server.SetRoute(path, slow);
            page += "<a href=\"" + path + "\">p</a>";
        }
        f.server.SetRoute("/", THttpTestResponse::Html(page));
        f.MakeProject("/");
        int mostPicturesAtOnce = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            int pictures = 0;
            for (int i = 1; i <= 4; ++i) {
                const TThreadHeader* slot = f.scheduler.Slot(i);
                pictures += slot && slot->State == slotBusy && slot->SlotRecord.IsPicture;
            }
            mostPicturesAtOnce = std::max(mostPicturesAtOnce, pictures);
        });
        probe.start(5);
        ASSERT_TRUE(f.scheduler.StartCrawl());
        f.scheduler.Tick();
        const bool all = TCrawlFixture::WaitUntil([&] { return GetInteger(f.project->Options(), "PicsFinished") == 8; },
                                                  eager ? 30000 : 1500);
        EXPECT_EQ(all, eager);
        if (eager) {
            EXPECT_GT(mostPicturesAtOnce, 1);
            EXPECT_EQ(QDir(f.project->Folder()).entryList({"*.jpg"}, QDir::Files).size(), 8);
        } else {
            EXPECT_EQ(f.server.RequestCount(), 1) << "without ticks only the first fetch happens";
        }
        f.scheduler.StopCrawl();
        f.scheduler.Tick();
        EXPECT_TRUE(f.finished);
    }
    // a fresh settings file holds no eager setting: the paced slots are the default
    EXPECT_EQ(GetString(Settings(), "EagerSlots"), "");
}

} // namespace
