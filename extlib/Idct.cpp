// 8x8 inverse DCT. With SSE2 most blocks take a 16-bit fixed-point transform (IdctKernel.h;
// with AVX2 two blocks at once); the rest, and every block without SSE2, a separable
// floating-point one. Single precision is far inside the IEEE 1180 limits for the 12-bit
// coefficient range, and rows of zeros (most of them) are skipped.
// The SSE2 float version splits each 1-D transform into even and odd halves and runs four
// columns per vector; it differs from the scalar loops only in float rounding, far below
// 1180's limits.

#include <algorithm>
#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>

#include "extlib/IdctKernel.h"
#endif

#include "extlib/IdctFast.h"
#include "extlib/KorvanMpeg.h"

using namespace droskal::extlib;

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

[[maybe_unused]] std::int16_t RoundToSample(float v) {
    const float r = std::floor(v + 0.5f);
    if (r > 32767.0f) return 32767;
    if (r < -32768.0f) return -32768;
    return static_cast<std::int16_t>(r);
}

bool AcZero(const std::int16_t* block) {
    bool acZero = true;
    for (int i = 1; i < 64 && acZero; ++i) acZero = block[i] == 0;
    return acZero;
}

void DcOnly(std::int16_t* block) {
    // The exact result is DC / 8 everywhere; rounding halves up like the full path.
    const auto v = static_cast<std::int16_t>((block[0] + 4) >> 3);
    for (int i = 0; i < 64; ++i) block[i] = v;
}

#if defined(__SSE2__)

// Even and odd halves of the 1-D transform: out[y] = E[y] + O[y], out[7 - y] = E[y] - O[y]
// for y = 0..3, with E from the even-frequency inputs and O from the odd ones, since
// c[k][7 - y] = (-1)^k c[k][y]. Half the multiplies of the plain sum, same transform.
struct VectorBasis {
    __m128 even[4][4];  // even[y][j] = splat c[2j][y]
    __m128 odd[4][4];   // odd[y][j] = splat c[2j + 1][y]
};

const VectorBasis& IdctVectorBasis() {
    static const VectorBasis vb = [] {
        const Basis& b = IdctBasis();
        VectorBasis v{};
        for (int y = 0; y < 4; ++y) {
            for (int j = 0; j < 4; ++j) {
                v.even[y][j] = _mm_set1_ps(b.c[2 * j][y]);
                v.odd[y][j] = _mm_set1_ps(b.c[2 * j + 1][y]);
            }
        }
        return v;
    }();
    return vb;
}

// out[y] = sum over v of c[v][y] in[v], four lanes at once.
inline void Transform8(const VectorBasis& b, const __m128 in[8], __m128 out[8]) {
    for (int y = 0; y < 4; ++y) {
        const __m128 e = _mm_add_ps(
            _mm_add_ps(_mm_mul_ps(b.even[y][0], in[0]), _mm_mul_ps(b.even[y][1], in[2])),
            _mm_add_ps(_mm_mul_ps(b.even[y][2], in[4]), _mm_mul_ps(b.even[y][3], in[6])));
        const __m128 o = _mm_add_ps(
            _mm_add_ps(_mm_mul_ps(b.odd[y][0], in[1]), _mm_mul_ps(b.odd[y][1], in[3])),
            _mm_add_ps(_mm_mul_ps(b.odd[y][2], in[5]), _mm_mul_ps(b.odd[y][3], in[7])));
        out[y] = _mm_add_ps(e, o);
        out[7 - y] = _mm_sub_ps(e, o);
    }
}

// floor(v + 0.5f), four lanes; |v| stays far below 2^24 here.
__m128i RoundLanes(__m128 v) {
    const __m128 t = _mm_add_ps(v, _mm_set1_ps(0.5f));
    const __m128i i = _mm_cvttps_epi32(t);
    // Truncation rounds negative non-integers up; step those down by one.
    const __m128 above = _mm_cmpgt_ps(_mm_cvtepi32_ps(i), t);
    return _mm_add_epi32(i, _mm_castps_si128(above));
}

