#include "crawl/image_info.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Builds picture bytes by hand in either byte order.
class TByteWriter final {
public:
    explicit TByteWriter(bool bigEndian = false) : m_bigEndian(bigEndian) {}
    TByteWriter& U8(unsigned v)
    {
        Bytes.push_back(static_cast<char>(v & 0xFF));
        return *this;
    }
    TByteWriter& U16(unsigned v) { return m_bigEndian ? U8(v >> 8).U8(v) : U8(v).U8(v >> 8); }
    TByteWriter& U32(std::uint32_t v) { return m_bigEndian ? U16(v >> 16).U16(v) : U16(v).U16(v >> 16); }
    TByteWriter& Text(std::string_view text)
    {
        Bytes.append(text);
        return *this;
    }
    TByteWriter& Fill(std::size_t count, char c)
    {
        Bytes.append(count, c);
        return *this;
    }
    std::string Bytes;

private:
    bool m_bigEndian;
};

TDCImageInfo Read(std::string_view data)
{
    TDCImageInfo info;
    info.ReadInfo(data);
    return info;
}

#define EXPECT_NOTHING(info)                                                                                           \
    do {                                                                                                               \
        EXPECT_EQ((info).ImageType, itNone);                                                                           \
        EXPECT_EQ((info).Width, 0);                                                                                    \
        EXPECT_EQ((info).Height, 0);                                                                                   \
        EXPECT_EQ((info).Depth, 0);                                                                                    \
    } while (false)

// A picture with some detail in it, so that the encoders have work to do.
QImage Picture(int width, int height, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7 + y) & 0xFF, (y * 5) & 0xFF, ((x ^ y) * 3) & 0xFF));
    return format == QImage::Format_RGB32 ? image : image.convertToFormat(format);
}

std::string Encode(const QImage& image, const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        ADD_FAILURE() << "cannot write " << format << ": " << writer.errorString().toStdString();
    return bytes.toStdString();
}

std::string Jpeg(const QImage& image, bool progressive = false)
{
    return Encode(image, "jpeg", progressive);
}

// FF marker, length, payload.
std::string Segment(unsigned marker, std::string_view payload)
{
    return TByteWriter(true).U8(0xFF).U8(marker).U16(static_cast<unsigned>(payload.size() + 2)).Text(payload).Bytes;
}

// Puts bytes right after the start-of-image marker.
std::string AfterStart(std::string jpeg, std::string_view bytes)
{
    return jpeg.insert(2, bytes);
}

// Where the frame header of an encoded JPEG lies (the first FF C0..C3).
std::size_t FrameHeaderAt(const std::string& jpeg)
{
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && (static_cast<unsigned char>(jpeg[i + 1]) & 0xFC) == 0xC0)
            return i;
    ADD_FAILURE() << "no frame header";
    return 0;
}

std::string WithFrameMarker(std::string jpeg, unsigned marker)
{
    jpeg[FrameHeaderAt(jpeg) + 1] = static_cast<char>(marker);
    return jpeg;
}

// An Exif segment of `size` payload bytes that ends with an embedded thumbnail
// JPEG of 16 x 12, as cameras write them.
std::string ExifWithThumbnail(std::size_t size)
{
    const std::string thumbnail = Jpeg(Picture(16, 12));
    std::string payload = std::string("Exif\0\0", 6);
    payload.append(size - payload.size() - thumbnail.size(), 'e');
    payload += thumbnail;
    return Segment(0xE1, payload);
}

// The first 26 bytes are what the reader looks at; the rest makes a whole header chunk.
std::string Png(std::uint32_t width, std::uint32_t height, unsigned bitDepth, unsigned colourType)
{
    return TByteWriter(true)
        .Text("\x89PNG\r\n\x1A\n")
        .U32(13)
        .Text("IHDR")
        .U32(width)
        .U32(height)
        .U8(bitDepth)
        .U8(colourType)
        .U8(0)
        .U8(0)
        .U8(0)
        .U32(0x12345678)
        .U32(0)
        .Text("IEND")
        .U32(0xAE426082)
        .Bytes;
}

