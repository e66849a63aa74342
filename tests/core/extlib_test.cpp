// The decoding library: dequantisation, IDCT accuracy, block placement, colour conversion.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "extlib/IdctFast.h"
#include "extlib/KorvanMpeg.h"

namespace {

// Reads the block of 64 numbers that follows the heading starting with `title`.
std::vector<int> ReadMatrixSection(const std::string& title) {
    std::ifstream in(std::string(DROSKAL_TEST_DATA) + "/mpeg1/mpeg1_matrices.txt");
    std::string line;
    while (std::getline(in, line) && line.rfind("## " + title, 0) != 0) {
    }
    std::vector<int> values;
    while (values.size() < 64 && std::getline(in, line)) {
        std::istringstream row(line);
        int v;
        while (row >> v) values.push_back(v);
    }
    return values;
}

struct Tables {
    std::vector<int> scan = ReadMatrixSection("ZIGZAG_SCAN");
    std::vector<int> intra = ReadMatrixSection("DEFAULT_INTRA_QUANT_MATRIX, natural");
};

const Tables& tables() {
    static const Tables t;
    return t;
}

// Dequantisation written from the rule: sign x ((|level| q W) >> 3), oddified, clamped.
std::vector<int> ReferenceIzzq(const std::vector<std::int16_t>& coeffs, int q,
                               const std::vector<int>& matrix) {
    std::vector<int> out(64, 0);
    out[0] = coeffs[0] * 8;
    for (int i = 1; i < 64; ++i) {
        const int level = coeffs[i];
        const int j = tables().scan[i];
        int mag = (std::abs(level) * q * matrix[j]) >> 3;
        if (mag % 2 == 0 && mag != 0) mag -= 1;
        out[j] = std::clamp(level < 0 ? -mag : mag, -2048, 2047);
    }
    return out;
}

TEST(ExtlibTables, TestDataIsComplete) {
    ASSERT_EQ(tables().scan.size(), 64u);
    ASSERT_EQ(tables().intra.size(), 64u);
}

TEST(IZZQ, HandPickedLevelsLandDequantisedInNaturalOrder) {
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
        const auto ref = ReferenceIzzq(coeffs, c.scale, tables().intra);
        SCOPED_TRACE(testing::Message() << "scan " << c.scanPos << " level " << c.level);
        EXPECT_EQ(ref[c.naturalIndex], block[c.naturalIndex]);
        EXPECT_EQ(c.expected, block[c.naturalIndex]);
        EXPECT_EQ(1, std::count_if(block, block + 64, [](std::int16_t v) { return v != 0; }));
    }
}

TEST(IZZQ, MatchesReferenceOnRandomBlocksForScalesAndMatrices) {
    std::mt19937 rng(1180);
    std::vector<int> custom(64);
    for (int& w : custom) w = 1 + static_cast<int>(rng() % 255);
    const std::vector<int>* matrices[] = {&tables().intra, &custom};
    for (const auto* matrix : matrices) {
        std::vector<std::uint8_t> m8(matrix->begin(), matrix->end());
        for (int q : {1, 2, 5, 17, 31}) {
            SetQuant(q, matrix == &tables().intra ? nullptr : m8.data());
            for (int n = 0; n < 500; ++n) {
                std::vector<std::int16_t> coeffs(64, 0);
                coeffs[0] = static_cast<std::int16_t>(rng() % 256);
                for (int i = 1; i < 64; ++i) {
                    if (rng() % 3 == 0)
                        coeffs[i] = static_cast<std::int16_t>(int(rng() % 511) - 255);
                }
                std::int16_t block[64];
                IZZQ(block, coeffs.data());
                const auto ref = ReferenceIzzq(coeffs, q, *matrix);
                ASSERT_EQ(ref, std::vector<int>(block, block + 64)) << "q " << q;
            }
        }
    }
    SetQuant(1, nullptr);
}

// ---- IEEE 1180-1990 ----

struct Ieee1180Random {
    long randx = 1;
    long Next(long lo, long hi) {
        randx = (randx * 1103515245 + 12345) & 0xFFFFFFFFL;
        const long i = randx & 0x7ffffffeL;
        double x = static_cast<double>(i) / static_cast<double>(0x7fffffff);
        x *= static_cast<double>(hi + lo + 1);
        return static_cast<long>(x) - lo;
    }
};

// Double-precision separable transforms; basis[k][n] = C(k) / 2 * cos((2n + 1) k pi / 16).
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

