#pragma once

#include "crawl/http_client.h"
#include "project/file_record.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TProject;
class TDocThread;

// A download slot's state.
enum TSlotState : std::uint8_t {
    slotIdle = 0,
    slotBusy = 1,
    slotDone = 2,
    slotHandling = 3,
};

// One of the four download slots: the record it works on, the links of the
// last document it fetched, and its worker.
class TThreadHeader final {
public:
    explicit TThreadHeader(TProject* project);
    ~TThreadHeader();
    TThreadHeader(const TThreadHeader&) = delete;
    TThreadHeader& operator=(const TThreadHeader&) = delete;

    TSlotState State = slotIdle;
    int SlotIndex = 0;
    std::unique_ptr<TDocThread> Worker;
    TFileRecord SlotRecord;
    TProject* Project = nullptr;
    std::vector<std::string> FoundLinks;
    std::uint32_t StartTick = 0;

    // Called whenever the worker marks the slot done (the scheduler's eager mode).
    std::function<void(TThreadHeader&)> OnDone;
    // The folder of the HTTP cache for this slot's client; empty for none.
    QString CacheFolder;

    // Marks the slot busy and gives it its worker (made at the first fetch).
    void Activate();
    void MarkDone();
};

// Progress of a slot's transfer, as the main window shows it.
struct TSlotProgress {
    int slotIndex = 0;
    qint64 dataSize = 0;
    qint64 bytesRead = 0;
    int elapsedTime = 0;
    int estimatedTimeLeft = 0;
    int percentsDone = 0;
    float transferRate = 0;
};

// The worker behind a slot: fetches the slot's record with its HTTP client and
// turns the client's reports into the record's state and result text.
class TDocThread final {
public:
    explicit TDocThread(TThreadHeader& header);
    ~TDocThread();
    TDocThread(const TDocThread&) = delete;
    TDocThread& operator=(const TDocThread&) = delete;

    std::function<void(const TSlotProgress&)> ProgressHandler;
    std::function<void(TDocThread&, const QString&)> StatusHandler;

    TThreadHeader& Header() { return m_header; }
    THttpClient& HTTP() { return *m_http; }
    TFileRecord* FileRecord = nullptr;
    TProject* Project = nullptr;

    // Starts the transfer of the record as queued; counts the attempt and presets
    // the outcome a transfer that never reports would leave.
    void Fetch();
    void Abort();

    // The handlers of the client's events.
    void HandleStatusChanged(const QString& text);
    void HandleHeaderInfo(const QString& contentType, qint64 contentLength, bool* continueDownload);
    void HandleProgress(const THttpClient::TProgress& progress, const QByteArray& received);
    void HandleDone(const QString& contentType, qint64 fileSize, const QByteArray& body);
    void HandleHTTPError(int code);
    void HandleHostUnreachable();
    void HandleConnLost();
    void HandleRedirectRefused();
    void HandleDoneInterrupted();
    void HandleAborted();

private:
    void Done() { m_header.MarkDone(); }
    void SavePicture(const QByteArray& body);
    void ParseDocument(const QByteArray& body);

    TThreadHeader& m_header;
    std::unique_ptr<THttpClient> m_http;
};

// A picture's file name comes from its FileID, which must be "FILE-" and hex digits.
bool IsPictureFileID(std::string_view fileID);
