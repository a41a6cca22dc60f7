#include "crawl/crawl_scheduler.h"

#include "project/project.h"
#include "settings/app_settings.h"
#include "settings/text_convert.h"
#include "settings/tick_clock.h"

#include <QCoreApplication>

#include <cstdio>

TCrawlScheduler::TCrawlScheduler(QObject* parent) : QObject(parent)
{
    // re-armed after each tick, so that ticks never overlap
    m_timer.setSingleShot(true);
    // a coarse timer may fire a few per cent early: the pacing of the slots is a minimum
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TCrawlScheduler::Tick);
}

TCrawlScheduler::~TCrawlScheduler()
{
    m_timer.stop();
    for (auto& slot : m_slots)
        if (slot)
            slot->OnDone = nullptr;
}

std::uint32_t TCrawlScheduler::Now() const
{
    return (m_clock ? *m_clock : AppClock()).Now();
}

bool TCrawlScheduler::Eager() const
{
    if (m_eagerOverride)
        return *m_eagerOverride;
    return GetBoolean(Settings(), "EagerSlots");
}

TThreadHeader* TCrawlScheduler::Slot(int slotIndex) const
{
    if (slotIndex < 1 || slotIndex > kSlots)
        return nullptr;
    return m_slots[static_cast<std::size_t>(slotIndex - 1)].get();
}

void TCrawlScheduler::ProcessPendingEvents()
{
    QCoreApplication::processEvents();
}

void TCrawlScheduler::CreateSlots()
{
    for (int i = 0; i < kSlots; ++i) {
        auto slot = std::make_unique<TThreadHeader>(m_project);
        slot->SlotIndex = i + 1;
        if (!m_cacheFolder.isEmpty())
            slot->CacheFolder = m_cacheFolder + QStringLiteral("slot%1/").arg(i + 1);
        slot->OnDone = [this](TThreadHeader& h) { OnSlotDone(h); };
        m_slots[static_cast<std::size_t>(i)] = std::move(slot);
        m_addressLabels[static_cast<std::size_t>(i)].clear();
    }
}

bool TCrawlScheduler::StartCrawl()
{
    if (!m_project || m_project->Running())
        return false;
    m_project->SetRunning(true);
    m_stopRequested = false;
    m_crawlFinished = false;
    CreateSlots();
    for (auto& slot : m_slots)
        ClearSlotDisplay(*slot);
    m_active = true;
    emit CrawlStarted();
    m_timer.start(m_interval);
    return true;
}

void TCrawlScheduler::StopCrawl()
{
    if (!m_active)
        return;
    m_stopRequested = true;
    DeferRunning();
}

void TCrawlScheduler::DeferRunning()
{
    for (auto& slot : m_slots) {
        if (!slot || slot->State != slotBusy)
            continue;
        try {
            // the interrupted attempt does not count
            TFileRecord& r = slot->SlotRecord;
            r.Attempts -= 1;
            r.ResultText = "Stopped";
            r.Status = flsDeferred;
            m_project->StoreRecord(r);
            r.UpdateListItem();
            if (slot->Worker)
                slot->Worker->Abort();
        } catch (...) {
        }
    }
}

void TCrawlScheduler::Tick()
{
    if (!m_active)
        return;
    m_noSlotBusy = true;
    m_noFetchStarted = true;
    if (m_stopRequested || m_crawlFinished) {
        FinishCrawl();
        return;
    }
    TOptionsList& options = m_project->Options();
    if (GetBoolean(Settings(), "AutoContribute")) {
        if (!GetBoolean(options, "Contributed") && GetInteger(options, "PicsFinished") > 7) {
            // marked first, so that a failed contribution is not repeated
            SetBoolean(options, "Contributed", true);
            if (m_contributor)
                m_contributor->Contribute(*m_project);
        }
        if (m_contributor)
            m_contributor->Rate(*m_project, GetInteger(options, "PicsFinished"));
    }
    const int maxTimeOut = GetInteger(Settings(), "MaxTimeOut");
    const int maxAttempts = GetInteger(Settings(), "MaxAttempts");
    for (auto& slot : m_slots) {
        TThreadHeader& h = *slot;
        if (h.State != slotBusy) {
            ServiceSlot(h);
            continue;
        }
        m_noSlotBusy = false;
        try {
            // differences of the unsigned 32-bit tick count, so its wrap does no harm
            if (h.Worker && h.Worker->HTTP().Busy() && TicksSince(h.StartTick, Now()) > static_cast<std::uint32_t>(maxTimeOut)) {
                h.SlotRecord.Status = h.SlotRecord.Attempts > maxAttempts ? flsFailed : flsDeferred;
                h.Worker->Abort();
            }
        } catch (...) {
            h.State = slotDone;
        }
        if (!m_active)
            return;
    }
    if (m_noSlotBusy && m_noFetchStarted)
        m_crawlFinished = true;
    ProcessPendingEvents();
    if (m_active && !m_timer.isActive())
        m_timer.start(m_interval);
}

void TCrawlScheduler::ServiceSlot(TThreadHeader& h)
{
    if (h.State == slotHandling)
        return;
    if (h.State == slotDone) {
        h.State = slotHandling;
        try {
            WriteBack(h);
        } catch (...) {
        }
        h.State = slotIdle;
    }
    if (!m_active || m_stopRequested)
        return;
    StartNext(h);
}

