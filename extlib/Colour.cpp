// BT.601 studio range to full-range RGB, 16-bit fixed point.

#include <algorithm>

#include "extlib/KorvanMpeg.h"

namespace {

// 255/219 for luma, 255/224 x the BT.601 chroma weights; x 65536, rounded.
constexpr std::int32_t kY = 76309;     // 1.164384
constexpr std::int32_t kCrR = 104597;  // 1.596027
constexpr std::int32_t kCbG = 25675;   // 0.391762
constexpr std::int32_t kCrG = 53279;   // 0.812968
constexpr std::int32_t kCbB = 132201;  // 2.017232
constexpr std::int32_t kHalf = 1 << 15;

std::uint8_t ToByte(std::int32_t v) {
    return static_cast<std::uint8_t>(std::clamp(v >> 16, 0, 255));
}

}  // namespace

extern "C" void YUVtoRGB(std::uint8_t* buf, std::int32_t pixelCount) {
    for (std::int32_t i = 0; i < pixelCount; ++i, buf += 3) {
        const std::int32_t y = kY * (buf[0] - 16) + kHalf;
        const std::int32_t cb = static_cast<std::int8_t>(buf[1]);
        const std::int32_t cr = static_cast<std::int8_t>(buf[2]);
        buf[0] = ToByte(y + kCbB * cb);
        buf[1] = ToByte(y - kCbG * cb - kCrG * cr);
        buf[2] = ToByte(y + kCrR * cr);
    }
}
