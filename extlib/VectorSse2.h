#pragma once

// The 128-bit vector type the IDCT and colour kernels are written over, for SSE2 (every
// x86-64). 16 pixels a colour step, four columns of one block an IDCT lane group.

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace droskal::extlib {
namespace {

struct Sse2 {
    using V = __m128i;
    static constexpr int kPixels = 16;
    static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub32(V a, V b) { return _mm_sub_epi32(a, b); }
    static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    static V Madd(V a, V b) { return _mm_madd_epi16(a, b); }
    static V MulLo(V a, V b) { return _mm_mullo_epi16(a, b); }
    static V MulHi(V a, V b) { return _mm_mulhi_epi16(a, b); }
    template <int n>
    static V Sra32(V a) {
        return _mm_srai_epi32(a, n);
    }
    template <int n>
    static V Sll32(V a) {
        return _mm_slli_epi32(a, n);
    }
    template <int n>
    static V Srl16(V a) {
        return _mm_srli_epi16(a, n);
    }
    static V Packs32(V a, V b) { return _mm_packs_epi32(a, b); }
    static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
    static V CmpGt16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
    static V Lo8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
    static V Hi8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
    static V Lo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
    static V Hi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
    static V Lo32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
    static V Hi32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
    static V Lo64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
    static V Hi64(V a, V b) { return _mm_unpackhi_epi64(a, b); }
    static V Set16(int v) { return _mm_set1_epi16(static_cast<short>(v)); }
    static V Set32(int v) { return _mm_set1_epi32(v); }
    static V Zero() { return _mm_setzero_si128(); }

    static V LoadLuma(const std::uint8_t* y) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    }
    // Eight chroma bytes as signed 16-bit lanes.
    static V LoadChroma(const std::uint8_t* c) {
        const V bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(c));
        return _mm_srai_epi16(_mm_unpacklo_epi8(bytes, bytes), 8);
    }

    // Four B, G, R, 0 pixels as two pairs of 6 bytes, one at the bottom of each 64-bit half.
    static V PairUp(V px) {
        const V keep = _mm_set_epi32(0, -1, 0, -1);
        return _mm_or_si128(_mm_and_si128(px, keep), _mm_srli_epi64(_mm_andnot_si128(keep, px), 8));
    }
    // 16 pixels: 48 bytes in 8-byte stores 6 bytes apart, each store's two spare bytes
    // overwritten by the next; the row's last pair is stored exactly so no other row is touched.
    static void StoreBgr(const V (&ch)[3][2], std::uint8_t* dst, bool last) {
        const V zero = Zero();
        const V b = _mm_packus_epi16(ch[0][0], ch[0][1]);
        const V g = _mm_packus_epi16(ch[1][0], ch[1][1]);
        const V r = _mm_packus_epi16(ch[2][0], ch[2][1]);
        const V bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
        const V rLo = _mm_unpacklo_epi8(r, zero), rHi = _mm_unpackhi_epi8(r, zero);
        const V px[4] = {_mm_unpacklo_epi16(bgLo, rLo), _mm_unpackhi_epi16(bgLo, rLo),
                         _mm_unpacklo_epi16(bgHi, rHi), _mm_unpackhi_epi16(bgHi, rHi)};
        for (int q = 0; q < 4; ++q) {
            const V pairs = PairUp(px[q]);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 12 * q), pairs);
            if (q < 3 || !last) {
                // An integer store: dst is byte-aligned, and a store through double* is not.
                _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 12 * q + 6),
                                 _mm_unpackhi_epi64(pairs, pairs));
            } else {
                const auto six =
                    static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(pairs, pairs)));
                std::memcpy(dst + 12 * q + 6, &six, 6);
            }
        }
    }
};

}  // namespace
}  // namespace droskal::extlib
