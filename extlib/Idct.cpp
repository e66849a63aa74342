// 8x8 inverse DCT through the dispatch table (Kernels.h). With SSE2 most blocks take a 16-bit
// fixed-point transform (IdctKernel.h; with AVX2 two blocks at once); the rest, and every
// block of the plain unit, a separable floating-point one. Single precision is far inside the
// IEEE 1180 limits for the 12-bit coefficient range, and rows of zeros (most of them) are
// skipped. The SSE2 float version splits each 1-D transform into even and odd halves and runs
// four columns per vector; it differs from the plain loops only in float rounding, far below
// 1180's limits, so each unit is checked against the exact transform on its own.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "extlib/IdctFast.h"
#include "extlib/Kernels.h"
#include "extlib/KorvanMpeg.h"
#if defined(__SSE2__)
#include "extlib/IdctKernel.h"
#include "extlib/VectorSse2.h"
#else
namespace droskal::extlib {
constexpr int kMaxAcSum = 2040;  // as IdctKernel.h: what the fixed-point transform takes
}
#endif

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

std::int16_t RoundToSample(float v) {
    const float r = std::floor(v + 0.5f);
    if (r > 32767.0f) return 32767;
    if (r < -32768.0f) return -32768;
    return static_cast<std::int16_t>(r);
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
        const __m128 o =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(b.odd[y][0], in[1]), _mm_mul_ps(b.odd[y][1], in[3])),
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

// in: the rows with the DC lane cleared.
void FixedPointShaped(const __m128i in[8], int dc, bool rows4, bool cols4, std::int16_t* block) {
    __m128i rows[8];
    IdctFixedShaped<Sse2>(in, _mm_set1_epi32(FinalBias(dc)), rows4, cols4, rows);
    for (int y = 0; y < 8; ++y)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + y * 8), rows[y]);
}

#endif

}  // namespace

namespace droskal::extlib {

#if defined(__SSE2__)
void IdctFixedSse2(const std::int16_t* coeffs, std::int16_t* out, std::uint64_t occupied) {
    __m128i in[8];
    for (int v = 0; v < 8; ++v)
        in[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coeffs + v * 8));
    in[0] = _mm_and_si128(in[0], _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
    FixedPointShaped(in, coeffs[0], Rows4(occupied), Cols4(occupied), out);
}

void IdctFloatSse2(std::int16_t* block) {
    IdctFloat(block);
}
#endif

void IdctFloatPlain(std::int16_t* block) {
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

namespace {

// The shape the fixed-point transform and the DC-only shortcut need, worked out plainly.
struct Shape {
    int acAbsSum = 0;
    std::uint64_t occupied = 0;
};
Shape ShapeOf(const std::int16_t* block) {
    Shape s;
    for (int i = 1; i < 64; ++i) {
        s.acAbsSum += std::abs(block[i]);
        if (block[i] != 0) s.occupied |= std::uint64_t{1} << i;
    }
    return s;
}

// The sum of |AC| alone, for the units that do not add it up themselves: all 64 in one
// pass, which the compiler turns into vector code, less the DC.
int AcAbsSum(const std::int16_t* block) {
    int sum = 0;
    for (int i = 0; i < 64; ++i) sum += std::abs(block[i]);
    return sum - std::abs(block[0]);
}

bool FitsFixedPoint(const std::int16_t* coeffs, int acAbsSum) {
    return acAbsSum <= kMaxAcSum && coeffs[0] >= -2048 && coeffs[0] <= 2048;
}

}  // namespace

bool IdctFixedPoint(std::int16_t* block) {
    const Shape shape = ShapeOf(block);
    const Kernels& k = KernelsFor(Simd::Sse2);
    if (!k.fixedPoint || !FitsFixedPoint(block, shape.acAbsSum)) return false;
    k.fixedPoint(block, block, shape.occupied);
    return true;
}

void IdctDecoded(const std::int16_t* coeffs, std::int16_t* out, int acAbsSum,
                 std::uint64_t occupied, Simd simd) {
    if (acAbsSum == 0) {
        // The exact result is DC / 8 everywhere; rounding halves up like the full path.
        const auto v = static_cast<std::int16_t>((coeffs[0] + 4) >> 3);
        for (int i = 0; i < 64; ++i) out[i] = v;
        return;
    }
    const Kernels& k = KernelsFor(simd);
    if (k.fixedPoint && FitsFixedPoint(coeffs, acAbsSum)) {
        k.fixedPoint(coeffs, out, occupied);
        return;
    }
    if (out != coeffs) std::copy(coeffs, coeffs + 64, out);
    k.floatIdct(out);
}

void IdctWith(Simd simd, std::int16_t* block) {
    const Shape shape = ShapeOf(block);
    IdctDecoded(block, block, shape.acAbsSum, shape.occupied, simd);
}

void IdctDecodedPair(const std::int16_t* coeffsA, std::int16_t* outA, int acAbsSumA,
                     std::uint64_t occupiedA, const std::int16_t* coeffsB, std::int16_t* outB,
                     int acAbsSumB, std::uint64_t occupiedB, Simd simd) {
    // Both blocks must take the fixed-point transform; DC-only ones are cheaper alone.
    static const Kernels& best = KernelsFor(BestSimd());
    const Kernels& k = simd == BestSimd() ? best : KernelsFor(simd);
    if (k.fixedPair && acAbsSumA > 0 && acAbsSumB > 0 && FitsFixedPoint(coeffsA, acAbsSumA) &&
        FitsFixedPoint(coeffsB, acAbsSumB)) {
        k.fixedPair(coeffsA, outA, occupiedA, coeffsB, outB, occupiedB);
        return;
    }
    IdctDecoded(coeffsA, outA, acAbsSumA, occupiedA, simd);
    IdctDecoded(coeffsB, outB, acAbsSumB, occupiedB, simd);
}

namespace {

// A sample as the copies store it: luma clamped to 0..255, chroma to -128..127 as its
// two's-complement byte.
std::uint8_t SampleByte(int v, bool chroma) {
    return chroma ? static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp(v, -128, 127)))
                  : static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// One block of samples into bytes, the plain unit one at a time, the others a row a step.
void StoreBytes(const std::int16_t* samples, bool chroma, std::uint8_t* out, int stride,
                Simd simd) {
    for (int y = 0; y < 8; ++y) {
        const std::int16_t* const row = samples + 8 * y;
        std::uint8_t* const dst = out + y * stride;
#if defined(__SSE2__)
        if (simd != Simd::Plain) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst),
                             chroma ? _mm_packs_epi16(v, v) : _mm_packus_epi16(v, v));
            continue;
        }
#endif
        for (int x = 0; x < 8; ++x) dst[x] = SampleByte(row[x], chroma);
    }
}