// inverse = false: out[v][u] = sum c[v][y] c[u][x] in[y][x]; true: the transpose.
void ReferenceTransform(const double in[64], double out[64], bool inverse) {
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

struct Ieee1180Case {
    long lo, hi;
    int sign;
};

// The 1180 procedure for one range and sign on `transform`, which may refuse a block (false);
// returns how many of the 10000 blocks it took.
template <class Transform>
int RunIeee1180(const Ieee1180Case& c, Transform&& transform) {
    Ieee1180Random rng;
    double err[64] = {}, sqErr[64] = {};
    int peak = 0;
    int taken = 0;
    for (int n = 0; n < 10000; ++n) {
        double pixels[64], coef[64];
        for (double& p : pixels) p = static_cast<double>(c.sign * rng.Next(c.lo, c.hi));
        ReferenceTransform(pixels, coef, false);
        std::int16_t block[64];
        double rounded[64];
        for (int i = 0; i < 64; ++i) {
            rounded[i] = std::clamp(std::floor(coef[i] + 0.5), -2048.0, 2047.0);
            block[i] = static_cast<std::int16_t>(rounded[i]);
        }
        double ref[64];
        ReferenceTransform(rounded, ref, true);
        if (!transform(block)) continue;
        ++taken;
        for (int i = 0; i < 64; ++i) {
            const double r = std::clamp(std::floor(ref[i] + 0.5), -256.0, 255.0);
            const double t = std::clamp<double>(block[i], -256.0, 255.0);
            const double e = t - r;
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

TEST(Idct, PassesIeee1180Procedure) {
    const Ieee1180Case cases[] = {{256, 255, 1},  {5, 5, 1},  {300, 300, 1},
                                  {256, 255, -1}, {5, 5, -1}, {300, 300, -1}};
    for (const Ieee1180Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "range -" << c.lo << ".." << c.hi << " sign " << c.sign);
        RunIeee1180(c, [](std::int16_t* block) {
            Idct(block);
            return true;
        });
    }
}

// Most real blocks take the fixed-point transform, while 1180's wide ranges mostly exceed its
// AC limit; the procedure on ranges it takes whole, so its own accuracy is what is measured.
TEST(Idct, FixedPointPassesIeee1180ProcedureOnTheBlocksItTakes) {
#if !defined(__SSE2__)
    GTEST_SKIP() << "the fixed-point transform is the SSE2 build's";
#endif
    const Ieee1180Case cases[] = {{5, 5, 1}, {20, 20, 1}, {40, 40, 1}, {5, 5, -1}, {20, 20, -1}, {40, 40, -1}};
    for (const Ieee1180Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "range -" << c.lo << ".." << c.hi << " sign " << c.sign);
        EXPECT_GE(RunIeee1180(c, droskal::extlib::IdctFixedPoint), 9000);
    }
}

TEST(Idct, ZeroAndDcOnlyBlocks) {
    std::int16_t zero[64] = {};
    Idct(zero);
    EXPECT_TRUE(std::all_of(zero, zero + 64, [](std::int16_t v) { return v == 0; }));

    for (int dc : {1024, 8, -8, 2040, -2048, 20}) {
        std::int16_t block[64] = {};
        block[0] = static_cast<std::int16_t>(dc);
        Idct(block);
        const int expected = static_cast<int>(std::floor(dc / 8.0 + 0.5));
        for (int i = 0; i < 64; ++i) ASSERT_EQ(expected, block[i]) << "dc " << dc << " i " << i;
    }
}

TEST(Idct, SingleCoefficientOrientation) {
    // Coefficient (row 0, col 1) varies horizontally only; its transpose vertically only.
    std::int16_t horiz[64] = {};
    horiz[1] = 400;
    Idct(horiz);
    std::int16_t vert[64] = {};
    vert[8] = 400;
    Idct(vert);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(horiz[x], horiz[y * 8 + x]);
            EXPECT_EQ(vert[y * 8], vert[y * 8 + x]);
            EXPECT_EQ(horiz[x], vert[x * 8]);
        }
    EXPECT_GT(horiz[0], 0);
    EXPECT_LT(horiz[7], 0);
}

// ---- Block placement ----

struct CopyCase {
    const char* name;
    void (*copy)(std::uint8_t*, const std::int16_t*);
    int rowBytes, height;
    bool chroma;
    int channel, x, r;
};

TEST(CopyBlock, PlacesEverySampleAndNothingElse) {
    const CopyCase cases[] = {
        {"VgaY", CopyBlockVgaY, 1920, 480, false, 0, 632, 0},
        {"VgaY top", CopyBlockVgaY, 1920, 480, false, 0, 0, 472},
        {"CifY", CopyBlockCifY, 960, 240, false, 0, 312, 232},
        {"VgaC Cb", CopyBlockVgaC, 1920, 480, true, 1, 624, 464},
        {"VgaC Cr", CopyBlockVgaC, 1920, 480, true, 2, 0, 0},
        {"CifC Cr", CopyBlockCifC, 960, 240, true, 2, 304, 224},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(c.rowBytes * c.height), 0xEE);
        std::int16_t block[64];
        for (int i = 0; i < 64; ++i)
            block[i] = static_cast<std::int16_t>(c.chroma ? i - 32 : i + 10);
        block[5] = c.chroma ? 200 : 300;  // clamps high
        block[6] = c.chroma ? -200 : -5;  // clamps low
        c.copy(buf.data() + c.r * c.rowBytes + c.x * 3 + c.channel, block);

        std::vector<std::uint8_t> expect(buf.size(), 0xEE);
        for (int k = 0; k < 8; ++k)
            for (int col = 0; col < 8; ++col) {
                const int v = block[k * 8 + col];
                if (!c.chroma) {
                    const auto s = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
                    expect[(c.r + 7 - k) * c.rowBytes + (c.x + col) * 3] = s;
                } else {
                    const auto s = static_cast<std::uint8_t>(std::clamp(v, -128, 127) & 0xFF);
                    expect[(c.r + 15 - 2 * k) * c.rowBytes + (c.x + 2 * col) * 3 + c.channel] = s;
                    expect[(c.r + 15 - 2 * k) * c.rowBytes + (c.x + 2 * col + 1) * 3 + c.channel] =
                        s;
                    expect[(c.r + 14 - 2 * k) * c.rowBytes + (c.x + 2 * col) * 3 + c.channel] = s;
                    expect[(c.r + 14 - 2 * k) * c.rowBytes + (c.x + 2 * col + 1) * 3 + c.channel] =
                        s;
                }
            }
        ASSERT_TRUE(buf == expect);
    }
}

