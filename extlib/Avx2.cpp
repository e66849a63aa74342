// The AVX2 unit: the fixed-point inverse DCT on two blocks at once and the colour conversion
// 32 pixels a step, the kernels of IdctKernel.h and ColourKernel.h over 256-bit vectors. This
// file alone is built for AVX2 and is only reached when the processor has it; see
// IdctKernel.h for what it may include.
#if defined(DROSKAL_AVX2_FILE)

#include "extlib/ColourKernel.h"
#include "extlib/IdctKernel.h"
#include "extlib/Kernels.h"

namespace droskal::extlib {
namespace {

// pshufb masks that spread 16 blue, green and red bytes over the 48 bytes of 16 pixels:
// kSpread[k][c] builds bytes 16 k .. 16 k + 15 from channel c (the same in both halves).
struct SpreadMasks {
    alignas(32) std::uint8_t m[3][3][32];
};
constexpr SpreadMasks kSpread = [] {
    SpreadMasks s{};
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c)
            for (int t = 0; t < 32; ++t) {
                const int j = 16 * k + t % 16;
                s.m[k][c][t] = static_cast<std::uint8_t>(j % 3 == c ? j / 3 : 0x80);
            }
    return s;
}();

struct Avx2 {
    using V = __m256i;
    static constexpr int kPixels = 32;
    static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub32(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V Madd(V a, V b) { return _mm256_madd_epi16(a, b); }
    static V MulLo(V a, V b) { return _mm256_mullo_epi16(a, b); }
    static V MulHi(V a, V b) { return _mm256_mulhi_epi16(a, b); }
    template <int n>
    static V Sra32(V a) {
        return _mm256_srai_epi32(a, n);
    }
    template <int n>
    static V Sll32(V a) {
        return _mm256_slli_epi32(a, n);
    }
    template <int n>
    static V Srl16(V a) {
        return _mm256_srli_epi16(a, n);
    }
    static V Packs32(V a, V b) { return _mm256_packs_epi32(a, b); }
    static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
    static V CmpGt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
    static V Lo8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
    static V Hi8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
    static V Lo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
    static V Hi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
    static V Lo32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
    static V Hi32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
    static V Lo64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
    static V Hi64(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
    static V Set16(int v) { return _mm256_set1_epi16(static_cast<short>(v)); }
    static V Set32(int v) { return _mm256_set1_epi32(v); }
    static V Zero() { return _mm256_setzero_si256(); }

    static V LoadLuma(const std::uint8_t* y) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    }
    // 16 chroma bytes widened in order to signed 16-bit lanes.
    static V LoadChroma(const std::uint8_t* c) {
        return _mm256_cvtepi8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c)));
    }
    // 32 pixels: pixels 0..15 come from the lower halves, 16..31 from the upper.
    static void StoreBgr(const V (&ch)[3][2], std::uint8_t* dst, bool) {
        const V channel[3] = {_mm256_packus_epi16(ch[0][0], ch[0][1]),
                              _mm256_packus_epi16(ch[1][0], ch[1][1]),
                              _mm256_packus_epi16(ch[2][0], ch[2][1])};
        for (int part = 0; part < 3; ++part) {
            V bytes = Zero();
            for (int c = 0; c < 3; ++c) {
                const V mask =
                    _mm256_load_si256(reinterpret_cast<const __m256i*>(kSpread.m[part][c]));
                bytes = _mm256_or_si256(bytes, _mm256_shuffle_epi8(channel[c], mask));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * part),
                             _mm256_castsi256_si128(bytes));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 48 + 16 * part),
                             _mm256_extracti128_si256(bytes, 1));
        }
    }
};

}  // namespace

namespace {

// Two blocks' rows, A in the lower halves and B in the upper, the DC lanes cleared.
void LoadPair(const std::int16_t* coeffsA, const std::int16_t* coeffsB, __m256i in[8]) {
    for (int v = 0; v < 8; ++v) {
        in[v] = _mm256_inserti128_si256(
            _mm256_castsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(coeffsA + v * 8))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(coeffsB + v * 8)), 1);
    }
    in[0] = _mm256_and_si256(
        in[0], _mm256_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0, -1, -1, -1, -1, -1, -1, -1, 0));
}

// The pair's rows through the fixed-point transform, each DC in its own half's bias.
void PairRows(const __m256i in[8], int dcA, std::uint64_t occupiedA, int dcB,
              std::uint64_t occupiedB, __m256i rows[8]) {
    const __m256i bias2 =
        _mm256_set_m128i(_mm_set1_epi32(FinalBias(dcB)), _mm_set1_epi32(FinalBias(dcA)));
    // The shape both share: a superset of either block's is fine.
    const std::uint64_t occupied = occupiedA | occupiedB;
    IdctFixedShaped<Avx2>(in, bias2, Rows4(occupied), Cols4(occupied), rows);
}