// 8x8 float transpose of [row][half] vectors.
inline void Transpose(__m128 lo[8], __m128 hi[8]) {
    __m128 a0 = lo[0], a1 = lo[1], a2 = lo[2], a3 = lo[3];
    __m128 b0 = hi[0], b1 = hi[1], b2 = hi[2], b3 = hi[3];
    __m128 c0 = lo[4], c1 = lo[5], c2 = lo[6], c3 = lo[7];
    __m128 d0 = hi[4], d1 = hi[5], d2 = hi[6], d3 = hi[7];
    _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
    _MM_TRANSPOSE4_PS(b0, b1, b2, b3);
    _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
    _MM_TRANSPOSE4_PS(d0, d1, d2, d3);
    lo[0] = a0, lo[1] = a1, lo[2] = a2, lo[3] = a3;
    hi[0] = c0, hi[1] = c1, hi[2] = c2, hi[3] = c3;
    lo[4] = b0, lo[5] = b1, lo[6] = b2, lo[7] = b3;
    hi[4] = d0, hi[5] = d1, hi[6] = d2, hi[7] = d3;
}

void IdctFloat(std::int16_t* block) {
    const VectorBasis& b = IdctVectorBasis();
    __m128 lo[8], hi[8];
    for (int v = 0; v < 8; ++v) {
        const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + v * 8));
        const __m128i sign = _mm_srai_epi16(row, 15);
        lo[v] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(row, sign));
        hi[v] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(row, sign));
    }
    // Columns (lanes across x), then rows the same way on the transpose.
    __m128 tlo[8], thi[8];
    Transform8(b, lo, tlo);
    Transform8(b, hi, thi);
    Transpose(tlo, thi);
    Transform8(b, tlo, lo);
    Transform8(b, thi, hi);
    Transpose(lo, hi);
    for (int y = 0; y < 8; ++y) {
        const __m128i packed = _mm_packs_epi32(RoundLanes(lo[y]), RoundLanes(hi[y]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + y * 8), packed);
    }
}

// The fixed-point transform (IdctKernel.h) on 128-bit vectors: four columns of one block.
struct Sse2 {
    using V = __m128i;
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm_sub_epi32(a, b); }
    static V Madd(V a, V b) { return _mm_madd_epi16(a, b); }
    template <int n>
    static V Sra(V a) { return _mm_srai_epi32(a, n); }
    static V Packs(V a, V b) { return _mm_packs_epi32(a, b); }
    static V Lo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
    static V Hi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
    static V Lo32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
    static V Hi32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
    static V Lo64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
    static V Hi64(V a, V b) { return _mm_unpackhi_epi64(a, b); }
    static V Splat(int v) { return _mm_set1_epi32(v); }
    static V Zero() { return _mm_setzero_si128(); }
};

// in: the rows with the DC lane cleared.
void FixedPointShaped(const __m128i in[8], int dc, bool rows4, bool cols4, std::int16_t* block) {
    __m128i rows[8];
    IdctFixedShaped<Sse2>(in, _mm_set1_epi32(FinalBias(dc)), rows4, cols4, rows);
    for (int y = 0; y < 8; ++y) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + y * 8), rows[y]);
}

// From coeffs into out (the same array or not); false, out untouched, when it does not fit.
bool FixedPoint(const std::int16_t* coeffs, std::int16_t* block) {
    const int dc = coeffs[0];
    __m128i in[8];
    for (int v = 0; v < 8; ++v) in[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coeffs + v * 8));
    in[0] = _mm_and_si128(in[0], _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
    // Sum of |AC| with unsigned saturation (enough to compare with kMaxAcSum), and whether
    // rows 4..7 and columns 4..7 hold anything.
    __m128i sum = _mm_setzero_si128();
    __m128i all = _mm_setzero_si128();
    __m128i lower = _mm_setzero_si128();
    for (int v = 0; v < 8; ++v) {
        sum = _mm_adds_epu16(sum, _mm_max_epi16(in[v], _mm_sub_epi16(_mm_setzero_si128(), in[v])));
        all = _mm_or_si128(all, in[v]);
        if (v >= 4) lower = _mm_or_si128(lower, in[v]);
    }
    sum = _mm_adds_epu16(sum, _mm_srli_si128(sum, 8));
    sum = _mm_adds_epu16(sum, _mm_srli_si128(sum, 4));
    sum = _mm_adds_epu16(sum, _mm_srli_si128(sum, 2));
    if (dc < -2048 || dc > 2048 || _mm_extract_epi16(sum, 0) > kMaxAcSum) return false;
    const bool rows4 = _mm_movemask_epi8(_mm_cmpeq_epi16(lower, _mm_setzero_si128())) == 0xFFFF;
    const bool cols4 = _mm_cvtsi128_si64(_mm_srli_si128(all, 8)) == 0;
    FixedPointShaped(in, dc, rows4, cols4, block);
    return true;
}

