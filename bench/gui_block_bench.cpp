// How long the GUI thread is kept from its events while a crawl runs: a 10 ms timer on
// the thread that runs the crawl scheduler records the gaps between its ticks, first
// with nothing running (the baseline), then while the four slots fetch large documents
// that drip in slowly, then while the crawl is stopped and the project saved.
//
// The site: a start page linking --links documents; every document is 200 000 bytes of
// text with --links links to further documents of its own, sent 2 KB at a time every
// 20 ms (about 2 s a document). With the paced scheduler (the default) and documents
// only, every slot may fetch a document; --eager services a slot as soon as it is done.

#include "crawl/crawl_scheduler.h"
#include "project/project.h"
#include "project/row_model.h"
#include "settings/app_settings.h"
#include "settings/text_convert.h"

#include "support/http_test_server.h"
#include "support/temp_home.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace {

constexpr int kDocumentBytes = 200000;
constexpr int kDripBytes = 2048;
constexpr int kDripMs = 20;
constexpr int kProbeMs = 10;

// A page of text and links, exactly kDocumentBytes long.
QByteArray Document(int number, int links)
{
    QByteArray page = "<html><head><title>Archive page " + QByteArray::number(number)
        + "</title></head>\n<body>\n<h1>Archive page " + QByteArray::number(number) + "</h1>\n";
    static const QByteArray kText =
        "<p>Notes from the road: the harbour at dawn, the market before the rain, a street of old doors, "
        "and the long walk back along the river while the light went down behind the hills.</p>\n";
    const qsizetype textPerLink = (kDocumentBytes - 400 - links * 60) / std::max(links, 1);
    for (int i = 1; i <= links; ++i) {
        page += "<p><a href=\"/doc/" + QByteArray::number(number) + "/" + QByteArray::number(i) + ".html\">Entry "
            + QByteArray::number(i) + "</a></p>\n";
        for (qsizetype t = 0; t + kText.size() <= textPerLink; t += kText.size())
            page += kText;
    }
    const QByteArray end = "</body></html>\n";
    while (page.size() + kText.size() + end.size() <= kDocumentBytes)
        page += kText;
    page += QByteArray(kDocumentBytes - page.size() - end.size(), ' ');
    page += end;
    return page;
}

THttpTestResponse Dripping(QByteArray body)
{
    THttpTestResponse response = THttpTestResponse::Html(std::move(body));
    response.dripBytes = kDripBytes;
    response.dripIntervalMs = kDripMs;
    return response;
}

struct TGaps {
    std::vector<double> ms;

    double Percentile(double p) const
    {
        if (ms.empty())
            return 0;
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t i = std::min(sorted.size() - 1, static_cast<std::size_t>(p / 100.0 * (sorted.size() - 1) + 0.5));
        return sorted[i];
    }
    double Max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
    long Over(double limit) const { return std::count_if(ms.begin(), ms.end(), [&](double g) { return g > limit; }); }
};

