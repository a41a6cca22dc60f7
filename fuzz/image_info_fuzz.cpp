// ReadInfo takes any bytes: it gives nothing or a result of the format's own
// ranges, and a part of the data never gives an answer the whole would contradict.
#include "crawl/image_info.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

bool Within(std::int32_t value, std::int32_t low, std::int32_t high)
{
    return value >= low && value <= high;
}

void Check(const TDCImageInfo& info, std::size_t size)
{
    if (info.StreamSize != static_cast<std::int32_t>(size))
        std::abort();
    bool ok = false;
    switch (info.ImageType) {
    case itNone: ok = info.Width == 0 && info.Height == 0 && info.Depth == 0; break;
    case itPNG: ok = Within(info.Width, 0, 65535) && Within(info.Height, 0, 65535) && Within(info.Depth, 0, 4 * 255); break;
    case itGIF: ok = Within(info.Width, 0, 65535) && Within(info.Height, 0, 65535) && Within(info.Depth, 1, 8); break;
    case itBMP: ok = Within(info.Width, 0, 65535) && Within(info.Height, 0, 65535) && Within(info.Depth, 0, 255); break;
    case itPCX: ok = Within(info.Width, 1, 65536) && Within(info.Height, 1, 65536) && Within(info.Depth, 0, 255 * 255); break;
    case itTIFF: ok = info.Width > 0 && info.Height > 0 && info.Depth > 0; break;
    case itJPEG:
        ok = Within(info.Width, 0, 65535) && Within(info.Height, 0, 65535) && info.Depth % 8 == 0 &&
             Within(info.Depth, 0, 8 * 255);
        break;
    }
    if (!ok)
        std::abort();
}

// Reads the first n bytes from a buffer of exactly that size, so that a read past them is caught.
TDCImageInfo ReadPart(const std::uint8_t* data, std::size_t n)
{
    const std::unique_ptr<char[]> part(new char[n]);
    if (n > 0)
        std::memcpy(part.get(), data, n);
    TDCImageInfo info;
    info.ReadInfo(std::string_view(part.get(), n));
    Check(info, n);
    return info;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const TDCImageInfo whole = ReadPart(data, size);
    TDCImageInfo again = whole;
    again.ReadInfo(std::string_view(reinterpret_cast<const char*>(data), size));
    if (again.ImageType != whole.ImageType || again.Width != whole.Width || again.Height != whole.Height ||
        again.Depth != whole.Depth)
        std::abort();
    if (size == 0)
        return 0;
    for (const std::size_t n : {size - 1, size / 2, size / 4}) {
        const TDCImageInfo part = ReadPart(data, n);
        if (part.ImageType == itNone)
            continue;
        // whatever a part could tell, the whole tells too; only a JPEG found by
        // scanning may give way to a format whose header was not complete before
        if (whole.ImageType == itNone || (part.ImageType != itJPEG && part.ImageType != whole.ImageType))
            std::abort();
        if (part.ImageType == whole.ImageType &&
            (part.Width != whole.Width || part.Height != whole.Height || part.Depth != whole.Depth))
            std::abort();
    }
    return 0;
}
