#include "support/http_test_server.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <deque>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The most the server queues in a socket before waiting for it to drain, so that bytes
// a client never takes are not counted as written.
constexpr qint64 kFeedLimit = 64 * 1024;
// A request head longer than this is refused.
constexpr qsizetype kMaxHeadSize = 64 * 1024;
constexpr int kPaceTickMs = 10;

QByteArray ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

// Whether a comma-separated header value holds token, without regard to case.
bool HasToken(const QByteArray& value, QByteArrayView token)
{
    for (const QByteArray& part : value.split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QByteArrayView PathOf(QByteArrayView target)
{
    const qsizetype query = target.indexOf('?');
    return query < 0 ? target : target.first(query);
}

// Whether an observed target is one the caller asks about (see the class comment).
bool TargetMatches(QByteArrayView target, QByteArrayView path)
{
    return path.contains('?') ? target == path : PathOf(target) == path;
}

THttpTestResponse NotFoundPage()
{
    THttpTestResponse response = THttpTestResponse::Html(
        "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n");
    response.status = 404;
    return response;
}

// A port bound without listening for the life of the process: connections to it are
// refused, and neither another server nor a client's own end (a loopback connection to
// itself) can take it, as they could take a port that was merely released.
struct TReservedPort {
    int fd = -1;
    quint16 port = 0;

    TReservedPort()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
    }
    ~TReservedPort()
    {
        if (fd >= 0)
            ::close(fd);
    }
    TReservedPort(const TReservedPort&) = delete;
    TReservedPort& operator=(const TReservedPort&) = delete;
};

struct TParsedRequest {
    THttpTestRequest request;
    qint64 bodyLength = 0;
};

// Parses a request head (without its closing blank line); false when it is malformed.
bool ParseHead(QByteArrayView head, TParsedRequest& out)
{
    const QList<QByteArray> lines = head.toByteArray().split('\n');
    const QList<QByteArray> first = lines.front().trimmed().split(' ');
    if (first.size() != 3 || first[0].isEmpty() || !first[1].startsWith('/') || !first[2].startsWith("HTTP/"))
        return false;
    out.request.method = first[0];
    out.request.target = first[1];
    out.request.version = first[2];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.front() == ' ' || line.front() == '\t')
            return false;
        out.request.headers.append(qMakePair(line.left(colon).trimmed(), line.mid(colon + 1).trimmed()));
    }
    if (out.request.HasHeader("Transfer-Encoding"))
        return false;
    if (out.request.HasHeader("Content-Length")) {
        bool ok = false;
        out.bodyLength = out.request.Header("Content-Length").toLongLong(&ok);
        if (!ok || out.bodyLength < 0)
            return false;
    }
    return true;
}

}  // namespace

THttpTestResponse THttpTestResponse::Html(QByteArray body)
{
    return Content("text/html", std::move(body));
}

THttpTestResponse THttpTestResponse::Content(QByteArray contentType, QByteArray body)
{
    THttpTestResponse response;
    response.AddHeader("Content-Type", std::move(contentType));
    response.body = std::move(body);
    return response;
}

THttpTestResponse THttpTestResponse::Status(int status, QByteArray body)
{
    THttpTestResponse response;
    response.status = status;
    if (!body.isEmpty())
        response.AddHeader("Content-Type", "text/html");
    response.body = std::move(body);
    return response;
}

THttpTestResponse THttpTestResponse::Redirect(int status, QByteArray location)
{
    THttpTestResponse response = Status(status, "<html><body><a href=\"" + location + "\">moved</a></body></html>\n");
    response.AddHeader("Location", std::move(location));
    return response;
}

THttpTestResponse& THttpTestResponse::AddHeader(QByteArray name, QByteArray value)
{
    headers.append(qMakePair(std::move(name), std::move(value)));
    return *this;
}

QByteArray THttpTestRequest::Path() const
{
    return PathOf(target).toByteArray();
}