// ---- Colour conversion ----

struct Rgb {
    double r, g, b;
};

// BT.601 studio range, chroma centred on zero, to full-range RGB.
Rgb ReferenceRgb(int y, int cb, int cr) {
    const double ys = (y - 16) * 255.0 / 219.0;
    const double k = 255.0 / 224.0;
    return {ys + 1.402 * k * cr,
            ys - (1.772 * 0.114 / 0.587) * k * cb - (1.402 * 0.299 / 0.587) * k * cr,
            ys + 1.772 * k * cb};
}

TEST(YUVtoRGB, KnownColoursInBlueGreenRedOrder) {
    struct Case {
        const char* name;
        int y, cb, cr;  // cb, cr centred on zero
        int b, g, r;
    };
    const Case cases[] = {
        {"black", 16, 0, 0, 0, 0, 0},        {"white", 235, 0, 0, 255, 255, 255},
        {"grey", 126, 0, 0, 128, 128, 128},  {"red", 81, -38, 112, 0, 0, 255},
        {"green", 145, -74, -94, 0, 255, 0}, {"blue", 41, 112, -18, 255, 0, 0},
        {"below black", 0, 0, 0, 0, 0, 0},   {"above white", 255, 0, 0, 255, 255, 255},
    };
    for (const Case& c : cases) {
        std::uint8_t px[6] = {static_cast<std::uint8_t>(c.y),
                              static_cast<std::uint8_t>(c.cb),
                              static_cast<std::uint8_t>(c.cr),
                              16,
                              0,
                              0};
        YUVtoRGB(px, 1);
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(c.b, px[0], 1);
        EXPECT_NEAR(c.g, px[1], 1);
        EXPECT_NEAR(c.r, px[2], 1);
        EXPECT_EQ(16, px[3]) << "pixel beyond the count was touched";
    }
}

TEST(YUVtoRGB, EveryInputWithinOneOfDoublePrecision) {
    std::vector<std::uint8_t> buf(256 * 256 * 256 * 3);
    for (int i = 0; i < 256 * 256 * 256; ++i) {
        buf[i * 3] = static_cast<std::uint8_t>(i >> 16);
        buf[i * 3 + 1] = static_cast<std::uint8_t>(i >> 8);
        buf[i * 3 + 2] = static_cast<std::uint8_t>(i);
    }
    YUVtoRGB(buf.data(), 256 * 256 * 256);
    int worst = 0;
    for (int i = 0; i < 256 * 256 * 256; ++i) {
        const Rgb ref =
            ReferenceRgb(i >> 16, static_cast<std::int8_t>(i >> 8), static_cast<std::int8_t>(i));
        const double want[3] = {ref.b, ref.g, ref.r};
        for (int ch = 0; ch < 3; ++ch) {
            const double w = std::clamp(std::floor(want[ch] + 0.5), 0.0, 255.0);
            worst = std::max(worst, static_cast<int>(std::abs(w - buf[i * 3 + ch])));
        }
    }
    EXPECT_LE(worst, 1);
}

}  // namespace
