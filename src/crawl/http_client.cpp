#include "crawl/http_client.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <cmath>

namespace {

constexpr char kAgent[] = "Mozilla 3.0 compatible";
constexpr char kAccept[] = "text/html, */*";

QNetworkRequest MakeRequest(const QUrl& url, const QString& referer, QNetworkRequest::RedirectPolicy policy)
{
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", kAgent);
    request.setRawHeader("Accept", kAccept);
    if (!referer.isEmpty())
        request.setRawHeader("Referer", referer.toUtf8());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, policy);
    request.setMaximumRedirectsAllowed(THttpClient::kMaxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    return request;
}

// The value a header has in the last response of a transfer. After a redirect
// Qt 6.4 may keep the redirect's headers and join the final response's to them
// ("49, 4" for Content-Length), so the last of the joined values is the answer's.
QByteArray LastHeaderValue(const QNetworkReply& reply, const char* name, bool joinedByRedirect)
{
    const QByteArray value = reply.rawHeader(name);
    const qsizetype comma = joinedByRedirect ? value.lastIndexOf(", ") : -1;
    return comma < 0 ? value : value.mid(comma + 2);
}

bool IsRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace

THttpClient::THttpClient(const QString& cacheFolder, QObject* parent)
    : QObject(parent), m_manager(std::make_unique<QNetworkAccessManager>())
{
    static const bool systemProxy = [] {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return true;
    }();
    Q_UNUSED(systemProxy);
    if (!cacheFolder.isEmpty()) {
        auto* cache = new QNetworkDiskCache(m_manager.get());
        cache->setCacheDirectory(cacheFolder);
        cache->setMaximumCacheSize(64LL << 20);
        m_manager->setCache(cache);
    }
    m_manager->setCookieJar(nullptr);
}

THttpClient::~THttpClient()
{
    Drop();
}

void THttpClient::Status(const char* stage)
{
    emit StatusChanged(QLatin1String(stage) + QStringLiteral("  ") + CurrentAddress());
}

void THttpClient::Drop()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void THttpClient::Start()
{
    Drop();
    m_current = QUrl(m_address, QUrl::TolerantMode);
    m_body.clear();
    m_contentType.clear();
    m_contentLength = 0;
    m_status = 0;
    m_redirects = 0;
    m_redirectPending = false;
    m_headersSeen = false;
    m_receiving = false;
    m_clock.start();
    if (!m_current.isValid() || !IsWebScheme(m_current) || m_current.host().isEmpty()) {
        // nothing can answer such an address; report it once the caller has returned
        m_reply = nullptr;
        QTimer::singleShot(0, this, [this, token = m_address] {
            if (m_address == token && !m_reply)
                emit HostUnreachable();
        });
        return;
    }
    QNetworkReply* reply = m_manager->get(MakeRequest(m_current, m_referer, QNetworkRequest::NoLessSafeRedirectPolicy));
    m_reply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, &THttpClient::OnMetaData);
    connect(reply, &QNetworkReply::readyRead, this, &THttpClient::OnReadyRead);
    connect(reply, &QNetworkReply::finished, this, &THttpClient::OnFinished);
    connect(reply, &QNetworkReply::redirected, this, &THttpClient::OnRedirected);
    Status("Sending Request");
}

void THttpClient::Abort()
{
    if (!m_reply)
        return;
    Drop();
    emit Aborted();
}

void THttpClient::OnRedirected(const QUrl& target)
{
    QNetworkReply* reply = m_reply;
    if (!reply || sender() != reply)
        return;
    // the client follows redirects itself, at most kMaxRedirects of them and
    // only to http or https addresses
    ++m_redirects;
    m_redirectPending = false;
    m_current = target;
    Status("Status redirect");
}

