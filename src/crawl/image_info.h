#pragma once

#include <cstdint>
#include <string_view>

// The picture formats the header reader knows; the codes are stored as they are.
enum TImageType : std::uint8_t { itNone = 0, itGIF = 1, itJPEG = 2, itPNG = 3, itBMP = 4, itPCX = 5, itTIFF = 6 };

// Finds the format, width, height and colour depth of a picture from its first
// bytes without decoding it, so that a picture still downloading can be refused
// early. Works on incomplete data: when the bytes it needs have not arrived the
// result is itNone with Width, Height and Depth 0, and the caller may try again
// with more. Never reads outside the bytes it is given.
class TDCImageInfo final {
public:
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Depth = 0;  // bits per pixel
    TImageType ImageType = itNone;
    std::int32_t StreamSize = 0;  // size of the data when reading began

    // Fills the fields from the bytes of the picture received so far.
    void ReadInfo(std::string_view data);
    // ImageType, Width, Height and Depth := 0.
    void ResetInfo();
};
