// Draws the interface pictures of the installation into a folder:
//   infopanel.png  the viewer's information panel (translucent)
//   frame.png      the frame template laid over pictures (transparent middle)
//   nopic.png      the thumbnail shown when a picture cannot be shown
//   viewer_bg.gif  the tiled background of the viewer and the thumbnail view
//   placeholder_thumbnail.jpg  a new project's thumbnail, 160 x 120
// Run by scripts/make-images.sh; the results are kept in images/.
#include <QColor>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>
#include <vector>

namespace {

bool Save(const QImage& image, const QString& path, const char* format, int quality = -1)
{
    if (!image.save(path, format, quality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// A landscape glyph: hills and a sun, as drawn on empty picture frames.
void DrawLandscape(QPainter& p, const QRectF& box, const QColor& ink)
{
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const qreal w = box.width();
    const qreal h = box.height();
    p.drawEllipse(QPointF(box.left() + w * 0.70, box.top() + h * 0.30), w * 0.08, w * 0.08);
    QPainterPath hills;
    hills.moveTo(box.left(), box.bottom());
    hills.lineTo(box.left() + w * 0.30, box.top() + h * 0.45);
    hills.lineTo(box.left() + w * 0.50, box.top() + h * 0.70);
    hills.lineTo(box.left() + w * 0.68, box.top() + h * 0.55);
    hills.lineTo(box.right(), box.bottom());
    hills.closeSubpath();
    p.drawPath(hills);
}

QImage Placeholder()
{
    QImage image(160, 120, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 120);
    sky.setColorAt(0, QColor(58, 74, 102));
    sky.setColorAt(1, QColor(24, 30, 44));
    p.fillRect(image.rect(), sky);
    p.setPen(QPen(QColor(120, 140, 170), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(40, 26, 80, 64), 6, 6);
    DrawLandscape(p, QRectF(46, 34, 68, 52), QColor(120, 140, 170));
    return image;
}

QImage NoPicture()
{
    QImage image(160, 120, QImage::Format_ARGB32);
    image.fill(QColor(40, 40, 40));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(110, 110, 110), 3));
    p.setBrush(Qt::NoBrush);
    const QRectF frame(45, 30, 70, 56);
    p.drawRoundedRect(frame, 5, 5);
    DrawLandscape(p, frame.adjusted(6, 6, -6, -6), QColor(90, 90, 90));
    p.setPen(QPen(QColor(170, 60, 60), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(40, 95), QPointF(120, 22));
    return image;
}

QImage InfoPanel()
{
    // the viewer writes its lines from (30, 40) and stacks its meter bars up to
    // column 348 and row 184
    QImage image(370, 200, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, 200);
    fill.setColorAt(0, QColor(30, 36, 48, 200));
    fill.setColorAt(1, QColor(10, 12, 18, 210));
    p.setBrush(fill);
    p.setPen(QPen(QColor(255, 255, 255, 90), 2));
    p.drawRoundedRect(QRectF(1, 1, 368, 198), 14, 14);
    p.setPen(QPen(QColor(255, 255, 255, 50), 1));
    p.drawLine(QPointF(20, 30), QPointF(318, 30));
    p.drawLine(QPointF(326, 14), QPointF(326, 188));
    return image;
}

QImage Frame()
{
    // corners in the quadrants, edges in the middle rows and columns
    QImage image(40, 40, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 160), 2));
    p.drawRect(QRectF(1, 1, 38, 38));
    p.setPen(QPen(QColor(235, 228, 210, 255), 5));
    p.drawRect(QRectF(4.5, 4.5, 31, 31));
    p.setPen(QPen(QColor(0, 0, 0, 90), 2));
    p.drawRect(QRectF(8, 8, 24, 24));
    return image;
}

// GIF writer: a 256-colour palette and an LZW stream that clears its table
// before every code would widen, so all codes stay 9 bits wide.
class TBitWriter {
public:
    void Put(unsigned code, int bits)
    {
        m_acc |= code << m_count;
        m_count += bits;
        while (m_count >= 8) {
            m_bytes.push_back(static_cast<unsigned char>(m_acc & 0xFF));
            m_acc >>= 8;
            m_count -= 8;
        }
    }
    std::vector<unsigned char> Finish()
    {
        if (m_count > 0)
            m_bytes.push_back(static_cast<unsigned char>(m_acc & 0xFF));
        return m_bytes;
    }

private:
    unsigned m_acc = 0;
    int m_count = 0;
    std::vector<unsigned char> m_bytes;
};

bool SaveGif(const QImage& source, const QString& path)
{
    const QImage image = source.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QByteArray out("GIF89a");
    auto le16 = [&](int v) {
        out.append(static_cast<char>(v & 0xFF));
        out.append(static_cast<char>((v >> 8) & 0xFF));
    };
    le16(image.width());
    le16(image.height());
    out.append(static_cast<char>(0xF7));  // global table of 256 colours, 8 bits
    out.append('\0');
    out.append('\0');
    QVector<QRgb> table = image.colorTable();
    table.resize(256);
    for (QRgb c : table) {
        out.append(static_cast<char>(qRed(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qBlue(c)));
    }
    out.append(',');
    le16(0);
    le16(0);
    le16(image.width());
    le16(image.height());
    out.append('\0');
    out.append(static_cast<char>(8));  // minimum code size
    TBitWriter bits;
    const unsigned clear = 256;
    const unsigned stop = 257;
    bits.Put(clear, 9);
    int sinceClear = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            bits.Put(image.pixelIndex(x, y), 9);
            if (++sinceClear == 254) {
                bits.Put(clear, 9);
                sinceClear = 0;
            }
        }
    bits.Put(stop, 9);
    const std::vector<unsigned char> data = bits.Finish();
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        out.append(static_cast<char>(n));
        out.append(reinterpret_cast<const char*>(data.data() + i), static_cast<qsizetype>(n));
    }
    out.append('\0');
    out.append(';');
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage ViewerBackground()
{
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            // a fine diagonal weave in dark greys
            const int band = ((x + y) / 4 + (x - y + 64) / 8) % 2;
            const int v = 22 + band * 6 + ((x * 7 + y * 13) % 5);
            image.setPixel(x, y, qRgb(v, v, v + 3));
        }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_images FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    bool ok = Save(InfoPanel(), folder + "infopanel.png", "PNG");
    ok = Save(Frame(), folder + "frame.png", "PNG") && ok;
    ok = Save(NoPicture().convertToFormat(QImage::Format_RGB32), folder + "nopic.png", "PNG") && ok;
    ok = SaveGif(ViewerBackground(), folder + "viewer_bg.gif") && ok;
    ok = Save(Placeholder(), folder + "placeholder_thumbnail.jpg", "JPEG", 75) && ok;
    return ok ? 0 : 1;
}
