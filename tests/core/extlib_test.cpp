// The decoding library: dequantisation, IDCT accuracy and colour conversion against
// references written from their rules, and the fast paths (the fixed-point IDCT, the entry
// points for the decoder's whole-picture path, the conversion from planes) against the plain
// arithmetic they replace, bit for bit. The block copies meet the decoder's own stores in
// decoder_test's comparisons of the two picture paths.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "extlib/IdctFast.h"
#include "extlib/KorvanMpeg.h"
#include "extlib/Mpeg1Tables.h"

namespace droskal {
namespace {

using Block = std::array<std::int16_t, 64>;

// Reads the block of 64 numbers that follows the heading starting with `title`.
std::vector<int> ReadMatrixSection(const std::string& title) {
    std::ifstream in(std::string(DROSKAL_TEST_DATA) + "/mpeg1/mpeg1_matrices.txt");
    std::string line;
    while (std::getline(in, line) && line.rfind("## " + title, 0) != 0) {
    }
    std::vector<int> values;
    while (values.size() < 64 && std::getline(in, line)) {
        std::istringstream row(line);
        for (int v; row >> v;) values.push_back(v);
    }
    return values;
}

const std::vector<int> kScan = ReadMatrixSection("ZIGZAG_SCAN");
const std::vector<int> kIntra = ReadMatrixSection("DEFAULT_INTRA_QUANT_MATRIX, natural");

// Dequantisation written from the rule: sign x ((|level| q W) >> 3), oddified, clamped.
std::vector<int> ReferenceIzzq(const std::vector<std::int16_t>& coeffs, int q,
                               const std::vector<int>& matrix) {
    std::vector<int> out(64, 0);
    out[0] = coeffs[0] * 8;
    for (int i = 1; i < 64; ++i) {
        const int level = coeffs[i];
        int mag = (std::abs(level) * q * matrix[kScan[i]]) >> 3;
        if (mag % 2 == 0 && mag != 0) mag -= 1;
        out[kScan[i]] = std::clamp(level < 0 ? -mag : mag, -2048, 2047);
    }
    return out;
}

TEST(IZZQ, HandPickedLevelsLandDequantisedInNaturalOrder) {
    ASSERT_EQ(kScan.size(), 64u);
    ASSERT_EQ(kIntra.size(), 64u);
    struct Case {
        int scanPos, level, scale, naturalIndex, expected;
    };
    // Scan position 17 is natural 19 (row 2 col 3, weight 27); its transpose weighs 26.
    const Case cases[] = {
        {1, 3, 5, 1, 29},     // 30 is even -> 29
        {1, -3, 5, 1, -29},   // negative oddified toward zero
        {2, 1, 1, 8, 1},      // 2 -> 1
        {17, 1, 1, 19, 3},    // 3.375 truncates to 3
        {17, 1, 2, 19, 5},    // 6.75 -> 6 -> 5
        {17, -1, 2, 19, -5},  // truncation toward zero, not -7 from a shift
        {63, 255, 31, 63, 2047}, {63, -255, 31, 63, -2048},
        {62, -7, 3, 62, -181},  // weight 69: 2*7*3*69/16 = 181.125 -> 181, already odd
    };
    for (const Case& c : cases) {
        std::vector<std::int16_t> coeffs(64, 0);
        coeffs[c.scanPos] = static_cast<std::int16_t>(c.level);
        std::int16_t block[64];
        SetQuant(c.scale, nullptr);
        IZZQ(block, coeffs.data());
        SCOPED_TRACE(testing::Message() << "scan " << c.scanPos << " level " << c.level);
        EXPECT_EQ(c.expected, block[c.naturalIndex]);
        EXPECT_EQ(1, std::count_if(block, block + 64, [](std::int16_t v) { return v != 0; }));
    }
}

// IZZQ against the rule on random blocks, five scales and two matrices.
TEST(IZZQ, MatchesReferenceOnRandomBlocksForScalesAndMatrices) {
    std::mt19937 rng(1180);
    std::vector<int> custom(64);
    for (int& w : custom) w = 1 + static_cast<int>(rng() % 255);
    for (const std::vector<int>* matrix : {&kIntra, const_cast<const std::vector<int>*>(&custom)}) {
        const std::vector<std::uint8_t> m8(matrix->begin(), matrix->end());
        for (int q : {1, 2, 5, 17, 31}) {
            SetQuant(q, matrix == &kIntra ? nullptr : m8.data());
            for (int n = 0; n < 500; ++n) {
                std::vector<std::int16_t> coeffs(64, 0);
                coeffs[0] = static_cast<std::int16_t>(rng() % 256);
                for (int i = 1; i < 64; ++i) {
                    if (rng() % 3 == 0)
                        coeffs[i] = static_cast<std::int16_t>(int(rng() % 601) - 300);
                }
                std::int16_t block[64];
                IZZQ(block, coeffs.data());
                ASSERT_EQ(ReferenceIzzq(coeffs, q, *matrix), std::vector<int>(block, block + 64))
                    << "q " << q;
            }
        }
    }
    SetQuant(1, nullptr);
}

// ---- IDCT ----

// basis[k][n] = C(k) / 2 * cos((2n + 1) k pi / 16).
struct DctBasis {
    double c[8][8];
    DctBasis() {
        for (int k = 0; k < 8; ++k)
            for (int n = 0; n < 8; ++n)
                c[k][n] = (k == 0 ? std::sqrt(0.5) : 1.0) / 2.0 *
                          std::cos((2 * n + 1) * k * std::numbers::pi / 16.0);
    }
};
const DctBasis kBasis;

// Double-precision separable transforms. inverse = false: out[v][u] = sum c[v][y] c[u][x]
// in[y][x]; true: the transpose.
template <class In>
void ReferenceTransform(const In* in, double out[64], bool inverse) {
    double tmp[64];
    for (int a = 0; a < 8; ++a)
        for (int k = 0; k < 8; ++k) {
            double s = 0;
            for (int n = 0; n < 8; ++n)
                s += (inverse ? kBasis.c[n][k] : kBasis.c[k][n]) * in[a * 8 + n];
            tmp[a * 8 + k] = s;
        }
    for (int k = 0; k < 8; ++k)
        for (int b = 0; b < 8; ++b) {
            double s = 0;
            for (int n = 0; n < 8; ++n)
                s += (inverse ? kBasis.c[n][k] : kBasis.c[k][n]) * tmp[n * 8 + b];
            out[k * 8 + b] = s;
        }
}

// The IEEE 1180-1990 procedure for one range -lo..hi and sign on `transform`, which may refuse
// a block (false); returns how many of the 10000 blocks it took.
template <class Transform>
int RunIeee1180(long lo, long hi, int sign, Transform&& transform) {
    long randx = 1;  // the procedure's own generator of values in -lo..hi
    auto next = [&randx, lo, hi] {
        randx = (randx * 1103515245 + 12345) & 0xFFFFFFFFL;
        const double x = static_cast<double>(randx & 0x7ffffffeL) / static_cast<double>(0x7fffffff);
        return static_cast<long>(x * static_cast<double>(hi + lo + 1)) - lo;
    };
    double err[64] = {}, sqErr[64] = {};
    int peak = 0;
    int taken = 0;
    for (int n = 0; n < 10000; ++n) {
        double pixels[64], coef[64], rounded[64], ref[64];
        for (double& p : pixels) p = static_cast<double>(sign * next());
        ReferenceTransform(pixels, coef, false);
        std::int16_t block[64];
        for (int i = 0; i < 64; ++i) {
            rounded[i] = std::clamp(std::floor(coef[i] + 0.5), -2048.0, 2047.0);
            block[i] = static_cast<std::int16_t>(rounded[i]);
        }
        ReferenceTransform(rounded, ref, true);
        if (!transform(block)) continue;
        ++taken;
        for (int i = 0; i < 64; ++i) {
            const double e = std::clamp<double>(block[i], -256.0, 255.0) -
                             std::clamp(std::floor(ref[i] + 0.5), -256.0, 255.0);
            peak = std::max(peak, static_cast<int>(std::abs(e)));
            err[i] += e;
            sqErr[i] += e * e;
        }
    }
    if (taken == 0) return 0;
    double totalErr = 0, totalSq = 0;
    for (int i = 0; i < 64; ++i) {
        EXPECT_LE(sqErr[i] / taken, 0.06) << "pixel " << i;
        EXPECT_LE(std::abs(err[i]) / taken, 0.015) << "pixel " << i;
        totalErr += err[i];
        totalSq += sqErr[i];
    }
    EXPECT_LE(peak, 1);
    EXPECT_LE(totalSq / (64.0 * taken), 0.02);
    EXPECT_LE(std::abs(totalErr) / (64.0 * taken), 0.0015);
    return taken;
}

// Every unit the processor has, the plain one included (its floating-point transform rounds
// on its own); Idct is the widest. Then the fixed-point transform (unit -1) that most real
// blocks take: 1180's wide ranges mostly exceed its AC limit, so it runs on ranges it takes.
TEST(Idct, PassesIeee1180ProcedureOnEveryUnitAndInFixedPoint) {
    std::vector<std::pair<int, long>> runs;  // unit, range
    for (int simd = 0; simd <= static_cast<int>(extlib::BestSimd()); ++simd)
        for (long range : {256L, 5L, 300L}) runs.emplace_back(simd, range);
#if defined(__SSE2__)
    for (long range : {5L, 20L, 40L}) runs.emplace_back(-1, range);
#endif
    for (const auto& [simd, range] : runs) {
        for (const int sign : {1, -1}) {
            SCOPED_TRACE(testing::Message()
                         << "simd " << simd << " range " << range << " sign " << sign);
            auto transform = [simd = simd](std::int16_t* block) {
                if (simd < 0) return extlib::IdctFixedPoint(block);
                extlib::IdctWith(static_cast<extlib::Simd>(simd), block);
                return true;
            };
            EXPECT_GE(RunIeee1180(range, range == 256 ? 255 : range, sign, transform), 9000);
        }
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
            k[v][y] = static_cast<int>(std::lround(65536.0 * kBasis.c[v][y]));
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

// Idct on every unit is within one of the exact transform, outputs well beyond the pixel range
// included, and mostly its rounding (they differ only where it sits near a half). IdctDecoded,
// IdctDecodedPair and IdctDecodedPairToBytes keep their own DC-only rounding and limit checks,
// and IdctCodedPair and IdctCodedPairToBytes work out the same sums the others are told:
// against IdctWith (clamped as the block copies clamp, nothing stored outside the two places)
// on every shape they may be told about, DC-only blocks and blocks too large for the
// fixed-point transform included. The fixed-point transform itself equals its plain form.
TEST(FastIdct, FixedPointAndDecodedPathsEqualTheirPlainFormsOnEveryUnit) {
    std::mt19937 rng(7);
    constexpr int kStride = 40;  // two places side by side with room around them
    long equal = 0, all = 0;
    [[maybe_unused]] long fixedTaken = 0;
    for (int trial = 0; trial < 10000; ++trial) {
        Block a[2]{};
        int sum[2] = {};
        std::uint64_t occupied[2] = {};
        double exact[2][64];
        for (int k = 0; k < 2; ++k) {
            // The shapes the fast transforms tell apart: anything, zero rows 4..7, zero columns
            // 4..7, both, a single row or column; now and then the fixed-point limits: the
            // largest DC and an AC sum at, just under or just over the limit in one coefficient.
            const int shape = (trial / 2 + k) % 6;
            const unsigned rows = shape == 1 || shape == 3 ? 4 : shape == 4 ? 1 : 8;
            const unsigned cols = shape == 2 || shape == 3 ? 4 : shape == 5 ? 1 : 8;
            a[k][0] = static_cast<std::int16_t>(static_cast<int>(rng() % 4200) - 2100);
            const int count = (trial + k) % 5 == 0 ? 0 : static_cast<int>(rng() % 12);
            const int range = trial % 4 == 0 ? 2048 : trial % 4 == 1 ? 200 : 20;
            for (int n = 0; n < count; ++n) {
                const auto at = static_cast<std::size_t>(rng() % rows * 8 + rng() % cols);
                a[k][at] = static_cast<std::int16_t>(
                    static_cast<int>(rng() % static_cast<unsigned>(2 * range)) - range);
            }
            if ((trial + k) % 7 == 3) {
                a[k] = Block{};
                a[k][0] =
                    static_cast<std::int16_t>((trial % 2 ? 1 : -1) * (trial % 3 ? 2048 : 2049));
                a[k][1 + rng() % 63] =
                    static_cast<std::int16_t>((rng() % 2 ? 1 : -1) * (2039 + trial % 3));
            }
#if defined(__SSE2__)
            // The fixed-point transform: its plain form where it fits, the block untouched where
            // not.
            Block fixed = a[k], plain = a[k];
            const bool fits = PlainFixedPointIdct(plain.data());
            ASSERT_EQ(fits, extlib::IdctFixedPoint(fixed.data())) << trial;
            ASSERT_EQ(plain, fixed) << trial;
            fixedTaken += fits;
#endif
            for (std::size_t i = 1; i < 64; ++i) {
                sum[k] += std::abs(a[k][i]);
                if (a[k][i] != 0 || rng() % 16 == 0) occupied[k] |= std::uint64_t{1} << i;
            }
            ReferenceTransform(a[k].data(), exact[k], true);
        }
        const bool chroma = trial % 2 == 1;
        for (int simd = 0; simd <= static_cast<int>(extlib::BestSimd()); ++simd) {
            const auto unit = static_cast<extlib::Simd>(simd);
            SCOPED_TRACE(testing::Message() << "trial " << trial << " simd " << simd);
            Block want[2] = {a[0], a[1]}, got[2], pair[2];
            std::vector<std::uint8_t> wantBytes(kStride * 10, 0xA5), gotBytes(wantBytes);
            for (int k = 0; k < 2; ++k) {
                extlib::IdctWith(unit, want[k].data());
                extlib::IdctDecoded(a[k].data(), got[k].data(), sum[k], occupied[k], unit);
                ASSERT_EQ(want[k], got[k]);
                for (int i = 0; i < 64; ++i, ++all) {
                    const int v = want[k][static_cast<std::size_t>(i)];
                    ASSERT_LE(std::abs(v - exact[k][i]), 1.0);
                    equal += v == std::floor(exact[k][i] + 0.5);
                    wantBytes[static_cast<std::size_t>((1 + i / 8) * kStride + 4 + 16 * k +
                                                       i % 8)] =
                        static_cast<std::uint8_t>(chroma ? std::clamp(v, -128, 127) & 0xFF
                                                         : std::clamp(v, 0, 255));
                }
            }
            extlib::IdctDecodedPair(a[0].data(), pair[0].data(), sum[0], occupied[0], a[1].data(),
                                    pair[1].data(), sum[1], occupied[1], unit);
            ASSERT_EQ(want[0], pair[0]);
            ASSERT_EQ(want[1], pair[1]);
            extlib::IdctDecodedPairToBytes(a[0].data(), sum[0], occupied[0], a[1].data(), sum[1],
                                           occupied[1], chroma, gotBytes.data() + kStride + 4,
                                           gotBytes.data() + kStride + 20, kStride, unit);
            ASSERT_EQ(wantBytes, gotBytes);
            if (unit == extlib::BestSimd()) {
                Block codedPair[2];
                extlib::IdctCodedPair(a[0].data(), codedPair[0].data(), occupied[0], a[1].data(),
                                      codedPair[1].data(), occupied[1]);
                ASSERT_EQ(want[0], codedPair[0]);
                ASSERT_EQ(want[1], codedPair[1]);
                std::vector<std::uint8_t> coded(wantBytes.size(), 0xA5);
                extlib::IdctCodedPairToBytes(a[0].data(), occupied[0], a[1].data(), occupied[1],
                                             chroma, coded.data() + kStride + 4,
                                             coded.data() + kStride + 20, kStride);
                ASSERT_EQ(wantBytes, coded);
            }
        }
    }
    EXPECT_GT(static_cast<double>(equal) / static_cast<double>(all), 0.98);
#if defined(__SSE2__)
    EXPECT_GT(fixedTaken, 10000);
#endif
}

// ---- Colour conversion ----

// BT.601 studio range, chroma centred on zero, to full-range blue, green, red, for every input
// but the last, which lies beyond the count (an odd one, so the tail is converted on its own)
// and stays as it was.
TEST(YUVtoRGB, EveryInputWithinOneOfDoublePrecision) {
    constexpr int kAll = 256 * 256 * 256;
    std::vector<std::uint8_t> buf(kAll * 3);
    for (int i = 0; i < kAll; ++i) {
        buf[i * 3] = static_cast<std::uint8_t>(i >> 16);
        buf[i * 3 + 1] = static_cast<std::uint8_t>(i >> 8);
        buf[i * 3 + 2] = static_cast<std::uint8_t>(i);
    }
    YUVtoRGB(buf.data(), kAll - 1);
    EXPECT_TRUE(buf[kAll * 3 - 3] == 0xFF && buf[kAll * 3 - 2] == 0xFF &&
                buf[kAll * 3 - 1] == 0xFF);
    int worst = 0;
    const double k = 255.0 / 224.0;
    for (int i = 0; i < kAll - 1; ++i) {
        const double ys = ((i >> 16) - 16) * 255.0 / 219.0;
        const double cb = static_cast<std::int8_t>(i >> 8), cr = static_cast<std::int8_t>(i);
        const double want[3] = {
            ys + 1.772 * k * cb,
            ys - (1.772 * 0.114 / 0.587) * k * cb - (1.402 * 0.299 / 0.587) * k * cr,
            ys + 1.402 * k * cr};
        for (int ch = 0; ch < 3; ++ch) {
            const double w = std::clamp(std::floor(want[ch] + 0.5), 0.0, 255.0);
            worst = std::max(worst, static_cast<int>(std::abs(w - buf[i * 3 + ch])));
        }
    }
    EXPECT_LE(worst, 1);
}

// PlanesToBgr on every instruction set the processor has against YUVtoRGB on the interleaved
// bottom-up buffer the copies would build. Random planes of widths that end in each step size
// (32 pixels, then 16, then single ones); then 512 x 512, whose chroma planes hold every
// (Cb, Cr) pair once, each covering 2 x 2 pixels, so 64 pictures with the luma pattern moved on
// by four bring every luma value to every pair.
TEST(FastColour, PlanesToBgrOnRandomPlanesOfEverySizeAndEveryTriple) {
    std::mt19937 rng(9);
    std::vector<std::tuple<int, int, int>> runs = {{640, 480, -1}, {320, 240, -1}, {16, 2, -1},
                                                   {24, 4, -1},    {48, 2, -1},    {40, 2, -1}};
    for (int shift = 0; shift < 256; shift += 4) runs.emplace_back(512, 512, shift);
    for (const auto& [w, h, shift] : runs) {
        const auto n = static_cast<std::size_t>(w * h), half = static_cast<std::size_t>(w / 2);
        std::vector<std::uint8_t> y(n), cb(n / 4), cr(n / 4), want(n * 3 + 64, 0xA5);
        for (std::size_t i = 0; i < n; ++i) {
            y[i] = static_cast<std::uint8_t>(shift < 0 ? rng() : shift + 2 * (i / w % 2) + i % 2);
            if (i < n / 4) {
                cb[i] = static_cast<std::uint8_t>(shift < 0 ? rng() : i % half);
                cr[i] = static_cast<std::uint8_t>(shift < 0 ? rng() : i / half);
            }
        }
        if (shift < 0) y[0] = 0, y[1] = 255, cb[0] = 0x80, cr[0] = 0x7F;  // they decide the clamps
        for (std::size_t row = 0; row < static_cast<std::size_t>(h); ++row)
            for (std::size_t x = 0; x < static_cast<std::size_t>(w); ++x) {
                std::uint8_t* p = &want[32 + ((h - 1 - row) * w + x) * 3];
                p[0] = y[row * w + x];
                p[1] = cb[row / 2 * half + x / 2];
                p[2] = cr[row / 2 * half + x / 2];
            }
        YUVtoRGB(want.data() + 32, w * h);
        // Guard bytes on both sides catch a store outside the picture.
        for (int simd = 0; simd <= static_cast<int>(extlib::BestSimd()); ++simd) {
            std::vector<std::uint8_t> out(want.size(), 0xA5);
            extlib::PlanesToBgrWith(static_cast<extlib::Simd>(simd), y.data(), cb.data(), cr.data(),
                                    w, h, out.data() + 32);
            ASSERT_TRUE(want == out) << w << "x" << h << " shift " << shift << " simd " << simd;
        }
    }
}

}  // namespace
}  // namespace droskal
