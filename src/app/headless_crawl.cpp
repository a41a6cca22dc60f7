#include "app/headless_crawl.h"

#include "crawl/address.h"
#include "crawl/crawl_scheduler.h"
#include "project/project.h"
#include "project/row_model.h"
#include "settings/app_settings.h"
#include "settings/text_convert.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <string>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signals = 0;

void OnSignal(int signal)
{
    // a second signal ends the program at once
    const bool again = g_signals > 0;
    g_signals = 1;
    if (again) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

int TerminalWidth()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20)
        return size.ws_col;
    return 100;
}

// One live line on a terminal: the counts and what each slot fetches.
class TStatusLine final {
public:
    TStatusLine(TProject& project, TCrawlScheduler& scheduler) : m_project(project), m_scheduler(scheduler) {}

    void Draw()
    {
        const TOptionsList& o = m_project.Options();
        std::string line = "Links " + std::to_string(m_project.Documents()->Count()) + "/"
            + std::to_string(GetInteger(o, "LinksFinished")) + "  Images " + std::to_string(m_project.Pictures()->Count()) + "/"
            + std::to_string(GetInteger(o, "PicsFinished"));
        for (int i = 1; i <= TCrawlScheduler::kSlots; ++i) {
            const TThreadHeader* slot = m_scheduler.Slot(i);
            if (!slot || slot->State == slotIdle)
                continue;
            std::string link = slot->SlotRecord.Link;
            const std::size_t path = link.find('/', 7);
            if (path != std::string::npos)
                link = link.substr(path);
            line += "  " + std::to_string(i) + (slot->SlotRecord.IsPicture ? ":pic " : ":doc ") + link;
        }
        const std::size_t width = static_cast<std::size_t>(TerminalWidth() - 1);
        if (line.size() > width)
            line.resize(width);
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        m_drawn = true;
    }

    void Clear()
    {
        if (m_drawn)
            std::fputs("\r\033[K", stderr);
        m_drawn = false;
    }

private:
    TProject& m_project;
    TCrawlScheduler& m_scheduler;
    bool m_drawn = false;
};

} // namespace

int RunHeadlessCrawl(TProject& project, bool eager)
{
    TListRowModel docsView({"URL", "Attempt", "Result", "Referer"});
    TListRowModel picsView({"Path", "Attempt", "Result", "Info", "File Size", "Referer"});
    project.LoadDocumentsView(&docsView);
    project.LoadPicturesView(&picsView);

    TCrawlScheduler scheduler;
    scheduler.SetProject(&project);
    scheduler.SetCacheFolder(HomeFolder() + QStringLiteral("cache/"));
    if (eager)
        scheduler.SetEager(true);

    const bool terminal = isatty(STDERR_FILENO);
    std::fprintf(stderr, "Crawling %s (%s) into %s\n", GetString(project.Options(), "Title").c_str(),
                 GetString(project.Options(), "URL").c_str(), project.Folder().toLocal8Bit().constData());

    if (::pipe(g_signalPipe) != 0)
        g_signalPipe[0] = g_signalPipe[1] = -1;
    g_signals = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    if (g_signalPipe[0] >= 0) {
        notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [&] {
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
            std::fputs(terminal ? "\r\033[KStopping: running fetches are kept for the next run...\n"
                                : "Stopping: running fetches are kept for the next run...\n",
                       stderr);
            scheduler.StopCrawl();
        });
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
    }

    TStatusLine status(project, scheduler);
    QTimer redraw;
    if (terminal) {
        QObject::connect(&redraw, &QTimer::timeout, [&] { status.Draw(); });
        redraw.start(200);
    }
    QObject::connect(&scheduler, &TCrawlScheduler::RecordStored, [&](const TFileRecord& r) {
        if (!r.IsPicture || r.Status != flsSucceed)
            return;
        if (terminal)
            status.Clear();
        std::fprintf(stderr, "picture %s  %dx%d  %d Kb  %s\n", r.FileName.c_str(), r.PicWidth, r.PicHeight,
                     static_cast<int>(RoundKb(r.ContentSize)), r.URL.c_str());
    });
    QString saveError;
    QObject::connect(&scheduler, &TCrawlScheduler::SaveFailed, [&](const QString& error) { saveError = error; });
    QEventLoop loop;
    QObject::connect(&scheduler, &TCrawlScheduler::CrawlFinished, &loop, &QEventLoop::quit);
    scheduler.StartCrawl();
    loop.exec();

    redraw.stop();
    status.Clear();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    notifier.reset();
    for (int& fd : g_signalPipe)
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }

    std::fputs("Process Finished\n", stderr);
    for (const QString& line : project.GetInfo())
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    if (!saveError.isEmpty()) {
        std::fprintf(stderr, "fotoloom: %s\n", saveError.toLocal8Bit().constData());
        return 1;
    }
    std::fprintf(stderr, "Saved in %s\n", project.Folder().toLocal8Bit().constData());
    return 0;
}
