// The library's fast paths against the plain arithmetic they replace: the fixed-point IDCT
// against its plain form and the IDCT against the direct separable sum, the dequantisation helper against IZZQ, and the
// conversion from planes against YUVtoRGB on an interleaved buffer, bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

// The fixed-point transform written out plainly: weights round(2^16 basis), exact 32-bit
// sums, the middle values rounded to 5 fractional bits, DC / 8 added in the last rounding.
bool PlainFixedPointIdct(std::int16_t* block) {
    const int dc = block[0];
    int acSum = 0;
    for (int i = 1; i < 64; ++i) acSum += std::abs(block[i]);
    if (dc < -2048 || dc > 2048 || acSum > 2040) return false;
    int k[8][8];
    for (int v = 0; v < 8; ++v)
        for (int y = 0; y < 8; ++y)
            k[v][y] = static_cast<int>(std::lround(65536.0 * (v == 0 ? std::sqrt(0.5) : 1.0) / 2.0 *
                                                   std::cos((2 * y + 1) * v * std::numbers::pi / 16.0)));
    int mid[8][8];  // [y][u]
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            std::int32_t sum = 0;
            for (int v = 0; v < 8; ++v) sum += k[v][y] * (v == 0 && u == 0 ? 0 : block[v * 8 + u]);
            mid[y][u] = (sum + (1 << 10)) >> 11;
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            std::int32_t sum = (1 << 20) + dc * (1 << 18);
            for (int u = 0; u < 8; ++u) sum += k[u][x] * mid[y][u];
            block[y * 8 + x] = static_cast<std::int16_t>(std::clamp(sum >> 21, -32768, 32767));
        }
    return true;
}

// Random blocks of the shapes the fast transform tells apart: anything, zero rows 4..7, zero
// columns 4..7, both, a single row or column, with AC sums up to and just past the limit.
std::vector<std::array<std::int16_t, 64>> FixedPointBlocks() {
    std::mt19937 rng(1180);
    std::vector<std::array<std::int16_t, 64>> blocks;
    for (int trial = 0; trial < 30000; ++trial) {
        std::array<std::int16_t, 64> a{};
        const int shape = trial % 6;
        const int rows = shape == 1 || shape == 3 ? 4 : shape == 4 ? 1 : 8;
        const int cols = shape == 2 || shape == 3 ? 4 : shape == 5 ? 1 : 8;
        const int budget = trial % 5 == 0 ? 2040 + static_cast<int>(rng() % 3) - 1 : 1 + static_cast<int>(rng() % 2040);
        const int count = 1 + static_cast<int>(rng() % 40);
        int left = budget;
        for (int c = 0; c < count && left > 0; ++c) {
            const int at = static_cast<int>(rng() % static_cast<unsigned>(rows)) * 8 +
                           static_cast<int>(rng() % static_cast<unsigned>(cols));
            if (at == 0) continue;
            const int mag = c + 1 == count ? left : 1 + static_cast<int>(rng() % static_cast<unsigned>(left));
            const int before = std::abs(a[static_cast<std::size_t>(at)]);
            const int now = std::min(2047, before + mag);
            a[static_cast<std::size_t>(at)] = static_cast<std::int16_t>(rng() % 2 ? now : -now);
            left -= now - before;
        }
        a[0] = static_cast<std::int16_t>(trial % 7 == 0 ? (trial % 2 ? 2048 : -2048) : static_cast<int>(rng() % 4097) - 2048);
        if (trial % 11 == 0) a[0] = static_cast<std::int16_t>(trial % 2 ? 2049 : -2049);
        blocks.push_back(a);
    }
    return blocks;
}

TEST(FastIdct, FixedPointEqualsItsPlainFormOnEveryShape) {
#if !defined(__SSE2__)
    GTEST_SKIP() << "the fixed-point transform is the SSE2 build's";
#endif
    long taken = 0, refused = 0;
    for (const auto& original : FixedPointBlocks()) {
        std::array<std::int16_t, 64> fast = original, plain = original;
        const bool fits = PlainFixedPointIdct(plain.data());
        ASSERT_EQ(fits, extlib::IdctFixedPoint(fast.data()));
        if (fits) {
            ASSERT_EQ(plain, fast);
            ++taken;
        } else {
            ASSERT_EQ(original, fast) << "a refused block must stay as it was";
            ++refused;
        }
    }
    EXPECT_GT(taken, 20000);
    EXPECT_GT(refused, 2000);
}