std::string Gif(unsigned width, unsigned height, unsigned colourBits)
{
    TByteWriter w;
    w.Text("GIF89a").U16(width).U16(height).U8(0xF0 | (colourBits - 1)).U8(0).U8(0);
    for (unsigned i = 0; i < (3u << colourBits); ++i)
        w.U8(i * 13);
    // one image of the whole size, empty data
    w.Text(",").U16(0).U16(0).U16(width).U16(height).U8(0).U8(colourBits < 2 ? 2 : colourBits).U8(0).Text(";");
    return w.Bytes;
}

std::string Bmp(std::int32_t width, std::int32_t height, unsigned depth)
{
    return TByteWriter()
        .Text("BM")
        .U32(54)
        .U32(0)
        .U32(54)
        .U32(40)
        .U32(static_cast<std::uint32_t>(width))
        .U32(static_cast<std::uint32_t>(height))
        .U16(1)
        .U16(depth)
        .Fill(24, '\0')
        .Bytes;
}

std::string Pcx(unsigned xMin, unsigned yMin, unsigned xMax, unsigned yMax, unsigned bitsPerPixel, unsigned planes)
{
    TByteWriter w;
    w.U8(0x0A).U8(5).U8(1).U8(bitsPerPixel).U16(xMin).U16(yMin).U16(xMax).U16(yMax).U16(72).U16(72);
    w.Fill(48, '\x11').U8(0).U8(planes).U16((xMax - xMin + 2) & ~1u).U16(1).Fill(58, '\0');
    w.U8(0xC5).U8(0x20).U8(0xC5).U8(0x20);  // a few run-length coded pixels
    return w.Bytes;
}

struct TTiffField {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value;  // the value itself when it fits in the field, else its offset
};

// A TIFF whose directory follows `body` (which starts at offset 8); the directory
// offset and entry count may be given falsely.
std::string Tiff(bool bigEndian, const std::vector<TTiffField>& fields, std::string_view body = {},
                 std::int64_t ifdOffset = -1, int entryCount = -1)
{
    TByteWriter w(bigEndian);
    w.Text(bigEndian ? std::string_view("MM\0\x2A", 4) : std::string_view("II\x2A\0", 4));
    w.U32(ifdOffset >= 0 ? static_cast<std::uint32_t>(ifdOffset) : static_cast<std::uint32_t>(8 + body.size()));
    w.Text(body);
    w.U16(entryCount >= 0 ? static_cast<unsigned>(entryCount) : static_cast<unsigned>(fields.size()));
    for (const TTiffField& f : fields) {
        w.U16(f.tag).U16(f.type).U32(f.count);
        if (f.type == 1 && f.count <= 4)
            w.U8(f.value).Fill(3, '\0');
        else if (f.type == 3 && f.count == 1)
            w.U16(f.value).U16(0);
        else if (f.type == 3 && f.count == 2)
            w.U16(f.value >> 16).U16(f.value);  // two shorts, given high one first
        else
            w.U32(f.value);
    }
    w.U32(0);  // no next directory
    return w.Bytes;
}

// An RGB TIFF laid out as writers commonly do: header, pixels, the bits per
// sample array, and the directory at the end.
std::string RgbTiff(bool bigEndian, std::uint32_t width, std::uint32_t height, unsigned dimensionType)
{
    const std::string pixels(240, '\x55');
    const std::uint32_t bitsAt = 8 + static_cast<std::uint32_t>(pixels.size());
    const std::string body = pixels + TByteWriter(bigEndian).U16(8).U16(8).U16(8).Bytes;
    return Tiff(bigEndian,
                {{256, static_cast<std::uint16_t>(dimensionType), 1, width},
                 {257, static_cast<std::uint16_t>(dimensionType), 1, height},
                 {258, 3, 3, bitsAt},
                 {259, 3, 1, 1},
                 {262, 3, 1, 2},
                 {273, 4, 1, 8},
                 {277, 3, 1, 3},
                 {278, 3, 1, height},
                 {279, 4, 1, static_cast<std::uint32_t>(pixels.size())}},
                body);
}