// With the AC sum and the occupied positions known (a superset is fine: the cut-down
// variants only drop exact zeros).
bool FixedPointKnown(const std::int16_t* coeffs, std::int16_t* block, int acAbsSum, std::uint64_t occupied) {
    const int dc = coeffs[0];
    if (dc < -2048 || dc > 2048 || acAbsSum > kMaxAcSum) return false;
    __m128i in[8];
    for (int v = 0; v < 8; ++v) in[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coeffs + v * 8));
    in[0] = _mm_and_si128(in[0], _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
    FixedPointShaped(in, dc, Rows4(occupied), Cols4(occupied), block);
    return true;
}

void IdctFull(std::int16_t* block) {
    if (!FixedPoint(block, block)) IdctFloat(block);
}

#else

void IdctFull(std::int16_t* block) {
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

#endif

}  // namespace

namespace droskal::extlib {

bool IdctFixedPoint(std::int16_t* block) {
#if defined(__SSE2__)
    return FixedPoint(block, block);
#else
    (void)block;
    return false;
#endif
}

void IdctKnownAc(std::int16_t* block, bool acZero) {
    if (acZero) {
        DcOnly(block);
    } else {
        IdctFull(block);
    }
}

void IdctDecoded(const std::int16_t* coeffs, std::int16_t* out, int acAbsSum, std::uint64_t occupied) {
    if (acAbsSum == 0) {
        const auto v = static_cast<std::int16_t>((coeffs[0] + 4) >> 3);
        for (int i = 0; i < 64; ++i) out[i] = v;
        return;
    }
#if defined(__SSE2__)
    if (FixedPointKnown(coeffs, out, acAbsSum, occupied)) return;
#else
    (void)occupied;
#endif
    std::copy(coeffs, coeffs + 64, out);
    IdctFull(out);
}

Simd BestSimd() {
#if defined(DROSKAL_HAVE_AVX2_FILE)
    static const Simd best = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? Simd::Avx2 : Simd::Sse2;
    }();
    return best;
#elif defined(__SSE2__)
    return Simd::Sse2;
#else
    return Simd::Plain;
#endif
}

void IdctDecodedPair(const std::int16_t* coeffsA, std::int16_t* outA, int acAbsSumA, std::uint64_t occupiedA,
                     const std::int16_t* coeffsB, std::int16_t* outB, int acAbsSumB, std::uint64_t occupiedB,
                     Simd simd) {
#if defined(DROSKAL_HAVE_AVX2_FILE)
    // Both blocks must take the fixed-point transform; DC-only ones are cheaper alone.
    const auto fits = [](const std::int16_t* coeffs, int acAbsSum) {
        return acAbsSum > 0 && acAbsSum <= kMaxAcSum && coeffs[0] >= -2048 && coeffs[0] <= 2048;
    };
    if (simd == Simd::Avx2 && BestSimd() == Simd::Avx2 && fits(coeffsA, acAbsSumA) && fits(coeffsB, acAbsSumB)) {
        IdctFixedPairAvx2(coeffsA, outA, occupiedA, coeffsB, outB, occupiedB);
        return;
    }
#else
    (void)simd;
#endif
    IdctDecoded(coeffsA, outA, acAbsSumA, occupiedA);
    IdctDecoded(coeffsB, outB, acAbsSumB, occupiedB);
}

}  // namespace droskal::extlib

extern "C" void Idct(std::int16_t* block) {
    droskal::extlib::IdctKnownAc(block, AcZero(block));
}
