// The fixed-point inverse DCT on two blocks at once. This file alone is built for AVX2 and is
// only reached when the processor has it; see IdctKernel.h for what it may include.
#if defined(DROSKAL_AVX2_FILE)

#include "extlib/IdctKernel.h"

namespace droskal::extlib {
namespace {

struct Avx2 {
    using V = __m256i;
    static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V Madd(V a, V b) { return _mm256_madd_epi16(a, b); }
    template <int n>
    static V Sra(V a) { return _mm256_srai_epi32(a, n); }
    static V Packs(V a, V b) { return _mm256_packs_epi32(a, b); }
    static V Lo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
    static V Hi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
    static V Lo32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
    static V Hi32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
    static V Lo64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
    static V Hi64(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
    static V Splat(int v) { return _mm256_set1_epi32(v); }
    static V Zero() { return _mm256_setzero_si256(); }
};

}  // namespace

void IdctFixedPairAvx2(const std::int16_t* coeffsA, std::int16_t* outA, std::uint64_t occupiedA,
                       const std::int16_t* coeffsB, std::int16_t* outB, std::uint64_t occupiedB) {
    __m256i in[8];
    for (int v = 0; v < 8; ++v) {
        in[v] = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coeffsA + v * 8))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(coeffsB + v * 8)), 1);
    }
    // The DC lanes of both blocks cleared; each DC goes into its own half's bias.
    in[0] = _mm256_and_si256(in[0], _mm256_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0, -1, -1, -1, -1, -1, -1, -1, 0));
    const __m256i bias2 = _mm256_set_m128i(_mm_set1_epi32(FinalBias(coeffsB[0])), _mm_set1_epi32(FinalBias(coeffsA[0])));
    // The shape both share: a superset of either block's is fine.
    const std::uint64_t occupied = occupiedA | occupiedB;
    __m256i rows[8];
    IdctFixedShaped<Avx2>(in, bias2, Rows4(occupied), Cols4(occupied), rows);
    for (int y = 0; y < 8; ++y) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outA + y * 8), _mm256_castsi256_si128(rows[y]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outB + y * 8), _mm256_extracti128_si256(rows[y], 1));
    }
}

}  // namespace droskal::extlib

#endif
