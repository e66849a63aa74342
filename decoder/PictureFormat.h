#pragma once

// The two picture sizes the recorder writes, recognised from the sequence header.

#include <cstdint>

namespace droskal {

struct PictureFormatInfo {
    int width;
    int height;
    int mbColumns;
    int mbRows;
    std::int32_t pixelCount;
    int drawX;  // left edge in the 640-pixel picture area
    int rowBytes;
};

inline constexpr PictureFormatInfo kVgaFormat{640, 480, 40, 30, 307200, 0, 1920};
inline constexpr PictureFormatInfo kCifFormat{320, 240, 20, 15, 76800, 160, 960};

// 1 = 640x480, 2 = 320x240, nullptr for anything else.
inline const PictureFormatInfo* FormatInfo(std::uint8_t picFormat) {
    if (picFormat == 1) return &kVgaFormat;
    if (picFormat == 2) return &kCifFormat;
    return nullptr;
}

// The first 7 bytes of a file: 1 for a 640x480 sequence header, 2 for 320x240, 0 otherwise.
// Exact byte comparison, so any other size (or no sequence header) gives 0.
inline std::uint8_t PictureFormatFromHeader(const std::uint8_t first7[7]) {
    if (first7[0] != 0x00 || first7[1] != 0x00 || first7[2] != 0x01 || first7[3] != 0xB3) return 0;
    if (first7[4] == 0x28 && first7[5] == 0x01 && first7[6] == 0xE0) return 1;
    if (first7[4] == 0x14 && first7[5] == 0x00 && first7[6] == 0xF0) return 2;
    return 0;
}

}  // namespace droskal