struct TSample {
    const char* name;
    std::function<std::string()> make;
    TImageType type;
    std::int32_t width;
    std::int32_t height;
    std::int32_t depth;
};

std::vector<TSample> Samples()
{
    return {
        {"PngRgb", [] { return Encode(Picture(37, 23), "png"); }, itPNG, 37, 23, 24},
        {"PngAlpha", [] { return Encode(Picture(20, 31, QImage::Format_ARGB32), "png"); }, itPNG, 20, 31, 32},
        {"PngGrey", [] { return Encode(Picture(9, 5, QImage::Format_Grayscale8), "png"); }, itPNG, 9, 5, 8},
        {"PngWide", [] { return Png(70000, 3, 8, 2); }, itPNG, 4464, 3, 24},
        {"JpegColour", [] { return Jpeg(Picture(640, 480)); }, itJPEG, 640, 480, 24},
        {"JpegGrey", [] { return Jpeg(Picture(640, 480, QImage::Format_Grayscale8)); }, itJPEG, 640, 480, 8},
        {"JpegProgressive", [] { return Jpeg(Picture(300, 200), true); }, itJPEG, 300, 200, 24},
        {"JpegAfterJunk",
         [] { return std::string(100, 'j') + Jpeg(Picture(120, 90)); }, itJPEG, 120, 90, 24},
        {"JpegBigExifFirst", [] { return AfterStart(Jpeg(Picture(200, 150)), ExifWithThumbnail(60000)); }, itJPEG,
         200, 150, 24},
        {"BmpRgb", [] { return Encode(Picture(33, 17), "bmp"); }, itBMP, 33, 17, 24},
        {"BmpIndexed", [] { return Encode(Picture(12, 40, QImage::Format_Indexed8), "bmp"); }, itBMP, 12, 40, 8},
        {"Gif", [] { return Gif(40, 30, 3); }, itGIF, 40, 30, 3},
        {"Pcx", [] { return Pcx(10, 20, 109, 69, 8, 3); }, itPCX, 100, 50, 24},
        {"TiffIntel", [] { return RgbTiff(false, 120, 80, 3); }, itTIFF, 120, 80, 24},
        {"TiffMotorola", [] { return RgbTiff(true, 70000, 90000, 4); }, itTIFF, 70000, 90000, 24},
    };
}

class ImageInfoSamples : public ::testing::TestWithParam<TSample> {};

TEST_P(ImageInfoSamples, GiveTheirFormatSizeAndDepth)
{
    const TSample& s = GetParam();
    const std::string data = s.make();
    const TDCImageInfo info = Read(data);
    EXPECT_EQ(info.ImageType, s.type);
    EXPECT_EQ(info.Width, s.width);
    EXPECT_EQ(info.Height, s.height);
    EXPECT_EQ(info.Depth, s.depth);
    EXPECT_EQ(info.StreamSize, static_cast<std::int32_t>(data.size()));
}

// The fetch worker asks while the picture is still arriving: a part of a picture
// must give nothing or the whole answer, never a wrong one, and each part sits
// in a buffer of exactly its size so that a read past it is caught.
TEST_P(ImageInfoSamples, EveryPrefixGivesNothingOrTheRightAnswer)
{
    const TSample& s = GetParam();
    const std::string data = s.make();
    TDCImageInfo info;
    std::size_t firstKnown = data.size() + 1;
    for (std::size_t n = 0; n <= data.size(); ++n) {
        const std::unique_ptr<char[]> part(new char[n]);
        std::memcpy(part.get(), data.data(), n);
        info.ReadInfo(std::string_view(part.get(), n));
        ASSERT_EQ(info.StreamSize, static_cast<std::int32_t>(n));
        if (info.ImageType == itNone) {
            ASSERT_EQ(info.Width, 0) << n;
            ASSERT_EQ(info.Height, 0) << n;
            ASSERT_EQ(info.Depth, 0) << n;
            // more data never takes an answer away again
            ASSERT_GT(firstKnown, n) << "lost the answer at " << n;
        } else {
            ASSERT_EQ(info.ImageType, s.type) << n;
            ASSERT_EQ(info.Width, s.width) << n;
            ASSERT_EQ(info.Height, s.height) << n;
            ASSERT_EQ(info.Depth, s.depth) << n;
            firstKnown = std::min(firstKnown, n);
        }
    }
    EXPECT_LE(firstKnown, data.size());
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ImageInfoSamples, ::testing::ValuesIn(Samples()),
                         [](const ::testing::TestParamInfo<TSample>& p) { return std::string(p.param.name); });