void StoreRows(const __m256i rows[8], std::int16_t* outA, std::int16_t* outB) {
    for (int y = 0; y < 8; ++y) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outA + y * 8), _mm256_castsi256_si128(rows[y]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outB + y * 8),
                         _mm256_extracti128_si256(rows[y], 1));
    }
}

void StoreRowBytes(const __m256i rows[8], bool chroma, std::uint8_t* outA, std::uint8_t* outB,
                   int stride) {
    for (int y = 0; y < 8; ++y) {
        // Saturating packs clamp exactly as the copies do; each half keeps its own block.
        const __m256i bytes =
            chroma ? _mm256_packs_epi16(rows[y], rows[y]) : _mm256_packus_epi16(rows[y], rows[y]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(outA + y * stride),
                         _mm256_castsi256_si128(bytes));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(outB + y * stride),
                         _mm256_extracti128_si256(bytes, 1));
    }
}

}  // namespace

void IdctFixedPairAvx2(const std::int16_t* coeffsA, std::int16_t* outA, std::uint64_t occupiedA,
                       const std::int16_t* coeffsB, std::int16_t* outB, std::uint64_t occupiedB) {
    __m256i in[8], rows[8];
    LoadPair(coeffsA, coeffsB, in);
    PairRows(in, coeffsA[0], occupiedA, coeffsB[0], occupiedB, rows);
    StoreRows(rows, outA, outB);
}

void IdctFixedPairBytesAvx2(const std::int16_t* coeffsA, std::uint64_t occupiedA,
                            const std::int16_t* coeffsB, std::uint64_t occupiedB, bool chroma,
                            std::uint8_t* outA, std::uint8_t* outB, int stride) {
    __m256i in[8], rows[8];
    LoadPair(coeffsA, coeffsB, in);
    PairRows(in, coeffsA[0], occupiedA, coeffsB[0], occupiedB, rows);
    StoreRowBytes(rows, chroma, outA, outB, stride);
}

namespace {

// Both blocks' |AC| sums into sums, from the loaded pair; true when both fit the fixed-point
// transform.
bool PairFits(const __m256i in[8], int sums[2]) {
    // Summed down the columns (at most 8 x 2048 a lane), then across each half.
    __m256i column = _mm256_abs_epi16(in[0]);
    for (int v = 1; v < 8; ++v) column = _mm256_add_epi16(column, _mm256_abs_epi16(in[v]));
    __m256i sum = _mm256_madd_epi16(column, _mm256_set1_epi16(1));
    sum = _mm256_add_epi32(sum, _mm256_shuffle_epi32(sum, 0x4E));
    sum = _mm256_add_epi32(sum, _mm256_shuffle_epi32(sum, 0xB1));
    sums[0] = _mm256_cvtsi256_si32(sum);
    sums[1] = _mm256_extract_epi32(sum, 4);
    return sums[0] <= kMaxAcSum && sums[1] <= kMaxAcSum;
}

}  // namespace

bool IdctCheckedPairAvx2(const std::int16_t* coeffsA, std::int16_t* outA, std::uint64_t occupiedA,
                         const std::int16_t* coeffsB, std::int16_t* outB, std::uint64_t occupiedB,
                         int sums[2]) {
    __m256i in[8];
    LoadPair(coeffsA, coeffsB, in);
    if (!PairFits(in, sums)) return false;
    __m256i rows[8];
    PairRows(in, coeffsA[0], occupiedA, coeffsB[0], occupiedB, rows);
    StoreRows(rows, outA, outB);
    return true;
}

bool IdctCheckedPairBytesAvx2(const std::int16_t* coeffsA, std::uint64_t occupiedA,
                              const std::int16_t* coeffsB, std::uint64_t occupiedB, bool chroma,
                              std::uint8_t* outA, std::uint8_t* outB, int stride, int sums[2]) {
    __m256i in[8];
    LoadPair(coeffsA, coeffsB, in);
    if (!PairFits(in, sums)) return false;
    __m256i rows[8];
    PairRows(in, coeffsA[0], occupiedA, coeffsB[0], occupiedB, rows);
    StoreRowBytes(rows, chroma, outA, outB, stride);
    return true;
}

int RowPairAvx2(const std::uint8_t* y0, const std::uint8_t* cbRow, const std::uint8_t* crRow, int x,
                int width, std::uint8_t* out0, std::uint8_t* out1) {
    return RowPairKernel<Avx2>(y0, cbRow, crRow, x, width, out0, out1);
}

}  // namespace droskal::extlib

#endif
