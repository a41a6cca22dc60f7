#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// One download slot's HTTP client: a GET of one address at a time over Qt's
// network stack, reported as events on the thread that owns the client (the GUI
// thread). Redirects are followed by the client; the user agent, the accepted
// types, the HTTP cache and the proxy are those of a browser of its time.
//
// Every transfer ends with exactly one terminal event: Done, HTTPError,
// HostUnreachable, ConnLost, DoneInterrupted, RedirectRefused or Aborted.
class THttpClient final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(THttpClient)

public:
    // cacheFolder: where the HTTP cache keeps its files; empty for no cache.
    explicit THttpClient(const QString& cacheFolder = QString(), QObject* parent = nullptr);
    ~THttpClient() override;

    static constexpr int kMaxRedirects = 20;
    static constexpr qsizetype kBlockSize = 4096;

    void SetAddress(const QString& address) { m_address = address; }
    const QString& Address() const { return m_address; }
    void SetReferer(const QString& referer) { m_referer = referer; }
    // The address of the transfer now, after the redirects followed so far; the
    // address as given while no redirect has been followed.
    QString CurrentAddress() const { return m_redirects == 0 ? m_address : m_current.toString(QUrl::FullyEncoded); }

    // Begins a GET of the address. A transfer still running is dropped first,
    // without events, so that the new one is a transfer of the new address.
    void Start();
    bool Busy() const { return m_reply != nullptr; }
    // Ends the running transfer: Aborted is reported before this returns, and
    // nothing of that transfer afterwards.
    void Abort();

    struct TProgress {
        qint64 dataSize = 0;    // the announced length, 0 without one
        qint64 bytesRead = 0;
        int elapsedTime = 0;    // whole seconds
        int estimatedTimeLeft = 0;
        int percentsDone = 0;
        float transferRate = 0;  // Kb per second
    };

    // Waits for a whole GET with the event loop running (repository requests).
    struct TResult {
        int status = 0;          // the HTTP status; 0 when no answer came
        QByteArray body;
        QString contentType;
        QString error;           // empty on success
    };
    TResult Get(const QString& address, int timeoutMs = 60000);

signals:
    void StatusChanged(const QString& statusText);
    // The response headers of a 200 answer; clear *continueDownload to refuse the body.
    void HeaderInfo(const QString& contentType, qint64 contentLength, bool* continueDownload);
    void Progress(const THttpClient::TProgress& progress, const QByteArray& received);
    void Done(const QString& contentType, qint64 fileSize, const QByteArray& body);
    void HTTPError(int statusCode);
    void HostUnreachable();
    void ConnLost();
    void DoneInterrupted();
    void RedirectRefused();
    void Aborted();

private:
    void OnMetaData();
    void OnReadyRead();
    void OnFinished();
    void OnRedirected(const QUrl& target);
    bool Deliver(QNetworkReply* reply, const QByteArray& piece);
    void Status(const char* stage);
    void Drop();
    TProgress MakeProgress() const;

    std::unique_ptr<QNetworkAccessManager> m_manager;
    QNetworkReply* m_reply = nullptr;
    QString m_address;
    QString m_referer;
    QUrl m_current;
    QByteArray m_body;
    QString m_contentType;
    qint64 m_contentLength = 0;
    int m_status = 0;
    int m_redirects = 0;
    bool m_redirectPending = false;
    bool m_headersSeen = false;
    bool m_receiving = false;
    QElapsedTimer m_clock;
};