QByteArray THttpTestRequest::Header(QByteArrayView name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

bool THttpTestRequest::HasHeader(QByteArrayView name) const
{
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
}

// Scripts and observations, shared by the test's thread and the server's thread.
struct THttpTestServer::TState {
    mutable QMutex mutex;
    QHash<QByteArray, THttpTestResponse> routes;
    THttpTestResponse fallback = NotFoundPage();
    int latencyMs = 0;
    qint64 throttle = 0;

    QElapsedTimer clock;
    int connectionSerial = 0;
    QList<THttpTestRequest> requests;
    QHash<QByteArray, qint64> bodyBytes;  // by target
    qint64 bodyTotal = 0;
    qint64 wireTotal = 0;
    int accepted = 0;
    int open = 0;
};

// One accepted connection, living on the server's thread. Requests are answered one at a
// time in their order; the next is read only when the answer before has been handed over.
class THttpTestServer::TConnection final : public QObject {
    Q_DISABLE_COPY_MOVE(TConnection)

public:
    TConnection(QTcpSocket* socket, std::shared_ptr<TState> state, int number, QObject* parent);
    ~TConnection() override;

private:
    enum class TEnd { KeepAlive, Close, Stall };
    struct TPiece {
        QByteArray data;
        bool body = false;
        qint64 offset = 0;
    };
    struct TInFlight {
        qint64 left;
        bool body;
        QByteArray target;
    };

    void ReadRequests();
    void Answer(THttpTestResponse response, const QByteArray& target, bool clientClose);
    void Begin();
    void Pump();
    void Finished();
    void Account(qint64 bytes);
    void Gone();

    std::shared_ptr<TState> m_state;
    QTcpSocket* m_socket;
    int m_number;
    QByteArray m_in;
    bool m_answering = false;  // from reading a request until its answer has been handed over
    bool m_sending = false;    // pieces of the answer are still to be handed to the socket
    bool m_gone = false;

    THttpTestResponse m_response;  // the answer being sent
    QByteArray m_target;
    bool m_clientClose = false;
    std::deque<TPiece> m_pieces;
    std::deque<TInFlight> m_inFlight;
    TEnd m_end = TEnd::KeepAlive;
    int m_dripBytes = 0;
    int m_dripMs = 0;
    qint64 m_throttle = 0;
    qint64 m_bodySent = 0;
    qint64 m_totalSent = 0;
    QElapsedTimer m_paceClock;
    QTimer m_paceTimer;
    QTimer m_latencyTimer;
    QTimer m_stallTimer;
};

THttpTestServer::TConnection::TConnection(QTcpSocket* socket, std::shared_ptr<TState> state, int number,
                                          QObject* parent)
    : QObject(parent), m_state(std::move(state)), m_socket(socket), m_number(number)
{
    m_socket->setParent(this);
    m_paceTimer.setTimerType(Qt::PreciseTimer);
    m_latencyTimer.setSingleShot(true);
    m_latencyTimer.setTimerType(Qt::PreciseTimer);
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_paceTimer, &QTimer::timeout, this, &TConnection::Pump);
    connect(&m_latencyTimer, &QTimer::timeout, this, &TConnection::Begin);
    connect(&m_stallTimer, &QTimer::timeout, m_socket, &QTcpSocket::disconnectFromHost);
    connect(m_socket, &QTcpSocket::readyRead, this, &TConnection::ReadRequests);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &TConnection::Account);
    connect(m_socket, &QTcpSocket::disconnected, this, &TConnection::Gone);
    // A client that closes or resets is gone: what is still queued for it is dropped, not sent.
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        m_socket->abort();
        Gone();
    });
    ReadRequests();
}

THttpTestServer::TConnection::~TConnection()
{
    QObject::disconnect(m_socket, nullptr, this, nullptr);
    if (!m_gone) {
        QMutexLocker lock(&m_state->mutex);
        --m_state->open;
    }
    m_socket->abort();
    delete m_socket;
}

