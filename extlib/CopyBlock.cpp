// Placing 8x8 sample blocks into the bottom-up 3-bytes-per-pixel picture buffer.

#include <algorithm>

#include "extlib/KorvanMpeg.h"

namespace {

constexpr int kVgaRowBytes = 640 * 3;
constexpr int kCifRowBytes = 320 * 3;

template <int RowBytes>
void CopyLuma(std::uint8_t* dst, const std::int16_t* block) {
    for (int k = 0; k < 8; ++k) {
        std::uint8_t* row = dst + (7 - k) * RowBytes;  // block row 0 is the top line
        for (int c = 0; c < 8; ++c) {
            row[c * 3] = static_cast<std::uint8_t>(std::clamp<int>(block[k * 8 + c], 0, 255));
        }
    }
}

template <int RowBytes>
void CopyChroma(std::uint8_t* dst, const std::int16_t* block) {
    for (int k = 0; k < 8; ++k) {
        std::uint8_t* upper = dst + (15 - 2 * k) * RowBytes;
        std::uint8_t* lower = upper - RowBytes;
        for (int c = 0; c < 8; ++c) {
            const auto s = static_cast<std::uint8_t>(
                static_cast<std::int8_t>(std::clamp<int>(block[k * 8 + c], -128, 127)));
            upper[c * 6] = s;
            upper[c * 6 + 3] = s;
            lower[c * 6] = s;
            lower[c * 6 + 3] = s;
        }
    }
}

}  // namespace

extern "C" void CopyBlockVgaY(std::uint8_t* dst, const std::int16_t* block) {
    CopyLuma<kVgaRowBytes>(dst, block);
}
extern "C" void CopyBlockCifY(std::uint8_t* dst, const std::int16_t* block) {
    CopyLuma<kCifRowBytes>(dst, block);
}
extern "C" void CopyBlockVgaC(std::uint8_t* dst, const std::int16_t* block) {
    CopyChroma<kVgaRowBytes>(dst, block);
}
extern "C" void CopyBlockCifC(std::uint8_t* dst, const std::int16_t* block) {
    CopyChroma<kCifRowBytes>(dst, block);
}
