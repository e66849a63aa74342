// Separable floating-point 8x8 inverse DCT. Single precision is far inside the IEEE 1180
// limits for the 12-bit coefficient range, and rows of zeros (most of them) are skipped.

#include <cmath>
#include <numbers>

#include "extlib/KorvanMpeg.h"

namespace {

struct Basis {
    float c[8][8];  // c[k][n] = C(k) / 2 * cos((2n + 1) k pi / 16)
};

const Basis& IdctBasis() {
    static const Basis basis = [] {
        Basis b{};
        for (int k = 0; k < 8; ++k) {
            const double ck = k == 0 ? std::sqrt(0.5) : 1.0;
            for (int n = 0; n < 8; ++n) {
                b.c[k][n] = static_cast<float>(ck / 2.0 *
                                               std::cos((2 * n + 1) * k * std::numbers::pi / 16.0));
            }
        }
        return b;
    }();
    return basis;
}

std::int16_t RoundToSample(float v) {
    const float r = std::floor(v + 0.5f);
    if (r > 32767.0f) return 32767;
    if (r < -32768.0f) return -32768;
    return static_cast<std::int16_t>(r);
}

}  // namespace

extern "C" void Idct(std::int16_t* block) {
    bool acZero = true;
    for (int i = 1; i < 64 && acZero; ++i) acZero = block[i] == 0;
    if (acZero) {
        // The exact result is DC / 8 everywhere; rounding halves up like the full path.
        const auto v = static_cast<std::int16_t>((block[0] + 4) >> 3);
        for (int i = 0; i < 64; ++i) block[i] = v;
        return;
    }

    const Basis& b = IdctBasis();
    float rows[8][8] = {};
    bool rowUsed[8] = {};
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            const float f = block[v * 8 + u];
            if (f == 0.0f) continue;
            rowUsed[v] = true;
            for (int x = 0; x < 8; ++x) rows[v][x] += b.c[u][x] * f;
        }
    }
    float out[8][8] = {};
    for (int v = 0; v < 8; ++v) {
        if (!rowUsed[v]) continue;
        for (int y = 0; y < 8; ++y) {
            const float w = b.c[v][y];
            for (int x = 0; x < 8; ++x) out[y][x] += w * rows[v][x];
        }
    }
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) block[y * 8 + x] = RoundToSample(out[y][x]);
    }
}
