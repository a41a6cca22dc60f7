// A gallery site for the crawl benchmarks: a catalogue page linking the galleries,
// each gallery page linking its pictures, served on 127.0.0.1 by the local HTTP test
// server with the latency and per-connection throttle asked for.
//
// Prints "port=N" once it listens, serves until its standard input closes or it gets
// SIGTERM or SIGINT, then prints one line of counters as key=value pairs: what was
// requested and how many body and wire bytes the sockets really took.
//
// Every picture is a real JPEG of one size in bytes: a drawn picture (640x480, or
// 200x150 for the narrow ones) padded with comment segments placed after its frame
// header, so that its dimensions stand in its first bytes as in a camera's file. The
// padding carries the picture's number, so no two pictures have the same bytes.

#include "support/http_test_server.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <random>
#include <vector>

#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// A smooth picture with a few discs: small as a JPEG, so that padding sets its size.
QByteArray DrawJpeg(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    const QColor from = QColor::fromHsv(static_cast<int>(random() % 360), 150, 230);
    const QColor to = QColor::fromHsv(static_cast<int>(random() % 360), 200, 80);
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double t = (static_cast<double>(x) / width + static_cast<double>(y) / height) / 2;
            auto mix = [t](int a, int b) { return static_cast<int>(a + (b - a) * t); };
            line[x] = qRgb(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()));
        }
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        painter.setBrush(QColor::fromHsv(static_cast<int>(random() % 360), 180, 220, 160));
        const int r = 8 + static_cast<int>(random() % static_cast<unsigned>(std::max(9, std::min(width, height) / 4)));
        painter.drawEllipse(QPoint(static_cast<int>(random() % static_cast<unsigned>(width)),
                                   static_cast<int>(random() % static_cast<unsigned>(height))),
                            r, r);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(80);
    writer.write(image);
    return bytes;
}

// The offset just past the frame header (SOF0..SOF3) of a JPEG; -1 when there is none.
qsizetype EndOfFrameHeader(const QByteArray& jpeg)
{
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(jpeg.at(i)); };
    qsizetype q = 2;
    while (q + 4 <= jpeg.size()) {
        if (at(q) != 0xFF)
            return -1;
        const unsigned marker = at(q + 1);
        const qsizetype length = (at(q + 2) << 8) | at(q + 3);
        if (marker == 0xDA || marker == 0xD9)
            return -1;
        if (marker >= 0xC0 && marker <= 0xC3)
            return q + 2 + length;
        q += 2 + length;
    }
    return -1;
}

// The JPEG padded to exactly size bytes with comment segments after its frame header;
// empty when it is already too big for that.
QByteArray PadJpeg(const QByteArray& jpeg, qsizetype size, int number)
{
    const qsizetype insertAt = EndOfFrameHeader(jpeg);
    qsizetype left = size - jpeg.size();
    if (insertAt < 0 || left < 64)
        return {};
    const QByteArray stamp = "Fotoloom crawl bench picture " + QByteArray::number(number) + ' ';
    QByteArray comments;
    comments.reserve(left);
    while (left > 0) {
        qsizetype segment = std::min<qsizetype>(left, 2 + 65535);
        if (left - segment > 0 && left - segment < 4)
            segment -= 4;  // keep room for one more whole segment
        const qsizetype payload = segment - 4;
        comments += '\xFF';
        comments += '\xFE';
        comments += static_cast<char>(((payload + 2) >> 8) & 0xFF);
        comments += static_cast<char>((payload + 2) & 0xFF);
        QByteArray text;
        text.reserve(payload);
        while (text.size() < payload)
            text += stamp;
        comments += text.left(payload);
        left -= segment;
    }
    return jpeg.left(insertAt) + comments + jpeg.mid(insertAt);
}

QByteArray Page(const QByteArray& title, const QByteArray& body)
{
    return "<html><head><title>" + title + "</title></head>\n<body>\n<h1>" + title + "</h1>\n" + body
        + "</body></html>\n";
}

struct TOptions {
    int galleries = 10;
    int pictures = 20;
    int kb = 70;
    double narrow = 0;
    int latencyMs = 100;
    qint64 throttle = 0;
    QString manifest;
    QString log;
};

