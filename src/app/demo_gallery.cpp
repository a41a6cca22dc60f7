#include "app/demo_gallery.h"

#include "app/headless_crawl.h"
#include "app/new_project.h"
#include "crawl/address.h"
#include "project/project.h"
#include "project/project_list.h"
#include "settings/app_settings.h"
#include "settings/text_convert.h"

#include <QBuffer>
#include <QColor>
#include <QHostAddress>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <random>

namespace {

constexpr char kTitle[] = "Demo Gallery";

// A picture with some life in it: a gradient, discs and noise. More noise makes
// a bigger file at the same size in pixels.
QByteArray MakeJpeg(int width, int height, int quality, int noise, unsigned seed)
{
    std::mt19937 random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    const QColor from = QColor::fromHsv(static_cast<int>(random() % 360), 160, 230);
    const QColor to = QColor::fromHsv(static_cast<int>(random() % 360), 200, 90);
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double t = (static_cast<double>(x) / width + static_cast<double>(y) / height) / 2;
            auto mix = [&](int a, int b) {
                const int n = noise > 0 ? static_cast<int>(random() % (2 * noise + 1)) - noise : 0;
                return std::clamp(static_cast<int>(a + (b - a) * t) + n, 0, 255);
            };
            line[x] = qRgb(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()));
        }
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        painter.setBrush(QColor::fromHsv(static_cast<int>(random() % 360), 180, 220, 150));
        const int r = 10 + static_cast<int>(random() % static_cast<unsigned>(std::max(11, std::min(width, height) / 3)));
        painter.drawEllipse(QPoint(static_cast<int>(random() % static_cast<unsigned>(width)),
                                   static_cast<int>(random() % static_cast<unsigned>(height))),
                            r, r);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

QByteArray MakePng()
{
    QImage image(120, 80, QImage::Format_ARGB32);
    image.fill(QColor(30, 90, 160));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The smallest GIF: one transparent pixel.
QByteArray MakeGif()
{
    static const unsigned char kGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00,
                                         0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00,
                                         0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02,
                                         0x44, 0x01, 0x00, 0x3B};
    return QByteArray(reinterpret_cast<const char*>(kGif), sizeof kGif);
}

QByteArray Page(const QString& title, const QString& body)
{
    return (QStringLiteral("<html><head><title>%1</title></head>\n<body>\n<h1>%1</h1>\n").arg(title) + body
            + QStringLiteral("\n</body></html>\n"))
        .toUtf8();
}

const QHash<int, QByteArray>& Reasons()
{
    static const QHash<int, QByteArray> reasons{{200, "OK"}, {302, "Found"}, {404, "Not Found"}};
    return reasons;
}

} // namespace

TDemoGallery::TDemoGallery() : m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TDemoGallery::OnConnection);
    Build();
}

TDemoGallery::~TDemoGallery() = default;

bool TDemoGallery::Listen(quint16 preferredPort)
{
    if (preferredPort != 0 && m_server->listen(QHostAddress::LocalHost, preferredPort))
        return true;
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 TDemoGallery::Port() const
{
    return m_server->serverPort();
}

QString TDemoGallery::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(path);
}

