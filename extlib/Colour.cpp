// BT.601 studio range to full-range RGB, 16-bit fixed point: YUVtoRGB on the interleaved
// buffer, and the conversion from planes through the dispatch table (the vector units in
// ColourKernel.h; the plain one here).

#include <algorithm>

#include "extlib/Kernels.h"
#include "extlib/KorvanMpeg.h"
#if defined(__SSE2__)
#include "extlib/ColourKernel.h"
#include "extlib/VectorSse2.h"
#endif

namespace {

// The same constants as ColourKernel.h (which only vector builds include).
constexpr std::int32_t kYWeight = 76309;     // 255/219 x 65536
constexpr std::int32_t kCrRWeight = 104597;  // 1.596027 x 65536
constexpr std::int32_t kCbGWeight = 25675;   // 0.391762 x 65536
constexpr std::int32_t kCrGWeight = 53279;   // 0.812968 x 65536
constexpr std::int32_t kCbBWeight = 132201;  // 2.017232 x 65536
constexpr std::int32_t kRound = 1 << 15;

std::uint8_t ToByte(std::int32_t v) {
    return static_cast<std::uint8_t>(std::clamp(v >> 16, 0, 255));
}

// One pixel from its luma and its two's-complement chroma bytes, into b, g, r.
inline void Pixel(std::uint8_t y, std::uint8_t cbByte, std::uint8_t crByte, std::uint8_t* out) {
    const std::int32_t v = kYWeight * (y - 16) + kRound;
    const std::int32_t cb = static_cast<std::int8_t>(cbByte);
    const std::int32_t cr = static_cast<std::int8_t>(crByte);
    out[0] = ToByte(v + kCbBWeight * cb);
    out[1] = ToByte(v - kCbGWeight * cb - kCrGWeight * cr);
    out[2] = ToByte(v + kCrRWeight * cr);
}

}  // namespace

extern "C" void YUVtoRGB(std::uint8_t* buf, std::int32_t pixelCount) {
    for (std::int32_t i = 0; i < pixelCount; ++i, buf += 3) Pixel(buf[0], buf[1], buf[2], buf);
}

namespace droskal::extlib {

int RowPairPlain(const std::uint8_t* y0, const std::uint8_t* cbRow, const std::uint8_t* crRow,
                 int x, int width, std::uint8_t* out0, std::uint8_t* out1) {
    for (; x < width; ++x) {
        Pixel(y0[x], cbRow[x / 2], crRow[x / 2], out0 + x * 3);
        Pixel(y0[width + x], cbRow[x / 2], crRow[x / 2], out1 + x * 3);
    }
    return x;
}

#if defined(__SSE2__)
int RowPairSse2(const std::uint8_t* y0, const std::uint8_t* cbRow, const std::uint8_t* crRow, int x,
                int width, std::uint8_t* out0, std::uint8_t* out1) {
    return RowPairKernel<Sse2>(y0, cbRow, crRow, x, width, out0, out1);
}
#endif

void PlanesToBgr(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, int width,
                 int height, std::uint8_t* bgr) {
    PlanesToBgrWith(BestSimd(), y, cb, cr, width, height, bgr);
}

void PlanesToBgrWith(Simd simd, const std::uint8_t* y, const std::uint8_t* cb,
                     const std::uint8_t* cr, int width, int height, std::uint8_t* bgr) {
    // The widest steps first, then each narrower unit's, the plain one finishing the rows.
    RowPairFn steps[3] = {};
    int units = 0;
    for (int s = static_cast<int>(std::min(simd, BestSimd())); s >= 0; --s)
        steps[units++] = KernelsFor(static_cast<Simd>(s)).rowPair;
    const int cw = width / 2;
    const int rowBytes = width * 3;
    for (int cy = 0; cy < height / 2; ++cy) {
        // Top-down rows 2 cy and 2 cy + 1 share the chroma row; the bitmap is bottom-up.
        const std::uint8_t* const y0 = y + 2 * cy * width;
        std::uint8_t* const out0 = bgr + (height - 1 - 2 * cy) * rowBytes;
        int x = 0;
        for (int u = 0; u < units; ++u)
            x = steps[u](y0, cb + cy * cw, cr + cy * cw, x, width, out0, out0 - rowBytes);
    }
}

}  // namespace droskal::extlib