void THttpTestServer::TConnection::ReadRequests()
{
    if (m_gone)
        return;
    m_in += m_socket->readAll();
    while (!m_answering && !m_gone) {
        const qsizetype end = m_in.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_in.size() > kMaxHeadSize) {
                m_in.clear();
                Answer(THttpTestResponse::Status(400, "<html><body>Bad Request</body></html>\n"), {}, true);
            }
            return;
        }

        TParsedRequest parsed;
        if (!ParseHead(QByteArrayView(m_in).first(end), parsed)) {
            m_in.clear();
            Answer(THttpTestResponse::Status(400, "<html><body>Bad Request</body></html>\n"), {}, true);
            return;
        }
        if (m_in.size() - (end + 4) < parsed.bodyLength)
            return;  // the request's body is still coming
        m_in.remove(0, end + 4 + parsed.bodyLength);

        THttpTestRequest& request = parsed.request;
        request.connection = m_number;
        const QByteArray connection = request.Header("Connection");
        const bool clientClose = request.version == "HTTP/1.0" ? !HasToken(connection, "keep-alive")
                                                                : HasToken(connection, "close");
        THttpTestResponse response;
        {
            QMutexLocker lock(&m_state->mutex);
            request.arrivedMs = m_state->clock.elapsed();
            m_state->requests.append(request);
            auto route = m_state->routes.constFind(request.target);
            if (route == m_state->routes.cend())
                route = m_state->routes.constFind(request.Path());
            response = route != m_state->routes.cend() ? *route : m_state->fallback;
            if (response.latencyMs < 0)
                response.latencyMs = m_state->latencyMs;
            if (response.throttleBytesPerSecond < 0)
                response.throttleBytesPerSecond = m_state->throttle;
        }
        Answer(std::move(response), request.target, clientClose);
    }
}

void THttpTestServer::TConnection::Answer(THttpTestResponse response, const QByteArray& target, bool clientClose)
{
    m_answering = true;
    m_response = std::move(response);
    m_target = target;
    m_clientClose = clientClose;
    if (m_response.latencyMs > 0)
        m_latencyTimer.start(m_response.latencyMs);
    else
        Begin();
}

// Lays the answer out as pieces on the wire and starts handing them to the socket.
void THttpTestServer::TConnection::Begin()
{
    const THttpTestResponse& r = m_response;
    const qint64 size = r.body.size();
    const auto part = [&](qint64 n) { return std::clamp<qint64>(n < 0 ? size / 2 : n, 0, size); };

    QByteArray framing;
    QByteArray body = r.body;
    bool announceClose = r.closeConnection || m_clientClose;
    m_end = announceClose ? TEnd::Close : TEnd::KeepAlive;
    switch (r.shape) {
    case THttpBodyShape::Length:
    case THttpBodyShape::Chunked:
        break;
    case THttpBodyShape::NoLength:
        announceClose = true;
        m_end = TEnd::Close;
        break;
    case THttpBodyShape::LengthTooLarge:
        framing = "Content-Length: " + QByteArray::number(r.claimedLength < 0 ? size + 100 : r.claimedLength) + "\r\n";
        m_end = TEnd::Close;
        break;
    case THttpBodyShape::LengthTooSmall:
        framing = "Content-Length: " + QByteArray::number(r.claimedLength < 0 ? size / 2 : r.claimedLength) + "\r\n";
        m_end = TEnd::Close;
        break;
    case THttpBodyShape::CutOff:
        body.truncate(part(r.sendBytes));
        m_end = TEnd::Close;
        break;
    case THttpBodyShape::StallBeforeHeaders:
    case THttpBodyShape::StallInBody:
        body.truncate(part(r.sendBytes));
        m_end = TEnd::Stall;
        break;
    case THttpBodyShape::Raw:
        m_end = TEnd::Close;
        break;
    }
    if (r.shape == THttpBodyShape::Length || r.shape == THttpBodyShape::CutOff || r.shape == THttpBodyShape::StallInBody)
        framing = "Content-Length: " + QByteArray::number(size) + "\r\n";
    else if (r.shape == THttpBodyShape::Chunked)
        framing = "Transfer-Encoding: chunked\r\n";

    m_pieces.clear();
    if (r.shape == THttpBodyShape::Raw) {
        m_pieces.push_back({r.body, false});
    } else if (r.shape != THttpBodyShape::StallBeforeHeaders) {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' +
                          (r.reason.isEmpty() ? ReasonPhrase(r.status) : r.reason) + "\r\n";
        for (const auto& [name, value] : r.headers)
            head += name + ": " + value + "\r\n";
        head += framing;
        if (announceClose)
            head += "Connection: close\r\n";
        head += "\r\n";
        m_pieces.push_back({head, false});
        if (r.shape == THttpBodyShape::Chunked) {
            const qint64 chunk = r.chunkSize > 0 ? r.chunkSize : std::max<qint64>(size, 1);
            for (qint64 at = 0; at < size; at += chunk) {
                const QByteArray data = body.mid(at, chunk);
                m_pieces.push_back({QByteArray::number(data.size(), 16) + "\r\n", false});
                m_pieces.push_back({data, true});
                m_pieces.push_back({"\r\n", false});
            }
            m_pieces.push_back({"0\r\n\r\n", false});
        } else if (!body.isEmpty()) {
            m_pieces.push_back({body, true});
        }
    }

    m_dripBytes = r.dripBytes > 0 && r.dripIntervalMs > 0 ? r.dripBytes : 0;
    m_dripMs = r.dripIntervalMs;
    m_throttle = std::max<qint64>(r.throttleBytesPerSecond, 0);
    m_bodySent = 0;
    m_totalSent = 0;
    m_sending = true;
    m_paceClock.start();
    // ticks finer than the drip interval, so that a late tick does not merge two drips
    if (m_dripBytes > 0 || m_throttle > 0)
        m_paceTimer.start(std::min(kPaceTickMs, m_dripBytes > 0 ? m_dripMs : kPaceTickMs));
    Pump();
}

