// BT.601 studio range to full-range RGB, 16-bit fixed point.

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "extlib/IdctFast.h"
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

namespace {

// One output row from a luma row and the chroma terms of its chroma row, per pixel exactly
// ToByte(kY * (y - 16) + kHalf + term) as in YUVtoRGB.
void BgrRow(const std::uint8_t* y, const std::int32_t* termB, const std::int32_t* termG,
            const std::int32_t* termR, int width, std::uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    // kY = 65536 + 10773: the high part is a shift, the low part and kHalf one pmaddwd
    // against the pairs (y - 16, 2) x (10773, 16384).
    const __m128i zero = _mm_setzero_si128();
    const __m128i sixteen = _mm_set1_epi16(16);
    const __m128i two = _mm_set1_epi16(2);
    const __m128i weights = _mm_set1_epi32((16384 << 16) | 10773);
    for (; x + 8 <= width; x += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, y + x, 8);
        const __m128i ym =
            _mm_sub_epi16(_mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(eight)), zero), sixteen);
        const __m128i yLo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(ym, two), weights),
                                          _mm_unpacklo_epi16(zero, ym));
        const __m128i yHi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(ym, two), weights),
                                          _mm_unpackhi_epi16(zero, ym));
        // Four chroma terms cover eight pixels, each twice.
        auto channel = [&](const std::int32_t* term) {
            const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(term + x / 2));
            const __m128i lo = _mm_srai_epi32(_mm_add_epi32(yLo, _mm_unpacklo_epi32(t, t)), 16);
            const __m128i hi = _mm_srai_epi32(_mm_add_epi32(yHi, _mm_unpackhi_epi32(t, t)), 16);
            return _mm_packs_epi32(lo, hi);  // saturating: clamps stay clamps
        };
        const __m128i bg = _mm_packus_epi16(channel(termB), channel(termG));  // 8 B, 8 G
        const __m128i rr = _mm_packus_epi16(channel(termR), zero);            // 8 R, 0
        const __m128i bgPairs = _mm_unpacklo_epi8(bg, _mm_srli_si128(bg, 8));
        const __m128i r0Pairs = _mm_unpacklo_epi8(rr, zero);
        const __m128i px[2] = {_mm_unpacklo_epi16(bgPairs, r0Pairs), _mm_unpackhi_epi16(bgPairs, r0Pairs)};
        // B G R 0 per pixel: drop every fourth byte, two pixels (six bytes) at a time. Inside
        // a row each 8-byte store's two spare bytes are overwritten by the next one; the
        // row's last group stores exactly, so no neighbouring row is touched.
        std::uint8_t* dst = out + x * 3;
        std::uint64_t six[4];
        for (int h = 0; h < 2; ++h) {
            const auto lo = static_cast<std::uint64_t>(_mm_cvtsi128_si64(px[h]));
            const auto hi = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_srli_si128(px[h], 8)));
            six[2 * h] = (lo & 0xFFFFFF) | ((lo >> 32) << 24);
            six[2 * h + 1] = (hi & 0xFFFFFF) | ((hi >> 32) << 24);
        }
        if (x + 8 < width) {
            for (int k = 0; k < 4; ++k) std::memcpy(dst + 6 * k, &six[k], 8);
        } else {
            for (int k = 0; k < 4; ++k) std::memcpy(dst + 6 * k, &six[k], 6);
        }
    }
#endif
    for (; x < width; ++x) {
        const std::int32_t v = kY * (y[x] - 16) + kHalf;
        out[x * 3] = ToByte(v + termB[x / 2]);
        out[x * 3 + 1] = ToByte(v + termG[x / 2]);
        out[x * 3 + 2] = ToByte(v + termR[x / 2]);
    }
}

}  // namespace

void droskal::extlib::PlanesToBgr(const std::uint8_t* y, const std::uint8_t* cb,
                                  const std::uint8_t* cr, int width, int height,
                                  std::uint8_t* bgr) {
    const int cw = width / 2;
    // The chroma terms of one chroma row serve two output rows; +4 for the vector loads.
    std::int32_t termB[1024 + 4], termG[1024 + 4], termR[1024 + 4];
    if (cw > 1024) return;
    const int rowBytes = width * 3;
    for (int cy = 0; cy < height / 2; ++cy) {
        const std::uint8_t* cbRow = cb + cy * cw;
        const std::uint8_t* crRow = cr + cy * cw;
        for (int i = 0; i < cw; ++i) {
            const std::int32_t b = static_cast<std::int8_t>(cbRow[i]);
            const std::int32_t r = static_cast<std::int8_t>(crRow[i]);
            termB[i] = kCbB * b;
            termG[i] = -kCbG * b - kCrG * r;
            termR[i] = kCrR * r;
        }
        for (int k = 0; k < 2; ++k) {
            const int top = 2 * cy + k;  // top-down row; bottom-up in the bitmap
            BgrRow(y + top * width, termB, termG, termR, width,
                   bgr + (height - 1 - top) * rowBytes);
        }
    }
}