TEST(ImageInfoPng, DepthFollowsTheColourType)
{
    struct TCase {
        unsigned colourType;
        unsigned bitDepth;
        TImageType type;
        std::int32_t depth;
    } cases[] = {{0, 1, itPNG, 1},  {0, 16, itPNG, 16}, {2, 8, itPNG, 24}, {2, 16, itPNG, 48},
                 {3, 1, itPNG, 8},  {3, 4, itPNG, 8},   {3, 8, itPNG, 8},  {4, 8, itPNG, 16},
                 {4, 16, itPNG, 32}, {6, 8, itPNG, 32}, {6, 16, itPNG, 64}, {1, 8, itNone, 0},
                 {5, 8, itNone, 0}, {7, 8, itNone, 0},  {255, 8, itNone, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "colour type " << c.colourType << ", bit depth " << c.bitDepth);
        const TDCImageInfo info = Read(Png(321, 123, c.bitDepth, c.colourType));
        EXPECT_EQ(info.ImageType, c.type);
        EXPECT_EQ(info.Depth, c.depth);
        EXPECT_EQ(info.Width, c.type == itNone ? 0 : 321);
        EXPECT_EQ(info.Height, c.type == itNone ? 0 : 123);
    }
}

TEST(ImageInfoPng, ARefusedPngIsStillScannedForAJpeg)
{
    const std::string data = Png(321, 123, 8, 5) + Jpeg(Picture(48, 32));
    const TDCImageInfo info = Read(data);
    EXPECT_EQ(info.ImageType, itJPEG);
    EXPECT_EQ(info.Width, 48);
    EXPECT_EQ(info.Height, 32);
}

// PNG and BMP sizes are read as the low halves of their 32-bit fields.
TEST(ImageInfoLowHalves, SizesComeOutModulo65536)
{
    struct TCase {
        std::uint32_t stored;
        std::int32_t read;
    } cases[] = {{1, 1}, {65535, 65535}, {65536, 0}, {70000, 4464}, {131071, 65535}, {0x12345678, 0x5678}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.stored);
        const TDCImageInfo png = Read(Png(c.stored, 0x10000u + 77, 8, 6));
        EXPECT_EQ(png.ImageType, itPNG);
        EXPECT_EQ(png.Width, c.read);
        EXPECT_EQ(png.Height, 77);
        const TDCImageInfo tall = Read(Png(5, c.stored, 8, 6));
        EXPECT_EQ(tall.Height, c.read);
        const TDCImageInfo bmp = Read(Bmp(static_cast<std::int32_t>(c.stored), 0x10000 + 9, 24));
        EXPECT_EQ(bmp.ImageType, itBMP);
        EXPECT_EQ(bmp.Width, c.read);
        EXPECT_EQ(bmp.Height, 9);
        EXPECT_EQ(bmp.Depth, 24);
    }
}

TEST(ImageInfoJpeg, FrameHeaderBeyondTheReceivedBytesGivesNothingUntilTheDataIsComplete)
{
    const std::string base = Jpeg(Picture(640, 480));
    const std::string exif = ExifWithThumbnail(60000);
    const std::string jpeg = AfterStart(base, exif);
    ASSERT_GT(FrameHeaderAt(base) + exif.size(), 60000u);
    TDCImageInfo info;
    info.ReadInfo(std::string_view(jpeg).substr(0, 1024));
    EXPECT_NOTHING(info);
    EXPECT_EQ(info.StreamSize, 1024);
    info.ReadInfo(jpeg);
    EXPECT_EQ(info.ImageType, itJPEG);
    EXPECT_EQ(info.Width, 640);
    EXPECT_EQ(info.Height, 480);
    EXPECT_EQ(info.Depth, 24);
}