// Hands pieces to the socket as far as the pace and the socket's queue allow.
void THttpTestServer::TConnection::Pump()
{
    if (m_gone || !m_sending)
        return;
    while (!m_pieces.empty()) {
        if (m_socket->bytesToWrite() >= kFeedLimit)
            return;  // bytesWritten brings us back
        TPiece& piece = m_pieces.front();
        qint64 n = std::min(piece.data.size() - piece.offset, kFeedLimit);
        const qint64 elapsed = m_paceClock.elapsed();
        if (m_throttle > 0)
            n = std::min(n, m_throttle * elapsed / 1000 - m_totalSent);
        if (piece.body && m_dripBytes > 0)
            n = std::min(n, m_dripBytes * (1 + elapsed / m_dripMs) - m_bodySent);
        if (n <= 0)
            return;  // the pace timer brings us back
        const qint64 written = m_socket->write(piece.data.constData() + piece.offset, n);
        if (written <= 0)
            return;
        m_inFlight.push_back({written, piece.body, m_target});
        m_totalSent += written;
        if (piece.body)
            m_bodySent += written;
        piece.offset += written;
        if (piece.offset == piece.data.size())
            m_pieces.pop_front();
    }
    m_paceTimer.stop();
    m_sending = false;
    Finished();
}

void THttpTestServer::TConnection::Finished()
{
    switch (m_end) {
    case TEnd::KeepAlive:
        m_answering = false;
        QMetaObject::invokeMethod(this, &TConnection::ReadRequests, Qt::QueuedConnection);
        break;
    case TEnd::Close:
        m_socket->disconnectFromHost();  // after what is queued has been written
        break;
    case TEnd::Stall:
        if (m_response.stallMs > 0)
            m_stallTimer.start(m_response.stallMs);
        break;
    }
}

// Counts what the socket really wrote, in the order it was queued.
void THttpTestServer::TConnection::Account(qint64 bytes)
{
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->wireTotal += bytes;
        while (bytes > 0 && !m_inFlight.empty()) {
            TInFlight& front = m_inFlight.front();
            const qint64 take = std::min(bytes, front.left);
            if (front.body) {
                m_state->bodyTotal += take;
                m_state->bodyBytes[front.target] += take;
            }
            front.left -= take;
            bytes -= take;
            if (front.left == 0)
                m_inFlight.pop_front();
        }
    }
    Pump();
}

void THttpTestServer::TConnection::Gone()
{
    if (m_gone)
        return;
    m_gone = true;
    m_paceTimer.stop();
    m_latencyTimer.stop();
    m_stallTimer.stop();
    {
        QMutexLocker lock(&m_state->mutex);
        --m_state->open;
    }
    deleteLater();
}

// The server's own thread: it listens, accepts and runs every connection, and closes
// them all when its event loop is told to quit.
class THttpTestServer::TThread final : public QThread {
public:
    explicit TThread(std::shared_ptr<TState> state) : m_state(std::move(state))
    {
        setObjectName(QStringLiteral("HttpTestServer"));  // the thread's name in the system
    }

