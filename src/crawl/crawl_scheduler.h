#pragma once

#include "crawl/fetch_worker.h"
#include "project/file_record.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class TProject;
class TTickClock;

// The repository's side of a crawl: contributing a project that has harvested
// enough pictures, and rating it as it goes on.
class TContributor {
public:
    virtual ~TContributor() = default;
    virtual void Contribute(TProject& project) = 0;
    virtual void Rate(TProject& project, int picsFinished) = 0;
};

// Drives the crawl of one project with four download slots on a 500 ms tick:
// writes finished slots back, hands idle slots the next picture or document,
// abandons fetches that ran too long, and ends the crawl when nothing is left.
// The main window (or the command line) owns one and shows its signals.
class TCrawlScheduler final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TCrawlScheduler)

public:
    static constexpr int kSlots = 4;
    static constexpr int kIdleIcon = 0;
    static constexpr int kPictureIcon = 1;
    static constexpr int kDocumentIcon = 5;

    explicit TCrawlScheduler(QObject* parent = nullptr);
    ~TCrawlScheduler() override;

    void SetProject(TProject* project) { m_project = project; }
    TProject* Project() const { return m_project; }
    void SetClock(TTickClock* clock) { m_clock = clock; }
    void SetContributor(TContributor* contributor) { m_contributor = contributor; }
    void SetTickInterval(int ms) { m_interval = ms; }
    // Eager slots: a slot that becomes done is serviced at once and pictures may
    // be fetched in every slot. Unset: the setting "EagerSlots".
    void SetEager(std::optional<bool> eager) { m_eagerOverride = eager; }
    bool Eager() const;
    void SetCacheFolder(const QString& folder) { m_cacheFolder = folder; }

    // Starts a crawl of the project; false when there is none or it runs already.
    bool StartCrawl();
    // Stops the crawl: running fetches are kept for the next crawl; the next tick
    // finishes it.
    void StopCrawl();
    bool Active() const { return m_active; }
    // One tick of the scheduler (the timer calls it; tests may too).
    void Tick();
    TThreadHeader* Slot(int slotIndex) const;

signals:
    void CrawlStarted();
    // The crawl has ended and the project was saved: "Process Finished".
    void CrawlFinished();
    void SaveFailed(const QString& error);
    void SlotIcon(int slotIndex, int icon);
    void SlotAddress(int slotIndex, const QString& text);
    void SlotInfo(int slotIndex, const QString& text);
    void SlotProgress(int slotIndex, int percent);
    void ProjectInfo(const QStringList& lines);
    // A finished fetch was written back into the project.
    void RecordStored(const TFileRecord& record);
    // A new picture: to be shown in the viewer, or its row selected in the list.
    void ShowInViewer(const TFileRecord& record);
    void SelectPicture(int row);
    // Progress of a picture's download, for the viewer.
    void PictureProgress(const TSlotProgress& progress);

private:
    void CreateSlots();
    void ServiceSlot(TThreadHeader& h);
    void WriteBack(TThreadHeader& h);
    void StartNext(TThreadHeader& h);
    void FinishCrawl();
    void DeferRunning();
    void ClearSlotDisplay(TThreadHeader& h);
    void ShowSlotStatus(TDocThread& worker, const QString& text);
    void OnThreadProgress(const TSlotProgress& progress);
    void OnSlotDone(TThreadHeader& h);
    void ProcessPendingEvents();
    std::uint32_t Now() const;

    TProject* m_project = nullptr;
    TTickClock* m_clock = nullptr;
    TContributor* m_contributor = nullptr;
    std::array<std::unique_ptr<TThreadHeader>, kSlots> m_slots;
    std::array<QString, kSlots> m_addressLabels;
    QTimer m_timer;
    int m_interval = 500;
    std::optional<bool> m_eagerOverride;
    QString m_cacheFolder;
    bool m_active = false;
    bool m_stopRequested = false;
    bool m_crawlFinished = false;
    bool m_noSlotBusy = true;
    bool m_noFetchStarted = true;
};