// One block of a pair the byte kernel does not take: DC-only ones are one byte everywhere
// (IdctDecoded's DC / 8, rounded), the rest go through IdctDecoded.
void BlockToBytes(const std::int16_t* coeffs, int acAbsSum, std::uint64_t occupied, bool chroma,
                  std::uint8_t* out, int stride, Simd simd) {
    if (acAbsSum == 0) {
        const std::uint8_t b = SampleByte(static_cast<std::int16_t>((coeffs[0] + 4) >> 3), chroma);
        for (int y = 0; y < 8; ++y) std::memset(out + y * stride, b, 8);
        return;
    }
    alignas(16) std::int16_t samples[64];
    IdctDecoded(coeffs, samples, acAbsSum, occupied, simd);
    StoreBytes(samples, chroma, out, stride, simd);
}

}  // namespace

namespace {

void PairToBytesWith(const Kernels& k, Simd simd, const std::int16_t* coeffsA, int acAbsSumA,
                     std::uint64_t occupiedA, const std::int16_t* coeffsB, int acAbsSumB,
                     std::uint64_t occupiedB, bool chroma, std::uint8_t* outA, std::uint8_t* outB,
                     int stride) {
    // A DC-only block rides along with a partner that needs the transform: the kernel gives
    // it the same DC / 8 everywhere (its bias alone, rounded the same way), at no extra cost.
    if (k.fixedPairBytes && (acAbsSumA > 0 || acAbsSumB > 0) &&
        FitsFixedPoint(coeffsA, acAbsSumA) && FitsFixedPoint(coeffsB, acAbsSumB)) {
        k.fixedPairBytes(coeffsA, occupiedA, coeffsB, occupiedB, chroma, outA, outB, stride);
        return;
    }
    BlockToBytes(coeffsA, acAbsSumA, occupiedA, chroma, outA, stride, simd);
    BlockToBytes(coeffsB, acAbsSumB, occupiedB, chroma, outB, stride, simd);
}

}  // namespace

void IdctDecodedPairToBytes(const std::int16_t* coeffsA, int acAbsSumA, std::uint64_t occupiedA,
                            const std::int16_t* coeffsB, int acAbsSumB, std::uint64_t occupiedB,
                            bool chroma, std::uint8_t* outA, std::uint8_t* outB, int stride,
                            Simd simd) {
    PairToBytesWith(KernelsFor(simd), simd, coeffsA, acAbsSumA, occupiedA, coeffsB, acAbsSumB,
                    occupiedB, chroma, outA, outB, stride);
}

