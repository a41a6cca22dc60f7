#include "crawl/fetch_worker.h"

#include "crawl/image_info.h"
#include "crawl/link_extraction.h"
#include "project/project.h"
#include "project/row_model.h"
#include "settings/app_settings.h"
#include "settings/text_convert.h"

#include <QDir>
#include <QSaveFile>

#include <cstdio>
#include <exception>

namespace {

std::int32_t ClampToInt(qint64 value)
{
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::string Kb(const char* format, qint64 bytes)
{
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, format, static_cast<int>(bytes / 1024));
    return buffer;
}

} // namespace

bool IsPictureFileID(std::string_view fileID)
{
    if (fileID.size() <= 5 || fileID.size() > 5 + 32 || fileID.substr(0, 5) != "FILE-")
        return false;
    for (char c : fileID.substr(5))
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

TThreadHeader::TThreadHeader(TProject* project) : Project(project) {}

TThreadHeader::~TThreadHeader() = default;

void TThreadHeader::Activate()
{
    State = slotBusy;
    if (!Worker)
        Worker = std::make_unique<TDocThread>(*this);
    Worker->FileRecord = &SlotRecord;
    Worker->Project = Project;
}

void TThreadHeader::MarkDone()
{
    State = slotDone;
    if (OnDone)
        OnDone(*this);
}

TDocThread::TDocThread(TThreadHeader& header)
    : FileRecord(&header.SlotRecord), Project(header.Project), m_header(header),
      m_http(std::make_unique<THttpClient>(header.CacheFolder))
{
    THttpClient* http = m_http.get();
    QObject::connect(http, &THttpClient::StatusChanged, http, [this](const QString& text) { HandleStatusChanged(text); });
    QObject::connect(http, &THttpClient::HeaderInfo, http,
                     [this](const QString& type, qint64 length, bool* go) { HandleHeaderInfo(type, length, go); });
    QObject::connect(http, &THttpClient::Progress, http,
                     [this](const THttpClient::TProgress& p, const QByteArray& received) { HandleProgress(p, received); });
    QObject::connect(http, &THttpClient::Done, http,
                     [this](const QString& type, qint64 size, const QByteArray& body) { HandleDone(type, size, body); });
    QObject::connect(http, &THttpClient::HTTPError, http, [this](int code) { HandleHTTPError(code); });
    QObject::connect(http, &THttpClient::HostUnreachable, http, [this] { HandleHostUnreachable(); });
    QObject::connect(http, &THttpClient::ConnLost, http, [this] { HandleConnLost(); });
    QObject::connect(http, &THttpClient::RedirectRefused, http, [this] { HandleRedirectRefused(); });
    QObject::connect(http, &THttpClient::DoneInterrupted, http, [this] { HandleDoneInterrupted(); });
    QObject::connect(http, &THttpClient::Aborted, http, [this] { HandleAborted(); });
}

TDocThread::~TDocThread()
{
    m_http->disconnect();
}

void TDocThread::Fetch()
{
    TFileRecord& r = *FileRecord;
    m_http->SetAddress(ToQString(r.Link));
    m_http->SetReferer(ToQString(r.Referer));
    r.Attempts += 1;
    // the outcome that stands when the client never reports
    r.Status = flsFailed;
    r.ResultText = "Unknown";
    m_http->Start();
}

void TDocThread::Abort()
{
    if (m_http->Busy())
        m_http->Abort();
}

void TDocThread::HandleStatusChanged(const QString& text)
{
    if (StatusHandler)
        StatusHandler(*this, text);
}

void TDocThread::HandleHeaderInfo(const QString& contentType, qint64 contentLength, bool* continueDownload)
{
    TFileRecord& r = *FileRecord;
    *continueDownload = true;
    r.URL = ToStdString(m_http->CurrentAddress());
    r.ContentSize = ClampToInt(contentLength);
    const QString type = contentType.toLower();
    const TOptionsList& o = Project->Options();
    if (r.IsPicture) {
        if (!type.contains(QLatin1String("image/jpeg"))) {
            *continueDownload = false;
            r.ResultText = "Wrong content: " + ToStdString(contentType);
            r.Status = flsFailed;
        }
        return;
    }
    if (type.contains(QLatin1String("text/html")) || type.contains(QLatin1String("application/x-javascript"))) {
        if (r.ContentSize > 0 && r.ContentSize > GetInteger(o, "MaxDocSize")) {
            *continueDownload = false;
            r.ResultText = Kb("Document too big (%d Kb)", r.ContentSize);
            r.Status = flsFailed;
        }
        return;
    }
    *continueDownload = false;
    r.ResultText = "Wrong content: " + ToStdString(contentType);
    r.Status = flsFailed;
    if (type.contains(QLatin1String("image/jpeg"))) {
        if (r.ContentSize <= 0
            || (GetInteger(o, "MinPicSize") <= r.ContentSize && r.ContentSize <= GetInteger(o, "MaxPicSize"))) {
            // the document is a picture: it becomes a picture record of its own
            r.Status = flsSucceed;
            r.ResultText = ToStdString(contentType);
            TFileRecord p;
            p.FromText(r.ToText());
            p.IsPicture = true;
            p.Status = flsInitial;
            p.Attempts = 0;
            p.ResultText.clear();
            p.ListItem = Project->PicsView() ? Project->PicsView()->AddRow() : 0;
            Project->StoreRecord(p);
            p.UpdateListItem();
        } else {
            r.ResultText = Kb("Size out of bounds (%d Kb)", r.ContentSize);
            r.Status = flsFailed;
        }
    }
    Done();
}

void TDocThread::HandleProgress(const THttpClient::TProgress& progress, const QByteArray& received)
{
    if (ProgressHandler)
        ProgressHandler(TSlotProgress{m_header.SlotIndex, progress.dataSize, progress.bytesRead, progress.elapsedTime,
                                      progress.estimatedTimeLeft, progress.percentsDone, progress.transferRate});
    TFileRecord& r = *FileRecord;
    const TOptionsList& o = Project->Options();
    // a body may not grow beyond its bound, whatever its length said
    if (r.IsPicture && progress.bytesRead > GetInteger(o, "MaxPicSize")) {
        r.Status = flsFailed;
        r.ResultText = Kb("Size out of bounds (%d Kb)", progress.bytesRead);
        Abort();
        return;
    }
    if (!r.IsPicture && progress.bytesRead > GetInteger(o, "MaxDocSize")) {
        r.Status = flsFailed;
        r.ResultText = Kb("Document too big (%d Kb)", progress.bytesRead);
        Abort();
        return;
    }
    if (!r.IsPicture || r.PicWidth != 0 || r.PicHeight != 0 || progress.bytesRead < 1024)
        return;
    if (r.HeaderRetry && progress.bytesRead < progress.dataSize)
        return;
    TDCImageInfo info;
    info.ReadInfo(std::string_view(received.constData(), static_cast<std::size_t>(received.size())));
    if (info.ImageType == itNone) {
        if (!r.HeaderRetry) {
            // the header may lie beyond the first bytes: try again with the whole body
            r.HeaderRetry = true;
            return;
        }
        r.Status = flsFailed;
        r.ResultText = "Bad header";
        Abort();
        return;
    }
    r.PicWidth = info.Width;
    r.PicHeight = info.Height;
    const int minWidth = GetInteger(o, "MinWidth");
    const int minHeight = GetInteger(o, "MinHeight");
    if (r.PicWidth < minWidth || r.PicHeight < minHeight) {
        char text[128];
        std::snprintf(text, sizeof text, "Dimensions are out of bounds ( %dx%d  %dx%d )", r.PicWidth, r.PicHeight, minWidth,
                      minHeight);
        r.Status = flsFailed;
        r.ResultText = text;
        Abort();
    }
}

void TDocThread::SavePicture(const QByteArray& body)
{
    TFileRecord& r = *FileRecord;
    // a crafted project must not name a file outside the project's folder
    if (!IsPictureFileID(r.FileID)) {
        r.Status = flsFailed;
        r.ResultText = "Invalid file name";
        return;
    }
    r.FileName = r.FileID.substr(5) + ".jpg";
    const QString folder = Project->Folder();
    QDir().mkpath(folder);
    // written beside its final name and renamed only when whole
    QSaveFile file(folder + ToQString(r.FileName));
    if (!file.open(QIODevice::WriteOnly))
        return;
    if (file.write(body) != body.size()) {
        file.cancelWriting();
        return;
    }
    if (!file.commit())
        return;
    r.Status = flsSucceed;
    r.ResultText = "OK";
}

void TDocThread::ParseDocument(const QByteArray& body)
{
    TFileRecord& r = *FileRecord;
    m_header.FoundLinks.clear();
    // the text a document is read as ends at its first NUL byte
    const qsizetype nul = body.indexOf('\0');
    const std::string_view text(body.constData(), static_cast<std::size_t>(nul < 0 ? body.size() : nul));
    TOptionsList& o = Project->Options();
    if (GetInteger(o, "LinksFinished") < 20 && ContainsAdultWord(text))
        SetString(o, "Category", "Erotic");
    ExtractLinks(text, m_header.FoundLinks, r.URL);
    // a redirected document: its final address is known to the project from now on
    if (r.Link != r.URL)
        m_header.FoundLinks.push_back(r.URL);
    Project->FilterLinks(m_header.FoundLinks);
    r.Status = flsSucceed;
    r.ResultText = "OK";
}

void TDocThread::HandleDone(const QString& contentType, qint64 fileSize, const QByteArray& body)
{
    Q_UNUSED(contentType);
    Done();
    TFileRecord& r = *FileRecord;
    if (fileSize == 0 || body.isEmpty()) {
        r.Status = flsFailed;
        r.ResultText = "Data stream is broken";
        return;
    }
    if (r.IsPicture) {
        SavePicture(body);
        return;
    }
    try {
        ParseDocument(body);
    } catch (...) {
        r.Status = flsFailed;
        r.ResultText = "Parsing error";
    }
}

void TDocThread::HandleHTTPError(int code)
{
    TFileRecord& r = *FileRecord;
    r.HTTPCode = code;
    r.Status = r.Attempts > GetInteger(Settings(), "MaxAttempts") ? flsFailed : flsDeferred;
    r.ResultText = "HTTP Error: " + std::to_string(code);
    if (code == 404 || code == 401)
        r.Status = flsFailed;
    Done();
}

void TDocThread::HandleHostUnreachable()
{
    FileRecord->Status = flsFailed;
    FileRecord->ResultText = "Host Unreachable";
    Done();
}

void TDocThread::HandleConnLost()
{
    FileRecord->Status = flsFailed;
    FileRecord->ResultText = "Connection Lost";
    Done();
}

void TDocThread::HandleRedirectRefused()
{
    FileRecord->Status = flsFailed;
    FileRecord->ResultText = "Too many redirects";
    Done();
}

void TDocThread::HandleDoneInterrupted()
{
    Done();
}

void TDocThread::HandleAborted()
{
    Done();
}