    // Starts the thread; the port it listens on, 0 when listening failed.
    quint16 Listen()
    {
        start();
        m_ready.acquire();
        return m_port;
    }

protected:
    void run() override
    {
        QTcpServer server;
        QObject connections;  // parent of every connection
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            m_ready.release();
            return;
        }
        m_port = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, &connections, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                int number = 0;
                {
                    QMutexLocker lock(&m_state->mutex);
                    number = ++m_state->connectionSerial;
                    ++m_state->accepted;
                    ++m_state->open;
                }
                new TConnection(socket, m_state, number, &connections);
            }
        });
        m_ready.release();
        exec();
        // refuse new connections before closing the open ones, so that a client retrying
        // on the close meets a refusal rather than a connection reset unanswered
        server.close();
    }

private:
    std::shared_ptr<TState> m_state;
    QSemaphore m_ready;
    quint16 m_port = 0;
};

THttpTestServer::THttpTestServer(bool start) : m_state(std::make_shared<TState>())
{
    m_state->clock.start();
    if (start)
        Start();
}

THttpTestServer::~THttpTestServer()
{
    Stop();
}

bool THttpTestServer::Start()
{
    if (m_thread)
        return true;
    auto thread = std::make_unique<TThread>(m_state);
    const quint16 port = thread->Listen();
    if (port == 0) {
        thread->wait();
        return false;
    }
    m_thread = std::move(thread);
    m_port = port;
    return true;
}

void THttpTestServer::Stop()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    m_thread.reset();
}

bool THttpTestServer::IsRunning() const
{
    return m_thread != nullptr;
}

quint16 THttpTestServer::Port() const
{
    return m_port;
}

QString THttpTestServer::Url(QByteArrayView path) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + QString::fromUtf8(path);
}

void THttpTestServer::SetRoute(const QByteArray& path, THttpTestResponse response)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->routes.insert(path, std::move(response));
}

void THttpTestServer::RemoveRoute(const QByteArray& path)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->routes.remove(path);
}

void THttpTestServer::SetFallback(THttpTestResponse response)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->fallback = std::move(response);
}

void THttpTestServer::SetLatency(int ms)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->latencyMs = std::max(ms, 0);
}

void THttpTestServer::SetThrottle(qint64 bytesPerSecond)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->throttle = std::max<qint64>(bytesPerSecond, 0);
}

quint16 THttpTestServer::UnusedPort()
{
    static const TReservedPort reserved;
    return reserved.port;
}

QList<THttpTestRequest> THttpTestServer::Requests() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->requests;
}

int THttpTestServer::RequestCount() const
{
    QMutexLocker lock(&m_state->mutex);
    return static_cast<int>(m_state->requests.size());
}

int THttpTestServer::RequestCount(QByteArrayView path) const
{
    QMutexLocker lock(&m_state->mutex);
    return static_cast<int>(std::count_if(m_state->requests.cbegin(), m_state->requests.cend(),
                                          [&](const THttpTestRequest& r) { return TargetMatches(r.target, path); }));
}

int THttpTestServer::ConnectionsAccepted() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->accepted;
}

int THttpTestServer::ConnectionsOpen() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->open;
}

qint64 THttpTestServer::BodyBytesWritten() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->bodyTotal;
}

qint64 THttpTestServer::BodyBytesWritten(QByteArrayView path) const
{
    QMutexLocker lock(&m_state->mutex);
    qint64 total = 0;
    for (auto it = m_state->bodyBytes.cbegin(); it != m_state->bodyBytes.cend(); ++it)
        if (TargetMatches(it.key(), path))
            total += it.value();
    return total;
}

qint64 THttpTestServer::WireBytesWritten() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->wireTotal;
}

void THttpTestServer::ClearObservations()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->requests.clear();
    m_state->bodyBytes.clear();
    m_state->bodyTotal = 0;
    m_state->wireTotal = 0;
    m_state->accepted = 0;
}

qint64 THttpTestServer::ElapsedMs() const
{
    return m_state->clock.elapsed();
}

bool THttpTestServer::WaitForRequests(QByteArrayView path, int count, int timeoutMs) const
{
    return WaitUntil([&] { return RequestCount(path) >= count; }, timeoutMs);
}

bool THttpTestServer::WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
