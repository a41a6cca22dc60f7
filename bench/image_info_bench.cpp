// The header reader steps over segments by their lengths: a 20 MB JPEG whose
// 60 KB metadata segment lies before its frame header should cost about what a
// 50 KB baseline JPEG costs.
#include "crawl/image_info.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string Segment(unsigned marker, const std::string& payload)
{
    std::string out;
    const std::size_t length = payload.size() + 2;
    out += '\xFF';
    out += static_cast<char>(marker);
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(length & 0xFF);
    return out + payload;
}

// A baseline JPEG of 1600 x 1200 with three components: JFIF, an optional
// metadata segment, tables, the frame header, one scan of `size` bytes in all.
std::string BaselineJpeg(std::size_t size, std::size_t metadata)
{
    std::string jpeg = "\xFF\xD8";
    jpeg += Segment(0xE0, std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14));
    if (metadata > 0) {
        std::string exif("Exif\0\0II*\0", 10);
        for (std::size_t i = exif.size(); i < metadata; ++i)
            exif += static_cast<char>((i * 131) % 256);  // binary data, 0xFF bytes included
        jpeg += Segment(0xE1, exif);
    }
    for (int table = 0; table < 2; ++table)
        jpeg += Segment(0xDB, std::string(1, static_cast<char>(table)) + std::string(64, '\x10'));
    jpeg += Segment(0xC0, std::string("\x08\x04\xB0\x06\x40\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 15));
    for (int table = 0; table < 4; ++table)
        jpeg += Segment(0xC4, std::string(1, static_cast<char>(table)) + std::string(16, '\x01') + std::string(16, '\x02'));
    jpeg += Segment(0xDA, std::string("\x03\x01\x00\x02\x11\x03\x11\x00\x3F\x00", 10));
    std::uint32_t seed = 12345;
    while (jpeg.size() + 2 < size) {
        seed = seed * 1103515245 + 12345;
        jpeg += static_cast<char>((seed >> 16) % 255);  // coded data never holds a bare 0xFF
    }
    return jpeg + "\xFF\xD9";
}

void ReadJpeg(benchmark::State& state, std::size_t size, std::size_t metadata)
{
    const std::string jpeg = BaselineJpeg(size, metadata);
    TDCImageInfo info;
    info.ReadInfo(jpeg);
    if (info.ImageType != itJPEG || info.Width != 1600 || info.Height != 1200 || info.Depth != 24) {
        state.SkipWithError("the sample does not read as a 1600 x 1200 JPEG");
        return;
    }
    for (auto _ : state) {
        info.ReadInfo(jpeg);
        benchmark::DoNotOptimize(info);
    }
    state.counters["bytes"] = static_cast<double>(jpeg.size());
}

} // namespace

BENCHMARK_CAPTURE(ReadJpeg, Baseline50KB, 50 * 1024, 0);
BENCHMARK_CAPTURE(ReadJpeg, Metadata60KBIn20MB, 20 * 1024 * 1024, 60 * 1024);

BENCHMARK_MAIN();
