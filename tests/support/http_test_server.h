#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>

// How a scripted response frames and delivers its body.
enum class THttpBodyShape {
    Length,              // a true Content-Length; the connection stays open for the next request
    NoLength,            // no Content-Length, "Connection: close"; the body ends when the server closes
    LengthTooLarge,      // Content-Length claims claimedLength (more than the body), the body, then close
    LengthTooSmall,      // Content-Length claims claimedLength (less than the body), the whole body, then close
    Chunked,             // Transfer-Encoding: chunked, chunkSize body bytes a chunk, then the last chunk
    CutOff,              // the true Content-Length, the first sendBytes of the body, then close
    StallBeforeHeaders,  // the request is read and never answered
    StallInBody,         // the true Content-Length, the first sendBytes of the body, then nothing more
    Raw,                 // the body is the whole response as it is (no status line or headers added), then close;
                         // its bytes count as wire bytes only
};

using THttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// One scripted answer. The fields that do not apply to the shape are ignored.
struct THttpTestResponse {
    int status = 200;
    QByteArray reason;     // empty: the usual phrase of the status
    THttpHeaders headers;  // sent as given, before the framing headers the shape adds
    QByteArray body;
    THttpBodyShape shape = THttpBodyShape::Length;
    qint64 claimedLength = -1;  // LengthTooLarge / LengthTooSmall; -1: body + 100 / half the body
    int chunkSize = 1024;       // Chunked
    qint64 sendBytes = -1;      // CutOff / StallInBody: body bytes sent; -1: half the body
    int stallMs = 0;            // stalls: close the connection after this long; 0: stall until the server stops
    int dripBytes = 0;          // with dripIntervalMs > 0: body bytes at once, then as many again every interval
    int dripIntervalMs = 0;
    int latencyMs = -1;                  // delay before the status line; -1: the server's SetLatency
    qint64 throttleBytesPerSecond = -1;  // whole response, per connection; -1: the server's SetThrottle; 0: none
    bool closeConnection = false;        // announce "Connection: close" and close after the response

    static THttpTestResponse Html(QByteArray body);
    static THttpTestResponse Content(QByteArray contentType, QByteArray body);
    static THttpTestResponse Status(int status, QByteArray body = {});
    // 3xx with Location as given (relative or absolute), so chains and loops can be scripted.
    static THttpTestResponse Redirect(int status, QByteArray location);
    THttpTestResponse& AddHeader(QByteArray name, QByteArray value);
};

// One request as the server received it.
struct THttpTestRequest {
    QByteArray method;
    QByteArray target;  // path with query, as sent
    QByteArray version;
    THttpHeaders headers;
    qint64 arrivedMs = 0;  // on the server's clock (ElapsedMs) when the header block was complete
    int connection = 0;    // number of the connection it came on, from 1 in the order of acceptance

    QByteArray Path() const;  // the target without its query
    // The first value of a header, names compared without regard to case; empty when absent.
    QByteArray Header(QByteArrayView name) const;
    bool HasHeader(QByteArrayView name) const;
};

// A real HTTP/1.1 server on 127.0.0.1 with scripted answers per path, running its
// sockets on a thread of its own so that a test blocking its own event loop does not
// starve it. Scripts and observations may be used from any thread.
//
// A request is answered by the route of its exact target (path with query), else by the
// route of its path, else by the fallback (404 with a small HTML page). Every method is
// answered as GET. Start and Stop belong to the thread that made the server.
// Where a method takes a path to observe: a path without "?" counts every target with
// that path whatever its query; a path with "?" counts that exact target only.
//
// Qt's client (6.4) sometimes sends a request again when a connection closes, sends a
// redirected request twice, and calls a body that stops short of its Content-Length
// complete: tests through it should not count on exact request counts there.
class THttpTestServer final {
public:
    explicit THttpTestServer(bool start = true);
    ~THttpTestServer();
    THttpTestServer(const THttpTestServer&) = delete;
    THttpTestServer& operator=(const THttpTestServer&) = delete;

    // Listens on a fresh port; false when listening failed. Does nothing while running.
    bool Start();
    // Closes every connection (ending every stall) and joins the server's thread.
    // What was observed stays readable.
    void Stop();
    bool IsRunning() const;
    quint16 Port() const;
    // "http://127.0.0.1:<port><path>"
    QString Url(QByteArrayView path = "/") const;

    void SetRoute(const QByteArray& path, THttpTestResponse response);
    void RemoveRoute(const QByteArray& path);
    void SetFallback(THttpTestResponse response);
    // Defaults for every route that does not set its own.
    void SetLatency(int ms);
    void SetThrottle(qint64 bytesPerSecond);

    // A port on 127.0.0.1 where nothing listens: bound without listening and kept so for
    // the life of the process, so that nothing else can take it meanwhile. Always the same.
    static quint16 UnusedPort();

    QList<THttpTestRequest> Requests() const;
    int RequestCount() const;
    int RequestCount(QByteArrayView path) const;
    int ConnectionsAccepted() const;
    int ConnectionsOpen() const;
    // Bytes the sockets took from the server (written, not merely queued): body bytes
    // only (no headers, no chunk framing), and everything on the wire. The server queues
    // at most 64 KiB ahead of the socket; what the system buffers counts as written.
    qint64 BodyBytesWritten() const;
    qint64 BodyBytesWritten(QByteArrayView path) const;
    qint64 WireBytesWritten() const;
    // Forgets requests, counts and bytes; connections go on being numbered.
    void ClearObservations();
    // Milliseconds on the server's steady clock, which started with the object.
    qint64 ElapsedMs() const;

    // Runs the caller's event loop until path has been requested count times; false on time-out.
    bool WaitForRequests(QByteArrayView path, int count, int timeoutMs = 5000) const;
    // Runs the caller's event loop until condition holds; false on time-out.
    static bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

private:
    struct TState;
    class TConnection;
    class TThread;

    std::shared_ptr<TState> m_state;
    std::unique_ptr<TThread> m_thread;
    quint16 m_port = 0;
};
