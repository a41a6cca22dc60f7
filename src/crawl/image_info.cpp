#include "crawl/image_info.h"

#include <cstddef>
#include <limits>

namespace {

constexpr std::uint64_t kInt32Max = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
// more samples per pixel than any real picture has; bounds the work a hostile count causes
constexpr std::uint32_t kMaxTiffSamples = 1024;

// Bounds-checked reads at offsets from the start of the data. Offsets are 64-bit
// so that an offset taken from the data plus an index can never wrap round.
class TByteReader final {
public:
    TByteReader(std::string_view data, bool bigEndian) : m_data(data), m_bigEndian(bigEndian) {}

    bool U8(std::uint64_t at, std::uint32_t& value) const { return Read(at, 1, value); }
    bool U16(std::uint64_t at, std::uint32_t& value) const { return Read(at, 2, value); }
    bool U32(std::uint64_t at, std::uint32_t& value) const { return Read(at, 4, value); }
    bool Read(std::uint64_t at, unsigned size, std::uint32_t& value) const
    {
        if (at > m_data.size() || size > m_data.size() - at)
            return false;
        std::uint32_t result = 0;
        for (unsigned i = 0; i < size; ++i) {
            const std::uint32_t byte = static_cast<unsigned char>(m_data[static_cast<std::size_t>(at) + i]);
            result |= m_bigEndian ? byte << (8 * (size - 1 - i)) : byte << (8 * i);
        }
        value = result;
        return true;
    }

private:
    std::string_view m_data;
    bool m_bigEndian;
};

bool ReadPNG(const TByteReader& in, TDCImageInfo& info)
{
    info.ImageType = itPNG;
    std::uint32_t bitDepth = 0;
    std::uint32_t colourType = 0;
    if (!in.U8(24, bitDepth) || !in.U8(25, colourType))
        return false;
    switch (colourType) {
    case 0: info.Depth = static_cast<std::int32_t>(bitDepth); break;
    case 2: info.Depth = static_cast<std::int32_t>(3 * bitDepth); break;
    case 3: info.Depth = 8; break;
    case 4: info.Depth = static_cast<std::int32_t>(2 * bitDepth); break;
    case 6: info.Depth = static_cast<std::int32_t>(4 * bitDepth); break;
    default: return false;
    }
    // the low halves of the 32-bit width and height
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!in.U16(18, width) || !in.U16(22, height))
        return false;
    info.Width = static_cast<std::int32_t>(width);
    info.Height = static_cast<std::int32_t>(height);
    return true;
}

bool ReadGIF(const TByteReader& in, TDCImageInfo& info)
{
    info.ImageType = itGIF;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t flags = 0;
    if (!in.U16(6, width) || !in.U16(8, height) || !in.U8(10, flags))
        return false;
    info.Width = static_cast<std::int32_t>(width);
    info.Height = static_cast<std::int32_t>(height);
    info.Depth = static_cast<std::int32_t>((flags & 7) + 1);
    return true;
}

bool ReadBMP(const TByteReader& in, TDCImageInfo& info)
{
    info.ImageType = itBMP;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 0;
    if (!in.U16(18, width) || !in.U16(22, height) || !in.U8(28, depth))
        return false;
    info.Width = static_cast<std::int32_t>(width);
    info.Height = static_cast<std::int32_t>(height);
    info.Depth = static_cast<std::int32_t>(depth);
    return true;
}

bool ReadPCX(const TByteReader& in, TDCImageInfo& info)
{
    info.ImageType = itPCX;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t xMin = 0;
    std::uint32_t yMin = 0;
    std::uint32_t xMax = 0;
    std::uint32_t yMax = 0;
    std::uint32_t planes = 0;
    if (!in.U8(3, bitsPerPixel) || !in.U16(4, xMin) || !in.U16(6, yMin) || !in.U16(8, xMax) || !in.U16(10, yMax) ||
        !in.U8(65, planes))
        return false;
    // a window whose end lies before its start has no size at all
    if (xMax < xMin || yMax < yMin)
        return false;
    info.Width = static_cast<std::int32_t>(xMax - xMin + 1);
    info.Height = static_cast<std::int32_t>(yMax - yMin + 1);
    info.Depth = static_cast<std::int32_t>(bitsPerPixel * planes);
    return true;
}

// The value of one directory entry: its first value, or with allSamples the sum
// of all its values. Types other than byte, short and long count as 0.
bool TiffEntryValue(const TByteReader& in, std::uint64_t entry, bool allSamples, std::uint64_t& value)
{
    value = 0;
    std::uint32_t type = 0;
    std::uint32_t count = 0;
    if (!in.U16(entry + 2, type) || !in.U32(entry + 4, count))
        return false;
    const unsigned size = type == 1 ? 1 : type == 3 ? 2 : type == 4 ? 4 : 0;
    if (size == 0 || count == 0)
        return true;
    // values too long for the entry's four-byte field lie at the offset it holds
    std::uint64_t at = entry + 8;
    if (static_cast<std::uint64_t>(count) * size > 4) {
        std::uint32_t offset = 0;
        if (!in.U32(entry + 8, offset))
            return false;
        at = offset;
    }
    const std::uint32_t n = allSamples ? count : 1;
    if (n > kMaxTiffSamples)
        return true;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint32_t one = 0;
        if (!in.Read(at + static_cast<std::uint64_t>(i) * size, size, one))
            return false;
        value += one;
    }
    return true;
}