void TDemoGallery::Build()
{
    auto html = [](const QByteArray& body) { return TPage{200, "text/html; charset=utf-8", body, {}}; };
    auto jpeg = [](const QByteArray& body) { return TPage{200, "image/jpeg", body, {}}; };

    struct TPicture {
        int width;
        int height;
        int quality;
        int noise;
        bool kept;
    };
    // most within the default bounds (320 x 200 pixels, 20 to 500 Kb)
    const TPicture good[] = {{800, 600, 85, 24, true}, {640, 480, 88, 30, true}, {1024, 768, 80, 16, true},
                             {720, 540, 90, 20, true}, {600, 400, 92, 28, true}};
    const TPicture tooFewPixels{240, 180, 97, 60, false};  // big enough in bytes, too small in pixels
    const TPicture tooFewBytes{400, 300, 35, 0, false};
    const TPicture tooManyBytes{1600, 1200, 97, 70, false};

    QString catalogue = QStringLiteral("<p>Pictures harvested by Fotoloom from a site of its own.</p>\n<ul>\n");
    unsigned seed = 1;
    for (int g = 1; g <= 4; ++g) {
        std::vector<TPicture> pictures(std::begin(good), std::end(good));
        if (g == 2)
            pictures.back() = tooFewPixels;
        if (g == 3) {
            pictures[3] = tooFewBytes;
            pictures[4] = tooManyBytes;
        }
        const QString folder = QStringLiteral("/gallery%1/").arg(g);
        QString body = QStringLiteral("<p><a href=\"../\">Back to the catalogue</a></p>\n<table>\n");
        for (std::size_t k = 0; k < pictures.size(); ++k) {
            const TPicture& p = pictures[k];
            const QString name = QStringLiteral("%1-%2.jpg").arg(g).arg(k + 1);
            m_pages.insert(folder + QStringLiteral("photos/") + name, jpeg(MakeJpeg(p.width, p.height, p.quality, p.noise, seed++)));
            m_pages.insert(folder + QStringLiteral("thumbs/") + name, jpeg(MakeJpeg(120, 90, 60, 0, seed++)));
            m_kept += p.kept ? 1 : 0;
            body += QStringLiteral("<tr><td><a href=\"photos/%1\"><img src=\"thumbs/%1\" width=120 height=90></a></td>"
                                   "<td>Picture %2 (%3 x %4)</td></tr>\n")
                        .arg(name)
                        .arg(k + 1)
                        .arg(p.width)
                        .arg(p.height);
        }
        body += QStringLiteral("</table>\n");
        if (g == 4) {
            // a GIF and a PNG: refused by their extensions, or by their content type
            body += QStringLiteral("<p><img src=\"banner.gif\"> <img src=\"logo.png\">"
                                   " <a href=\"animation?id=7\">animation</a> <a href=\"diagram?id=8\">diagram</a></p>\n");
            m_pages.insert(folder + QStringLiteral("banner.gif"), TPage{200, "image/gif", MakeGif(), {}});
            m_pages.insert(folder + QStringLiteral("logo.png"), TPage{200, "image/png", MakePng(), {}});
            m_pages.insert(folder + QStringLiteral("animation?id=7"), TPage{200, "image/gif", MakeGif(), {}});
            m_pages.insert(folder + QStringLiteral("diagram?id=8"), TPage{200, "image/png", MakePng(), {}});
        }
        m_pages.insert(folder, html(Page(QStringLiteral("Gallery %1").arg(g), body)));
        if (g < 4)
            catalogue += QStringLiteral("<li><a href=\"gallery%1/\">Gallery %1</a></li>\n").arg(g);
    }
    // the newest gallery is reached through a redirect; one link is broken
    catalogue += QStringLiteral("<li><a href=\"latest/\">The latest gallery</a></li>\n"
                                "<li><a href=\"gallery5/\">A gallery that is gone</a></li>\n"
                                "<li><a href=\"about.html\">About this site</a></li>\n</ul>\n");
    m_pages.insert(QStringLiteral("/"), html(Page(QString::fromLatin1(kTitle), catalogue)));
    m_pages.insert(QStringLiteral("/latest/"), TPage{302, "text/html", "<a href=\"/gallery4/\">moved</a>", "/gallery4/"});
    m_pages.insert(QStringLiteral("/about.html"),
                   html(Page(QStringLiteral("About"), QStringLiteral("<p>A demonstration site. <a href=\"/\">Home</a></p>"))));
}

void TDemoGallery::OnConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TDemoGallery::Serve(QTcpSocket* socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    while (true) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            break;
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        const QList<QByteArray> words = head.left(head.indexOf("\r\n") < 0 ? head.size() : head.indexOf("\r\n")).split(' ');
        const QString path = words.size() >= 2 ? QString::fromLatin1(words[1]) : QString();
        const bool close = head.toLower().contains("\r\nconnection: close");
        const auto found = m_pages.constFind(path);
        const TPage page = found != m_pages.constEnd()
            ? *found
            : TPage{404, "text/html", Page(QStringLiteral("Not Found"), QStringLiteral("<p>No such page.</p>")), {}};
        QByteArray response = "HTTP/1.1 " + QByteArray::number(page.status) + " " + Reasons().value(page.status, "Status")
            + "\r\nContent-Type: " + page.contentType + "\r\nContent-Length: " + QByteArray::number(page.body.size()) + "\r\n";
        if (!page.location.isEmpty())
            response += "Location: " + page.location + "\r\n";
        response += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
        socket->write(response + page.body);
        if (close) {
            socket->disconnectFromHost();
            return;
        }
    }
    socket->setProperty("buffer", buffer);
}

int RunDemo(bool eager)
{
    TDemoGallery site;
    // a demo project made before is crawled on where it stopped, on its own port
    TProjectList list;
    list.LoadProjects();
    std::string reuse;
    quint16 port = 0;
    for (int i = 0; i < list.Count(); ++i) {
        TProject* p = list.ProjectAt(i);
        TAddressParts parts;
        if (GetString(p->Options(), "Title") == kTitle && SplitAddress(GetString(p->Options(), "URL"), parts)
            && parts.host == "127.0.0.1") {
            reuse = p->GetDiskName();
            port = parts.port;
            break;
        }
    }
    if (!site.Listen(port)) {
        std::fprintf(stderr, "fotoloom: cannot listen on 127.0.0.1 for the demo site\n");
        return 1;
    }
    TProject loaded;
    std::unique_ptr<TProject> made;
    TProject* project = nullptr;
    if (!reuse.empty() && site.Port() == port && loaded.Load(reuse)) {
        project = &loaded;
    } else {
        if (!reuse.empty()) {
            // its port is taken now: its addresses would lead nowhere
            TProject old;
            if (old.LoadInfo(reuse))
                old.DeleteFiles();
        }
        TNewRequest request;
        request.url = site.Url();
        request.title = QString::fromLatin1(kTitle);
        request.category = QStringLiteral("Photo Art");
        QString error;
        made = MakeNewProject(request, &error);
        if (!made) {
            std::fprintf(stderr, "fotoloom: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        project = made.get();
    }
    std::fprintf(stderr, "Demo site on %s: %d pictures to keep among %d addresses\n", site.Url().toLocal8Bit().constData(),
                 site.KeptPictures(), static_cast<int>(site.Pages().size()));
    return RunHeadlessCrawl(*project, eager);
}
