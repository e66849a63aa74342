// The library's fast paths against the plain arithmetic they replace: the even/odd IDCT
// against the direct separable sum, the dequantisation helper against IZZQ, and the
// conversion from planes against YUVtoRGB on an interleaved buffer, bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "extlib/IdctFast.h"
#include "extlib/KorvanMpeg.h"
#include "extlib/Mpeg1Tables.h"

namespace droskal {
namespace {

// The direct separable float sum the library first used.
void PlainIdct(std::int16_t* block) {
    float c[8][8];
    for (int k = 0; k < 8; ++k) {
        const double ck = k == 0 ? std::sqrt(0.5) : 1.0;
        for (int n = 0; n < 8; ++n)
            c[k][n] = static_cast<float>(ck / 2.0 * std::cos((2 * n + 1) * k * std::numbers::pi / 16.0));
    }
    float rows[8][8] = {};
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x) rows[v][x] += c[u][x] * static_cast<float>(block[v * 8 + u]);
    float out[8][8] = {};
    for (int v = 0; v < 8; ++v)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) out[y][x] += c[v][y] * rows[v][x];
    for (int i = 0; i < 64; ++i) {
        const float r = std::floor(out[i / 8][i % 8] + 0.5f);
        block[i] = static_cast<std::int16_t>(std::clamp(r, -32768.0f, 32767.0f));
    }
}

TEST(FastIdct, WithinOneOfTheDirectSumAndMostlyEqual) {
    std::mt19937 rng(5);
    long equal = 0;
    long total = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        std::int16_t a[64] = {};
        const int count = 1 + static_cast<int>(rng() % 64);
        const int range = trial % 3 == 0 ? 2048 : trial % 3 == 1 ? 300 : 20;
        for (int k = 0; k < count; ++k)
            a[rng() % 64] = static_cast<std::int16_t>(static_cast<int>(rng() % (2 * range)) - range);
        std::int16_t b[64];
        std::copy(a, a + 64, b);
        Idct(a);
        PlainIdct(b);
        for (int i = 0; i < 64; ++i) {
            ASSERT_LE(std::abs(a[i] - b[i]), 1) << "trial " << trial << " i " << i;
            equal += a[i] == b[i];
            ++total;
        }
    }
    EXPECT_GT(static_cast<double>(equal) / static_cast<double>(total), 0.999);
}

TEST(FastIdct, DcOnlyBlocksAreExactAndKnownAcMatchesTheCheck) {
    for (int dc = -2048; dc <= 2047; ++dc) {
        std::int16_t a[64] = {};
        a[0] = static_cast<std::int16_t>(dc);
        std::int16_t b[64];
        std::copy(a, a + 64, b);
        Idct(a);
        extlib::IdctKnownAc(b, true);
        const int expected = static_cast<int>(std::floor(dc / 8.0 + 0.5));
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(expected, a[i]) << dc;
            ASSERT_EQ(expected, b[i]) << dc;
        }
    }
    std::mt19937 rng(6);
    for (int trial = 0; trial < 2000; ++trial) {
        std::int16_t a[64] = {};
        a[0] = static_cast<std::int16_t>(rng() % 2000);
        a[1 + rng() % 63] = static_cast<std::int16_t>(static_cast<int>(rng() % 200) - 100);
        std::int16_t b[64];
        std::copy(a, a + 64, b);
        const bool acZero = std::all_of(a + 1, a + 64, [](std::int16_t v) { return v == 0; });
        Idct(a);
        extlib::IdctKnownAc(b, acZero);
        ASSERT_TRUE(std::equal(a, a + 64, b)) << trial;
    }
}

TEST(FastDequant, DequantAcIsWhatIzzqStores) {
    std::mt19937 rng(8);
    for (int scale : {1, 2, 7, 31}) {
        SetQuant(scale, nullptr);
        const std::int32_t* w = extlib::QuantWeights();
        for (int trial = 0; trial < 200; ++trial) {
            std::int16_t coeffs[64] = {};
            for (int i = 1; i < 64; ++i)
                if (rng() % 3 == 0) coeffs[i] = static_cast<std::int16_t>(static_cast<int>(rng() % 600) - 300);
            std::int16_t block[64];
            IZZQ(block, coeffs);
            for (int i = 1; i < 64; ++i) {
                const std::int16_t want = coeffs[i] == 0 ? 0 : extlib::DequantAc(coeffs[i], w[i]);
                ASSERT_EQ(want, block[kZigZag[i]]) << scale << " " << i;
            }
        }
    }
    SetQuant(1, nullptr);
}

TEST(FastColour, PlanesToBgrEqualsYuvToRgbOnTheInterleavedBuffer) {
    std::mt19937 rng(9);
    for (auto [w, h] : {std::pair{640, 480}, std::pair{320, 240}, std::pair{16, 2}, std::pair{24, 4}}) {
        std::vector<std::uint8_t> y(static_cast<std::size_t>(w * h)), cb(static_cast<std::size_t>(w * h / 4)),
            cr(static_cast<std::size_t>(w * h / 4));
        for (auto& v : y) v = static_cast<std::uint8_t>(rng());
        for (auto& v : cb) v = static_cast<std::uint8_t>(rng());
        for (auto& v : cr) v = static_cast<std::uint8_t>(rng());
        // Extremes too: they decide the clamps.
        y[0] = 0, y[1] = 255, cb[0] = 0x80, cr[0] = 0x7F;
        std::vector<std::uint8_t> interleaved(static_cast<std::size_t>(w * h * 3));
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = &interleaved[static_cast<std::size_t>(((h - 1 - row) * w + x) * 3)];
                p[0] = y[static_cast<std::size_t>(row * w + x)];
                p[1] = cb[static_cast<std::size_t>((row / 2) * (w / 2) + x / 2)];
                p[2] = cr[static_cast<std::size_t>((row / 2) * (w / 2) + x / 2)];
            }
        YUVtoRGB(interleaved.data(), w * h);
        // Guard bytes on both sides catch a store outside the picture.
        std::vector<std::uint8_t> out(interleaved.size() + 64, 0xA5);
        extlib::PlanesToBgr(y.data(), cb.data(), cr.data(), w, h, out.data() + 32);
        ASSERT_TRUE(std::equal(interleaved.begin(), interleaved.end(), out.begin() + 32)) << w << "x" << h;
        EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 32, [](std::uint8_t v) { return v == 0xA5; }));
        EXPECT_TRUE(std::all_of(out.end() - 32, out.end(), [](std::uint8_t v) { return v == 0xA5; }));
    }
}

}  // namespace
}  // namespace droskal