TEST(FastIdct, FixedPointIsWithinOneOfDoublePrecision) {
#if !defined(__SSE2__)
    GTEST_SKIP() << "the fixed-point transform is the SSE2 build's";
#endif
    // The limit cases: the largest DC, AC sums at the limit in a single coefficient (the
    // largest single outputs) and spread over many (the largest middle values).
    double c[8][8];
    for (int k = 0; k < 8; ++k)
        for (int n = 0; n < 8; ++n)
            c[k][n] = (k == 0 ? std::sqrt(0.5) : 1.0) / 2.0 * std::cos((2 * n + 1) * k * std::numbers::pi / 16.0);
    auto blocks = FixedPointBlocks();
    for (int at = 1; at < 64; ++at) {
        std::array<std::int16_t, 64> a{};
        a[0] = 2048;
        a[static_cast<std::size_t>(at)] = static_cast<std::int16_t>(at % 2 ? 2040 : -2040);
        blocks.push_back(a);
    }
    for (const auto& original : blocks) {
        std::array<std::int16_t, 64> fast = original;
        if (!extlib::IdctFixedPoint(fast.data())) continue;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                double sum = 0;
                for (int v = 0; v < 8; ++v)
                    for (int u = 0; u < 8; ++u) sum += c[v][y] * c[u][x] * original[static_cast<std::size_t>(v * 8 + u)];
                ASSERT_LE(std::abs(fast[static_cast<std::size_t>(y * 8 + x)] - sum), 1.0) << y << " " << x;
            }
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
    // Float and fixed point round differently only where the exact value sits near a half.
    EXPECT_GT(static_cast<double>(equal) / static_cast<double>(total), 0.99);
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

TEST(FastIdct, IdctDecodedEqualsIdctWhateverTheShapeItIsTold) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 20000; ++trial) {
        std::int16_t a[64] = {};
        a[0] = static_cast<std::int16_t>(static_cast<int>(rng() % 4200) - 2100);
        const int count = static_cast<int>(rng() % 12);
        const int range = trial % 4 == 0 ? 2048 : trial % 4 == 1 ? 200 : 20;
        for (int k = 0; k < count; ++k) {
            // Mostly low frequencies, as pictures have them, sometimes anywhere.
            const int at = trial % 3 == 0 ? static_cast<int>(rng() % 64) : static_cast<int>(rng() % 4) * 8 + static_cast<int>(rng() % 4);
            a[at] = static_cast<std::int16_t>(static_cast<int>(rng() % static_cast<unsigned>(2 * range)) - range);
        }
        int sum = 0;
        std::uint64_t occupied = 0;
        for (int i = 1; i < 64; ++i) {
            sum += std::abs(a[i]);
            if (a[i] != 0 || rng() % 16 == 0) occupied |= std::uint64_t{1} << i;  // extra bits allowed
        }
        std::int16_t want[64], got[64];
        std::copy(a, a + 64, want);
        Idct(want);
        extlib::IdctDecoded(a, got, sum, occupied);
        ASSERT_TRUE(std::equal(want, want + 64, got)) << trial;
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

TEST(FastColour, PlanesToBgrEqualsYuvToRgbForEveryLumaAndChromaTriple) {
    // Chroma plane 256 x 256 holds every (Cb, Cr) pair once; each covers 2 x 2 pixels, so 64
    // pictures with the luma pattern moved on by four bring every luma value to every pair.
    constexpr int kW = 512, kH = 512;
    std::vector<std::uint8_t> y(kW * kH), cb(kW * kH / 4), cr(kW * kH / 4);
    for (int row = 0; row < kH / 2; ++row)
        for (int x = 0; x < kW / 2; ++x) {
            cb[static_cast<std::size_t>(row * kW / 2 + x)] = static_cast<std::uint8_t>(x);
            cr[static_cast<std::size_t>(row * kW / 2 + x)] = static_cast<std::uint8_t>(row);
        }
    std::vector<std::uint8_t> interleaved(kW * kH * 3), out(kW * kH * 3);
    for (int shift = 0; shift < 256; shift += 4) {
        for (int row = 0; row < kH; ++row)
            for (int x = 0; x < kW; ++x)
                y[static_cast<std::size_t>(row * kW + x)] = static_cast<std::uint8_t>(shift + 2 * (row % 2) + x % 2);
        for (int row = 0; row < kH; ++row)
            for (int x = 0; x < kW; ++x) {
                std::uint8_t* p = &interleaved[static_cast<std::size_t>(((kH - 1 - row) * kW + x) * 3)];
                p[0] = y[static_cast<std::size_t>(row * kW + x)];
                p[1] = cb[static_cast<std::size_t>((row / 2) * (kW / 2) + x / 2)];
                p[2] = cr[static_cast<std::size_t>((row / 2) * (kW / 2) + x / 2)];
            }
        YUVtoRGB(interleaved.data(), kW * kH);
        extlib::PlanesToBgr(y.data(), cb.data(), cr.data(), kW, kH, out.data());
        ASSERT_EQ(interleaved, out) << "luma from " << shift;
    }
}

}  // namespace
}  // namespace droskal