TEST(ImageInfoJpeg, MarkerWalk)
{
    const std::string base = Jpeg(Picture(64, 48));
    const std::string start = "\xFF\xD8";
    struct TCase {
        const char* what;
        std::string data;
        bool found;
    } cases[] = {
        {"extended frame C1", WithFrameMarker(base, 0xC1), true},
        {"progressive frame C2", WithFrameMarker(base, 0xC2), true},
        {"lossless frame C3", WithFrameMarker(base, 0xC3), true},
        {"arithmetic coding C9", WithFrameMarker(base, 0xC9), false},
        {"hierarchical C5", WithFrameMarker(base, 0xC5), false},
        // the thumbnail's own frame header is inside the segment, and its last
        // bytes FF D9 look like a marker: both are stepped over with the segment
        {"Exif thumbnail", AfterStart(base, ExifWithThumbnail(3000)), true},
        {"segment ending like a frame marker", AfterStart(base, Segment(0xEC, "Ducky\xFF\xC0")), true},
        {"fill bytes", AfterStart(base, "\xFF\xFF\xFF"), true},
        {"marker without length", AfterStart(base, "\xFF\x01\xFF\xD0"), true},
        {"segment length 0", AfterStart(base, std::string("\xFF\xE1\x00\x00", 4)), false},
        {"segment length 1", AfterStart(base, std::string("\xFF\xE1\x00\x01", 4)), false},
        {"segment longer than the data", start + "\xFF\xE1\xFF\xFF" + std::string(1000, 'x'), false},
        {"scan before any frame header", start + Segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6)) +
                                             "coded" + base.substr(FrameHeaderAt(base)),
         false},
        {"end of image before any frame header", start + "\xFF\xD9" + base.substr(FrameHeaderAt(base)), false},
        {"frame header cut short", base.substr(0, FrameHeaderAt(base) + 9), false},
        {"no start of image", base.substr(2), false},
        {"start of image at the very end", std::string(50, 'j') + "\xFF\xD8\xFF", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TDCImageInfo info = Read(c.data);
        if (c.found) {
            EXPECT_EQ(info.ImageType, itJPEG);
            EXPECT_EQ(info.Width, 64);
            EXPECT_EQ(info.Height, 48);
            EXPECT_EQ(info.Depth, 24);
        } else {
            EXPECT_NOTHING(info);
        }
    }
}

TEST(ImageInfoJpeg, ProgressiveSampleReallyIsProgressive)
{
    const std::string jpeg = Jpeg(Picture(300, 200), true);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[FrameHeaderAt(jpeg) + 1]), 0xC2);
}