bool ReadOptions(const QStringList& arguments, TOptions& options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves a gallery site on 127.0.0.1 for the crawl benchmarks."));
    parser.addHelpOption();
    const QCommandLineOption galleries(QStringLiteral("galleries"), QStringLiteral("galleries on the catalogue (10)"),
                                       QStringLiteral("G"), QStringLiteral("10"));
    const QCommandLineOption pictures(QStringLiteral("pictures"), QStringLiteral("pictures per gallery (20)"),
                                      QStringLiteral("P"), QStringLiteral("20"));
    const QCommandLineOption kb(QStringLiteral("kb"), QStringLiteral("size of every picture in KB (70)"),
                                QStringLiteral("KB"), QStringLiteral("70"));
    const QCommandLineOption narrow(QStringLiteral("narrow"),
                                    QStringLiteral("fraction of pictures 200x150 pixels instead of 640x480 (0)"),
                                    QStringLiteral("F"), QStringLiteral("0"));
    const QCommandLineOption latency(QStringLiteral("latency"), QStringLiteral("delay before every answer, ms (100)"),
                                     QStringLiteral("MS"), QStringLiteral("100"));
    const QCommandLineOption throttle(QStringLiteral("throttle"),
                                      QStringLiteral("bytes per second per connection, 0 for none (0)"),
                                      QStringLiteral("BPS"), QStringLiteral("0"));
    const QCommandLineOption manifest(QStringLiteral("manifest"),
                                      QStringLiteral("write one line per picture: md5, size, wide|narrow, path"),
                                      QStringLiteral("FILE"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("write one line per request at the end: arrival ms, connection, target"),
                                 QStringLiteral("FILE"));
    parser.addOptions({galleries, pictures, kb, narrow, latency, throttle, manifest, log});
    parser.process(arguments);
    bool ok[6] = {};
    options.galleries = parser.value(galleries).toInt(&ok[0]);
    options.pictures = parser.value(pictures).toInt(&ok[1]);
    options.kb = parser.value(kb).toInt(&ok[2]);
    options.narrow = parser.value(narrow).toDouble(&ok[3]);
    options.latencyMs = parser.value(latency).toInt(&ok[4]);
    options.throttle = parser.value(throttle).toLongLong(&ok[5]);
    options.manifest = parser.value(manifest);
    options.log = parser.value(log);
    if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }) || options.galleries < 1
        || options.pictures < 1 || options.kb < 8 || options.kb > 4096 || options.narrow < 0 || options.narrow > 1
        || options.latencyMs < 0 || options.throttle < 0) {
        std::fprintf(stderr, "crawl_site: bad option value (see --help)\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TOptions options;
    if (!ReadOptions(QCoreApplication::arguments(), options))
        return 2;

    // a few drawn pictures of each kind, each padded per picture to the same byte size
    const qsizetype size = static_cast<qsizetype>(options.kb) * 1024;
    std::vector<QByteArray> wideBases;
    std::vector<QByteArray> narrowBases;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        wideBases.push_back(DrawJpeg(640, 480, seed));
        narrowBases.push_back(DrawJpeg(200, 150, 100 + seed));
    }

    THttpTestServer server(false);
    server.SetLatency(options.latencyMs);
    server.SetThrottle(options.throttle);

    QFile manifest(options.manifest);
    if (!options.manifest.isEmpty() && !manifest.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "crawl_site: cannot write %s\n", qPrintable(options.manifest));
        return 1;
    }
    QByteArray catalogue = "<ul>\n";
    int number = 0;
    int narrowCount = 0;
    std::vector<QByteArray> picturePaths;
    for (int g = 1; g <= options.galleries; ++g) {
        const QByteArray gallery = "/gallery/" + QByteArray::number(g) + ".html";
        catalogue += "<li><a href=\"" + gallery + "\">Gallery " + QByteArray::number(g) + "</a></li>\n";
        QByteArray links = "<ul>\n";
        for (int p = 1; p <= options.pictures; ++p, ++number) {
            // narrow pictures spread evenly: picture i is narrow when floor((i+1)f) > floor(i f)
            const bool isNarrow = static_cast<long>((number + 1) * options.narrow) > static_cast<long>(number * options.narrow);
            const std::vector<QByteArray>& bases = isNarrow ? narrowBases : wideBases;
            const QByteArray jpeg = PadJpeg(bases[static_cast<std::size_t>(number) % bases.size()], size, number + 1);
            if (jpeg.isEmpty()) {
                std::fprintf(stderr, "crawl_site: %d KB is too small for a %s picture\n", options.kb,
                             isNarrow ? "narrow" : "wide");
                return 1;
            }
            if (number < 8) {
                const QImage check = QImage::fromData(jpeg, "JPEG");
                if (check.width() != (isNarrow ? 200 : 640)) {
                    std::fprintf(stderr, "crawl_site: a padded picture does not decode\n");
                    return 1;
                }
            }
            narrowCount += isNarrow ? 1 : 0;
            const QByteArray path = "/photos/" + QByteArray::number(number + 1) + ".jpg";
            picturePaths.push_back(path);
            links += "<li><a href=\"" + path + "\">Picture " + QByteArray::number(number + 1) + "</a></li>\n";
            server.SetRoute(path, THttpTestResponse::Content("image/jpeg", jpeg));
            if (manifest.isOpen())
                manifest.write(QCryptographicHash::hash(jpeg, QCryptographicHash::Md5).toHex() + ' '
                               + QByteArray::number(jpeg.size()) + ' ' + (isNarrow ? "narrow " : "wide ") + path + '\n');
        }
        links += "</ul>\n";
        server.SetRoute(gallery, THttpTestResponse::Html(Page("Gallery " + QByteArray::number(g), links)));
    }
    catalogue += "</ul>\n";
    server.SetRoute("/", THttpTestResponse::Html(Page("Galleries", catalogue)));
    server.SetRoute("/index.html", THttpTestResponse::Html(Page("Galleries", catalogue)));
    manifest.close();

    if (!server.Start()) {
        std::fprintf(stderr, "crawl_site: cannot listen on 127.0.0.1\n");
        return 1;
    }

    if (::pipe(g_signalPipe) != 0) {
        std::perror("crawl_site: pipe");
        return 1;
    }
    QSocketNotifier stopSignal(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopSignal, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });

    std::printf("port=%u pictures=%d narrow=%d picture_bytes=%lld\n", server.Port(), number, narrowCount,
                static_cast<long long>(size));
    std::fflush(stdout);
    app.exec();
    server.Stop();

    // pages and pictures apart; the repeat requests of a picture are those after its first
    // (a crawler that reads a link's headers before fetching it as a picture asks twice)
    const QList<THttpTestRequest> requests = server.Requests();
    long pageRequests = 0;
    long pictureRequests = 0;
    long repeats = 0;
    qint64 first = -1;
    qint64 last = -1;
    qint64 repeatFirst = -1;
    qint64 repeatLast = -1;
    QHash<QByteArray, int> seen;
    QFile log(options.log);
    if (!options.log.isEmpty() && log.open(QIODevice::WriteOnly | QIODevice::Truncate))
        for (const THttpTestRequest& r : requests)
            log.write(QByteArray::number(r.arrivedMs) + ' ' + QByteArray::number(r.connection) + ' ' + r.target + '\n');
    log.close();
    qint64 pictureBytes = 0;
    for (const QByteArray& path : picturePaths)
        pictureBytes += server.BodyBytesWritten(path);
    for (const THttpTestRequest& r : requests) {
        if (first < 0)
            first = r.arrivedMs;
        last = r.arrivedMs;
        if (!r.Path().startsWith("/photos/")) {
            ++pageRequests;
            continue;
        }
        ++pictureRequests;
        if (seen[r.Path()]++ > 0) {
            ++repeats;
            if (repeatFirst < 0)
                repeatFirst = r.arrivedMs;
            repeatLast = r.arrivedMs;
        }
    }
    std::printf("requests=%lld page_requests=%ld picture_requests=%ld repeat_picture_requests=%ld "
                "body_bytes=%lld picture_body_bytes=%lld wire_bytes=%lld connections=%d "
                "first_request_ms=%lld last_request_ms=%lld repeat_first_ms=%lld repeat_last_ms=%lld\n",
                static_cast<long long>(requests.size()), pageRequests, pictureRequests, repeats,
                static_cast<long long>(server.BodyBytesWritten()), static_cast<long long>(pictureBytes),
                static_cast<long long>(server.WireBytesWritten()), server.ConnectionsAccepted(),
                static_cast<long long>(first), static_cast<long long>(last), static_cast<long long>(repeatFirst),
                static_cast<long long>(repeatLast));
    std::fflush(stdout);
    return 0;
}