void PrintRow(const char* phase, const TGaps& gaps)
{
    std::printf("%-22s %7zu %8.2f %8.2f %8.2f %8.2f %8.2f %6ld %6ld\n", phase, gaps.ms.size(), gaps.Percentile(50),
                gaps.Percentile(90), gaps.Percentile(99), gaps.Percentile(99.9), gaps.Max(), gaps.Over(20), gaps.Over(50));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Gaps of a 10 ms timer on the GUI thread while a crawl runs."));
    parser.addHelpOption();
    const QCommandLineOption eagerOption(QStringLiteral("eager"), QStringLiteral("eager slots instead of the paced scheduler"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("length of the crawl phase (20)"),
                                           QStringLiteral("S"), QStringLiteral("20"));
    const QCommandLineOption idleOption(QStringLiteral("idle-seconds"), QStringLiteral("length of the baseline (5)"),
                                        QStringLiteral("S"), QStringLiteral("5"));
    const QCommandLineOption linksOption(QStringLiteral("links"), QStringLiteral("links on every document (300)"),
                                         QStringLiteral("N"), QStringLiteral("300"));
    const QCommandLineOption traceOption(QStringLiteral("trace"),
                                         QStringLiteral("print every gap over 15 ms with the records stored just before it"));
    parser.addOptions({eagerOption, secondsOption, idleOption, linksOption, traceOption});
    parser.process(app);
    const bool eager = parser.isSet(eagerOption);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());
    const int idleSeconds = std::max(1, parser.value(idleOption).toInt());
    const int links = std::clamp(parser.value(linksOption).toInt(), 1, 2000);
    const bool trace = parser.isSet(traceOption);

    TTempHome home;
    THttpTestServer server;
    if (!server.IsRunning()) {
        std::fprintf(stderr, "gui_block_bench: the test server did not start\n");
        return 1;
    }
    // the start page, the documents it links (more than a crawl phase can fetch), and
    // anything further answered by one more such document
    QByteArray start = "<html><head><title>Archive</title></head><body>\n";
    for (int i = 1; i <= links; ++i)
        start += "<p><a href=\"/doc/" + QByteArray::number(i) + ".html\">Page " + QByteArray::number(i) + "</a></p>\n";
    start += "</body></html>\n";
    server.SetRoute("/", THttpTestResponse::Html(start));
    const int routed = std::min(links, 25 * seconds);
    for (int i = 1; i <= routed; ++i)
        server.SetRoute("/doc/" + QByteArray::number(i) + ".html", Dripping(Document(i, links)));
    server.SetFallback(Dripping(Document(0, links)));

    TListRowModel docsView({"URL", "Attempt", "Result", "Referer"});
    TListRowModel picsView({"Path", "Attempt", "Result", "Info", "File Size", "Referer"});
    TProject project;
    TOptionsList& o = project.Options();
    SetString(o, "Title", "GUI probe");
    SetString(o, "URL", server.Url("/").toStdString());
    SetString(o, "Domain", "127.0.0.1");
    project.AddEntryPoint();
    if (!project.Save()) {
        std::fprintf(stderr, "gui_block_bench: the project could not be saved\n");
        return 1;
    }
    project.LoadDocumentsView(&docsView);
    project.LoadPicturesView(&picsView);

    TCrawlScheduler scheduler;
    scheduler.SetProject(&project);
    scheduler.SetCacheFolder(home.Path() + QStringLiteral("cache/"));
    scheduler.SetEager(eager);
    bool finished = false;
    QObject::connect(&scheduler, &TCrawlScheduler::CrawlFinished, [&] { finished = true; });
    QElapsedTimer clock;
    // what the scheduler wrote back since the probe's last tick, for --trace
    QByteArray stored;
    QObject::connect(&scheduler, &TCrawlScheduler::RecordStored, [&](const TFileRecord& r) {
        if (trace)
            stored += QByteArray::number(clock.elapsed()) + " ms " + (r.IsPicture ? "picture " : "document ")
                + QByteArray::fromStdString(r.Link) + "; ";
    });

    // the probe: gaps between its ticks, by phase, and how many slots were busy at each
    enum { kIdle, kCrawl, kStop, kPhases };
    std::array<TGaps, kPhases> gaps;
    int phase = kIdle;
    std::array<long, TCrawlScheduler::kSlots + 1> busyHistogram{};
    qint64 last = -1;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kProbeMs);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            gaps[static_cast<std::size_t>(phase)].ms.push_back((now - last) / 1e6);
        if (trace && last >= 0 && now - last > 15000000)
            std::fprintf(stderr, "gap %.2f ms ending at %lld ms; stored meanwhile: %s\n", (now - last) / 1e6,
                         static_cast<long long>(now / 1000000), stored.isEmpty() ? "nothing" : stored.constData());
        stored.clear();
        last = now;
        if (phase == kCrawl) {
            int busy = 0;
            for (int i = 1; i <= TCrawlScheduler::kSlots; ++i)
                busy += scheduler.Slot(i) && scheduler.Slot(i)->State == slotBusy ? 1 : 0;
            ++busyHistogram[static_cast<std::size_t>(busy)];
        }
    });
    auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };

    clock.start();
    probe.start();
    runFor(idleSeconds * 1000);

    phase = kCrawl;
    const qint64 bytesBefore = server.BodyBytesWritten();
    if (!scheduler.StartCrawl()) {
        std::fprintf(stderr, "gui_block_bench: the crawl did not start\n");
        return 1;
    }
    runFor(seconds * 1000);
    const qint64 crawlBytes = server.BodyBytesWritten() - bytesBefore;
    const int documentsDone = GetInteger(project.Options(), "LinksFinished");
    const int queued = project.Documents()->Count();

    phase = kStop;
    QElapsedTimer stopClock;
    stopClock.start();
    scheduler.StopCrawl();
    THttpTestServer::WaitUntil([&] { return finished; }, 60000);
    const qint64 stopMs = stopClock.elapsed();
    runFor(200);
    probe.stop();
    server.Stop();
    if (!finished) {
        std::fprintf(stderr, "gui_block_bench: the crawl did not finish after Stop\n");
        return 1;
    }

    long samples = 0;
    double busySum = 0;
    for (std::size_t b = 0; b < busyHistogram.size(); ++b) {
        samples += busyHistogram[b];
        busySum += static_cast<double>(b) * busyHistogram[b];
    }
    std::printf("GUI thread probe: a %d ms timer beside a crawl scheduler (%s); a start page linking %d documents "
                "of %d bytes, each sent %d bytes every %d ms and linking %d more\n",
                kProbeMs, eager ? "eager slots" : "paced, documents only", links, kDocumentBytes, kDripBytes, kDripMs, links);
    std::printf("crawl phase %d s: %d documents finished, %d document records queued, %lld body bytes sent, "
                "busy slots on average %.2f, all four busy %.0f%% of the probe ticks\n",
                seconds, documentsDone, queued, static_cast<long long>(crawlBytes), samples ? busySum / samples : 0.0,
                samples ? 100.0 * busyHistogram[TCrawlScheduler::kSlots] / samples : 0.0);
    std::printf("stop phase: Stop to \"Process Finished\" (project saved) in %lld ms\n\n", static_cast<long long>(stopMs));
    std::printf("%-22s %7s %8s %8s %8s %8s %8s %6s %6s\n", "gaps in ms", "ticks", "p50", "p90", "p99", "p99.9", "max",
                ">20", ">50");
    PrintRow("idle (baseline)", gaps[kIdle]);
    PrintRow("crawling", gaps[kCrawl]);
    PrintRow("stop and save", gaps[kStop]);
    const double baseline = gaps[kIdle].Max();
    std::printf("\nlongest gap while crawling: %.2f ms = %.2f x the idle baseline's longest (%.2f ms); target < 50 ms: %s\n",
                gaps[kCrawl].Max(), baseline > 0 ? gaps[kCrawl].Max() / baseline : 0.0, baseline,
                gaps[kCrawl].Max() < 50 ? "met" : "MISSED");
    return 0;
}