namespace {

constexpr std::uint64_t kAc = ~std::uint64_t{1};

// A pair from a decoder that does not sum AC magnitudes: the unit's checked kernel (`checked`,
// called with sums) takes it where both DCs fit; true when it did. Otherwise sums holds both
// blocks' sums, 0 for one with nothing coded past its DC, for the way the pair goes with them.
template <class Checked>
bool CheckedOrSums(bool haveChecked, const std::int16_t* coeffsA, std::uint64_t occupiedA,
                   const std::int16_t* coeffsB, std::uint64_t occupiedB, int sums[2],
                   Checked&& checked) {
    sums[0] = sums[1] = 0;
    if (((occupiedA | occupiedB) & kAc) == 0) return false;
    if (haveChecked && FitsFixedPoint(coeffsA, 0) && FitsFixedPoint(coeffsB, 0))
        return checked(sums);
    sums[0] = (occupiedA & kAc) != 0 ? AcAbsSum(coeffsA) : 0;
    sums[1] = (occupiedB & kAc) != 0 ? AcAbsSum(coeffsB) : 0;
    return false;
}

inline void CodedPairWith(const Kernels& kernels, Simd simd, const std::int16_t* coeffsA,
                          std::uint64_t occupiedA, const std::int16_t* coeffsB,
                          std::uint64_t occupiedB, bool chroma, std::uint8_t* outA,
                          std::uint8_t* outB, int stride) {
    int sums[2];
    if (CheckedOrSums(kernels.checkedPairBytes != nullptr, coeffsA, occupiedA, coeffsB, occupiedB,
                      sums, [&](int* s) {
                          return kernels.checkedPairBytes(coeffsA, occupiedA, coeffsB, occupiedB,
                                                          chroma, outA, outB, stride, s);
                      }))
        return;
    PairToBytesWith(kernels, simd, coeffsA, sums[0], occupiedA, coeffsB, sums[1], occupiedB, chroma,
                    outA, outB, stride);
}

// The widest unit, looked up once.
struct Best {
    Simd simd = BestSimd();
    const Kernels& kernels = KernelsFor(simd);
};
const Best& BestUnit() {
    static const Best best;
    return best;
}

}  // namespace

void IdctCodedPairToBytes(const std::int16_t* coeffsA, std::uint64_t occupiedA,
                          const std::int16_t* coeffsB, std::uint64_t occupiedB, bool chroma,
                          std::uint8_t* outA, std::uint8_t* outB, int stride) {
    const Best& best = BestUnit();
    CodedPairWith(best.kernels, best.simd, coeffsA, occupiedA, coeffsB, occupiedB, chroma, outA,
                  outB, stride);
}

void IdctCodedPair(const std::int16_t* coeffsA, std::int16_t* outA, std::uint64_t occupiedA,
                   const std::int16_t* coeffsB, std::int16_t* outB, std::uint64_t occupiedB) {
    const Best& best = BestUnit();
    int sums[2];
    if (CheckedOrSums(best.kernels.checkedPair != nullptr, coeffsA, occupiedA, coeffsB, occupiedB,
                      sums, [&](int* s) {
                          return best.kernels.checkedPair(coeffsA, outA, occupiedA, coeffsB, outB,
                                                          occupiedB, s);
                      }))
        return;
    IdctDecodedPair(coeffsA, outA, sums[0], occupiedA, coeffsB, outB, sums[1], occupiedB,
                    best.simd);
}

void IdctCodedMacroblockToBytes(const std::int16_t (*coeffs)[64], const std::uint64_t occupied[6],
                                std::uint8_t* y, int stride, std::uint8_t* cb, std::uint8_t* cr,
                                int chromaStride) {
    const Best& best = BestUnit();
    // Luma side by side, upper pair then lower, then Cb with Cr.
    for (int b = 0; b < 4; b += 2) {
        std::uint8_t* const left = y + (b / 2) * 8 * stride;
        CodedPairWith(best.kernels, best.simd, coeffs[b], occupied[b], coeffs[b + 1],
                      occupied[b + 1], false, left, left + 8, stride);
    }
    CodedPairWith(best.kernels, best.simd, coeffs[4], occupied[4], coeffs[5], occupied[5], true, cb,
                  cr, chromaStride);
}

}  // namespace droskal::extlib

extern "C" void Idct(std::int16_t* block) {
    droskal::extlib::IdctWith(droskal::extlib::BestSimd(), block);
}