TEST(ImageInfoTiff, DirectoryEntries)
{
    const std::vector<TTiffField> grey = {{256, 3, 1, 50}, {257, 3, 1, 40}, {258, 3, 1, 8}};
    struct TCase {
        const char* what;
        std::string data;
        std::int32_t width;  // 0: refused
        std::int32_t height;
        std::int32_t depth;
    } cases[] = {
        {"grey, Intel", Tiff(false, grey), 50, 40, 8},
        {"grey, Motorola", Tiff(true, grey), 50, 40, 8},
        {"byte and long values", Tiff(true, {{256, 1, 1, 200}, {257, 4, 1, 100000}, {258, 1, 1, 4}}), 200, 100000, 4},
        {"two samples in the field", Tiff(true, {{256, 3, 1, 7}, {257, 3, 1, 9}, {258, 3, 2, 0x00100010}}), 7, 9, 32},
        {"later entry wins", Tiff(false, {{256, 3, 1, 7}, {257, 3, 1, 9}, {256, 3, 1, 11}}), 11, 9, 1},
        {"no bits per sample: bilevel", Tiff(false, {{256, 3, 1, 640}, {257, 3, 1, 480}}), 640, 480, 1},
        {"bits per sample of another type", Tiff(false, {{256, 3, 1, 6}, {257, 3, 1, 6}, {258, 5, 1, 8}}), 0, 0, 0},
        {"width missing", Tiff(false, {{257, 3, 1, 6}, {258, 3, 1, 8}}), 0, 0, 0},
        {"width of a rational", Tiff(false, {{256, 5, 1, 8}, {257, 3, 1, 6}}), 0, 0, 0},
        {"width past 2^31", Tiff(false, {{256, 4, 1, 0x80000000u}, {257, 3, 1, 6}}), 0, 0, 0},
        {"samples beyond the data", Tiff(false, {{256, 3, 1, 6}, {257, 3, 1, 6}, {258, 3, 3, 4000}}), 0, 0, 0},
        {"samples at an offset near 2^32", Tiff(false, {{256, 3, 1, 6}, {257, 3, 1, 6}, {258, 3, 3, 0xFFFFFFFEu}}), 0,
         0, 0},
        {"samples counted in billions", Tiff(false, {{256, 3, 1, 6}, {257, 3, 1, 6}, {258, 3, 0xFFFFFFFFu, 8}}), 0, 0,
         0},
        {"directory near 2^32", Tiff(false, grey, {}, 0xFFFFFFF0u), 0, 0, 0},
        {"directory at 2^32 - 1", Tiff(true, grey, {}, 0xFFFFFFFFu), 0, 0, 0},
        {"directory inside the header", Tiff(false, grey, {}, 2), 0, 0, 0},
        {"more entries than the data holds", Tiff(false, grey, {}, -1, 65535), 0, 0, 0},
        {"no entries", Tiff(false, grey, {}, -1, 0), 0, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TDCImageInfo info = Read(c.data);
        if (c.width == 0) {
            EXPECT_NOTHING(info);
        } else {
            EXPECT_EQ(info.ImageType, itTIFF);
            EXPECT_EQ(info.Width, c.width);
            EXPECT_EQ(info.Height, c.height);
            EXPECT_EQ(info.Depth, c.depth);
        }
    }
}

TEST(ImageInfoSignatures, ShortAndBrokenHeaders)
{
    struct TCase {
        const char* what;
        std::string data;
        TImageType type;
        std::int32_t width;
        std::int32_t height;
        std::int32_t depth;
    } cases[] = {
        {"empty", "", itNone, 0, 0, 0},
        {"two bytes", "\xFF\xD8", itNone, 0, 0, 0},
        {"only GIF", "GIF", itNone, 0, 0, 0},
        {"GIF cut before its flags", Gif(40, 30, 3).substr(0, 10), itNone, 0, 0, 0},
        {"GIF of two colours", Gif(4, 3, 1), itGIF, 4, 3, 1},
        {"BMP cut before its depth", Bmp(10, 10, 24).substr(0, 28), itNone, 0, 0, 0},
        {"PCX of one pixel", Pcx(5, 5, 5, 5, 1, 1), itPCX, 1, 1, 1},
        {"PCX whose window ends before it starts", Pcx(100, 0, 10, 10, 8, 1), itNone, 0, 0, 0},
        {"PCX cut before its planes", Pcx(0, 0, 9, 9, 8, 1).substr(0, 65), itNone, 0, 0, 0},
        {"Motorola mark cut to three bytes", std::string("MM\0", 3), itNone, 0, 0, 0},
        {"text", "<html><body>Not found</body></html>", itNone, 0, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TDCImageInfo info = Read(c.data);
        EXPECT_EQ(info.ImageType, c.type);
        EXPECT_EQ(info.Width, c.width);
        EXPECT_EQ(info.Height, c.height);
        EXPECT_EQ(info.Depth, c.depth);
        EXPECT_EQ(info.StreamSize, static_cast<std::int32_t>(c.data.size()));
    }
}

TEST(ImageInfoSignatures, AReaderUsedAgainKeepsNothingOfTheLastPicture)
{
    TDCImageInfo info;
    info.ReadInfo(Jpeg(Picture(64, 48)));
    ASSERT_EQ(info.ImageType, itJPEG);
    info.ReadInfo("GIF");
    EXPECT_NOTHING(info);
    EXPECT_EQ(info.StreamSize, 3);
    info.ReadInfo(Gif(40, 30, 3));
    ASSERT_EQ(info.ImageType, itGIF);
    info.ResetInfo();
    EXPECT_NOTHING(info);
}

} // namespace