void THttpClient::OnMetaData()
{
    QNetworkReply* reply = m_reply;
    if (!reply || sender() != reply || m_headersSeen)
        return;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    m_status = status.toInt();
    if (IsRedirect(m_status) && reply->hasRawHeader("Location")) {
        m_redirectPending = true;  // the client follows it, or refuses it and ends
        return;
    }
    m_headersSeen = true;
    Status("Response received");
    if (m_status != 200) {
        // an error answer is left to end by itself: its body is small, and
        // aborting a reply whose error is already on its way upsets it
        m_reply = nullptr;
        reply->disconnect(this);
        connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
        emit HTTPError(m_status);
        return;
    }
    m_contentType = QString::fromLatin1(LastHeaderValue(*reply, "Content-Type", m_redirects > 0));
    bool lengthOk = false;
    const qint64 length = LastHeaderValue(*reply, "Content-Length", true).trimmed().toLongLong(&lengthOk);
    m_contentLength = lengthOk && length > 0 ? length : 0;
    bool continueDownload = true;
    emit HeaderInfo(m_contentType, m_contentLength, &continueDownload);
    if (m_reply != reply)
        return;  // the handler ended the transfer itself
    if (!continueDownload) {
        Drop();
        emit DoneInterrupted();
    }
}

THttpClient::TProgress THttpClient::MakeProgress() const
{
    TProgress p;
    p.dataSize = m_contentLength;
    p.bytesRead = m_body.size();
    p.elapsedTime = static_cast<int>(m_clock.elapsed() / 1000);
    const double kb = p.bytesRead / 1024.0;
    p.transferRate = static_cast<float>(p.elapsedTime > 0 ? kb / p.elapsedTime : kb);
    if (p.dataSize > 0) {
        p.percentsDone = static_cast<int>(std::lround(p.bytesRead * 100.0 / p.dataSize));
        if (p.transferRate > 0)
            p.estimatedTimeLeft = static_cast<int>(std::max(0.0, (p.dataSize - p.bytesRead) / 1024.0 / p.transferRate));
    }
    return p;
}

void THttpClient::OnReadyRead()
{
    QNetworkReply* reply = m_reply;
    if (!reply || sender() != reply)
        return;
    if (!m_headersSeen)
        OnMetaData();
    if (m_reply != reply || m_status != 200)
        return;
    const QByteArray piece = reply->readAll();
    if (piece.isEmpty())
        return;
    if (!m_receiving) {
        m_receiving = true;
        Status("Receiving response");
    }
    Deliver(reply, piece);
}

// The body reaches the handlers in blocks of at most 4 KiB, whatever the pieces the
// network hands over, so that a test on the first bytes sees them before the rest.
bool THttpClient::Deliver(QNetworkReply* reply, const QByteArray& piece)
{
    for (qsizetype at = 0; at < piece.size(); at += kBlockSize) {
        m_body.append(piece.constData() + at, std::min<qsizetype>(kBlockSize, piece.size() - at));
        emit Progress(MakeProgress(), m_body);
        if (m_reply != reply)
            return false;  // a handler ended the transfer
    }
    return true;
}

void THttpClient::OnFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply || sender() != reply)
        return;
    if (!m_headersSeen)
        OnMetaData();
    if (m_reply != reply)
        return;  // ended while its headers were handled
    const QNetworkReply::NetworkError error = reply->error();
    if (!m_headersSeen) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->deleteLater();
        if (m_redirectPending || error == QNetworkReply::TooManyRedirectsError || error == QNetworkReply::InsecureRedirectError)
            emit RedirectRefused();
        else
            emit HostUnreachable();
        return;
    }
    const QByteArray rest = reply->readAll();
    if (!rest.isEmpty() && !Deliver(reply, rest))
        return;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();
    if (error != QNetworkReply::NoError || (m_contentLength > 0 && m_body.size() < m_contentLength)) {
        emit ConnLost();
        return;
    }
    Status("Request complete");
    emit Done(m_contentType, m_body.size(), m_body);
}

THttpClient::TResult THttpClient::Get(const QString& address, int timeoutMs)
{
    TResult result;
    QNetworkReply* reply = m_manager->get(MakeRequest(QUrl(address, QUrl::TolerantMode), m_referer,
                                                      QNetworkRequest::NoLessSafeRedirectPolicy));
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished()) {
        reply->abort();
        result.error = QStringLiteral("no answer within %1 s").arg(timeoutMs / 1000);
    } else {
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.body = reply->readAll();
        result.contentType = QString::fromLatin1(reply->rawHeader("Content-Type"));
        if (reply->error() != QNetworkReply::NoError)
            result.error = reply->errorString();
    }
    reply->deleteLater();
    return result;
}