bool ReadTIFF(std::string_view data, bool bigEndian, TDCImageInfo& info)
{
    info.ImageType = itTIFF;
    const TByteReader in(data, bigEndian);
    std::uint32_t ifd = 0;
    std::uint32_t count = 0;
    if (!in.U32(4, ifd) || !in.U16(ifd, count))
        return false;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t depth = 1;  // a picture without bits per sample is bilevel
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t entry = static_cast<std::uint64_t>(ifd) + 2 + 12 * static_cast<std::uint64_t>(i);
        std::uint32_t tag = 0;
        if (!in.U16(entry, tag))
            return false;
        bool ok = true;
        if (tag == 256)
            ok = TiffEntryValue(in, entry, false, width);
        else if (tag == 257)
            ok = TiffEntryValue(in, entry, false, height);
        else if (tag == 258)
            ok = TiffEntryValue(in, entry, true, depth);  // bits per pixel: the samples' bits added up
        if (!ok)
            return false;
    }
    if (width == 0 || height == 0 || depth == 0 || width > kInt32Max || height > kInt32Max || depth > kInt32Max)
        return false;
    info.Width = static_cast<std::int32_t>(width);
    info.Height = static_cast<std::int32_t>(height);
    info.Depth = static_cast<std::int32_t>(depth);
    return true;
}

bool IsStandaloneMarker(std::uint32_t marker)
{
    // these markers carry no length: TEM, the restart markers, start of image
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

bool ScanJPEG(std::string_view data, TDCImageInfo& info)
{
    const TByteReader in(data, true);
    const std::size_t start = data.find("\xFF\xD8\xFF", 0, 3);
    if (start == std::string_view::npos)
        return false;
    std::uint64_t q = start + 2;  // the marker after the start of image
    for (;;) {
        std::uint32_t b0 = 0;
        std::uint32_t b1 = 0;
        if (!in.U8(q, b0) || !in.U8(q + 1, b1))
            return false;
        if (b0 != 0xFF) {
            // bytes between segments are skipped up to the next marker
            const std::size_t next = data.find('\xFF', static_cast<std::size_t>(q));
            if (next == std::string_view::npos)
                return false;
            q = next;
            continue;
        }
        if (b1 == 0xFF || b1 == 0x00) {  // fill byte, or a stuffed 0xFF that is no marker
            ++q;
            continue;
        }
        if (b1 >= 0xC0 && b1 <= 0xC3)
            break;
        // the frame header comes before the first scan; past it only coded data follows
        if (b1 == 0xDA || b1 == 0xD9)
            return false;
        if (IsStandaloneMarker(b1)) {
            q += 2;
            continue;
        }
        std::uint32_t length = 0;
        if (!in.U16(q + 2, length))
            return false;
        // the length counts its own two bytes; less means the segment chain is broken
        if (length < 2)
            return false;
        q += 2 + length;  // on to the next marker, never into the segment's own bytes
    }
    std::uint32_t height = 0;
    std::uint32_t width = 0;
    std::uint32_t components = 0;
    if (!in.U16(q + 5, height) || !in.U16(q + 7, width) || !in.U8(q + 9, components))
        return false;
    info.ImageType = itJPEG;
    info.Width = static_cast<std::int32_t>(width);
    info.Height = static_cast<std::int32_t>(height);
    info.Depth = static_cast<std::int32_t>(8 * components);
    return true;
}

} // namespace

void TDCImageInfo::ResetInfo()
{
    ImageType = itNone;
    Width = 0;
    Height = 0;
    Depth = 0;
}

void TDCImageInfo::ReadInfo(std::string_view data)
{
    ResetInfo();
    StreamSize = static_cast<std::int32_t>(data.size() > kInt32Max ? kInt32Max : data.size());
    if (data.size() < 3)
        return;
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    const TByteReader littleEndian(data, false);
    const TByteReader bigEndian(data, true);
    // a reader that fails (above all for want of bytes) leaves the next test to try
    if (at(0) == 0x89 && at(1) == 'P' && at(2) == 'N' && !ReadPNG(bigEndian, *this))
        ResetInfo();
    if (at(0) == 'G' && at(1) == 'I' && at(2) == 'F' && !ReadGIF(littleEndian, *this))
        ResetInfo();
    if (at(0) == 'B' && at(1) == 'M' && !ReadBMP(littleEndian, *this))
        ResetInfo();
    if (at(0) == 0x0A && !ReadPCX(littleEndian, *this))
        ResetInfo();
    if (at(0) == 'I' && at(1) == 'I' && at(2) == 0x2A && !ReadTIFF(data, false, *this))
        ResetInfo();
    if (data.size() >= 4 && at(0) == 'M' && at(1) == 'M' && at(2) == 0x00 && at(3) == 0x2A && !ReadTIFF(data, true, *this))
        ResetInfo();
    if (ImageType == itNone && !ScanJPEG(data, *this))
        ResetInfo();
}