void TCrawlScheduler::WriteBack(TThreadHeader& h)
{
    TFileRecord& r = h.SlotRecord;
    ClearSlotDisplay(h);
    if (r.Status == flsProcessing)
        r.Status = flsFailed;
    if (!r.IsPicture && r.Status == flsSucceed) {
        m_project->AddLinks(h.FoundLinks, r.URL);
        ProcessPendingEvents();
    }
    TOptionsList& options = m_project->Options();
    if (r.IsPicture) {
        if (r.Status == flsSucceed || r.Status == flsDeferred)
            SetInteger(options, "PicsFinished", GetInteger(options, "PicsFinished") + 1);
    } else if (r.Status == flsSucceed || r.Status == flsFailed) {
        SetInteger(options, "LinksFinished", GetInteger(options, "LinksFinished") + 1);
    }
    m_project->StoreRecord(r);
    emit ProjectInfo(m_project->GetInfo());
    const int row = r.UpdateListItem();
    emit RecordStored(r);
    if (r.IsPicture && row >= 0 && r.Status == flsSucceed) {
        if (GetBoolean(Settings(), "OpenNewPic"))
            emit ShowInViewer(r);
        else if (GetBoolean(Settings(), "SelectNewPic"))
            emit SelectPicture(row);
    }
}

void TCrawlScheduler::StartNext(TThreadHeader& h)
{
    TFileRecord& r = h.SlotRecord;
    bool pictureBusy = false;
    int documentsBusy = 0;
    for (auto& slot : m_slots) {
        if (slot->State != slotBusy)
            continue;
        if (slot->SlotRecord.IsPicture)
            pictureBusy = true;
        else
            ++documentsBusy;
    }
    // at most one picture at a time, and a document beside it (eager slots: any mix)
    if (Eager() || !pictureBusy)
        m_project->NextPicture(r);
    else if (documentsBusy > 0)
        return;
    else
        m_project->NextDocument(r);
    if (r.Link == NoMorePictures)
        m_project->NextDocument(r);
    if (r.Link == NoMoreDocuments) {
        h.State = slotIdle;
        ClearSlotDisplay(h);
        return;
    }
    m_noSlotBusy = false;
    m_noFetchStarted = false;
    m_crawlFinished = false;
    r.Status = flsProcessing;
    m_project->StoreRecord(r);
    emit SlotIcon(h.SlotIndex, r.IsPicture ? kPictureIcon : kDocumentIcon);
    r.UpdateListItem();
    h.Activate();
    h.Worker->ProgressHandler = [this](const TSlotProgress& p) { OnThreadProgress(p); };
    h.Worker->StatusHandler = [this](TDocThread& worker, const QString& text) { ShowSlotStatus(worker, text); };
    h.StartTick = Now();
    h.Worker->Fetch();
}

void TCrawlScheduler::OnSlotDone(TThreadHeader& h)
{
    if (!Eager())
        return;
    // serviced at once, after the client's report has been handled
    TThreadHeader* slot = &h;
    QMetaObject::invokeMethod(
        this,
        [this, slot] {
            if (!m_active || m_stopRequested || slot->State != slotDone)
                return;
            ServiceSlot(*slot);
            for (auto& other : m_slots)
                if (m_active && !m_stopRequested && other->State == slotIdle)
                    ServiceSlot(*other);
        },
        Qt::QueuedConnection);
}

void TCrawlScheduler::FinishCrawl()
{
    m_timer.stop();
    m_active = false;
    m_project->SetRunning(false);
    QString error;
    const bool saved = m_project->Save(&error);
    for (auto& slot : m_slots) {
        if (!slot)
            continue;
        slot->State = slotIdle;
        ClearSlotDisplay(*slot);
    }
    m_stopRequested = false;
    if (!saved)
        emit SaveFailed(error);
    emit CrawlFinished();
}

void TCrawlScheduler::ClearSlotDisplay(TThreadHeader& h)
{
    const int slot = h.SlotIndex;
    m_addressLabels[static_cast<std::size_t>(slot - 1)] = QStringLiteral("Empty");
    emit SlotAddress(slot, QStringLiteral("Empty"));
    emit SlotInfo(slot, QString());
    emit SlotProgress(slot, 0);
    emit SlotIcon(slot, kIdleIcon);
}

void TCrawlScheduler::ShowSlotStatus(TDocThread& worker, const QString& text)
{
    const int slot = worker.Header().SlotIndex;
    QString& label = m_addressLabels[static_cast<std::size_t>(slot - 1)];
    if (label == text)
        return;
    label = text;
    emit SlotAddress(slot, text);
}

void TCrawlScheduler::OnThreadProgress(const TSlotProgress& p)
{
    char info[160];
    std::snprintf(info, sizeof info, "Downloaded: %.1f of %.1f Kb  Speed: %.1f Kb/s", p.bytesRead / 1024.0, p.dataSize / 1024.0,
                  static_cast<double>(p.transferRate));
    emit SlotInfo(p.slotIndex, QString::fromLatin1(info));
    emit SlotProgress(p.slotIndex, p.percentsDone);
    const TThreadHeader* slot = Slot(p.slotIndex);
    if (slot && slot->SlotRecord.IsPicture)
        emit PictureProgress(p);
}
