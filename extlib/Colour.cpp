// BT.601 studio range to full-range RGB, 16-bit fixed point.

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(DROSKAL_HAVE_AVX2_FILE)
#include <immintrin.h>
#endif

#include "extlib/IdctFast.h"
#include "extlib/KorvanMpeg.h"

namespace {

// 255/219 for luma, 255/224 x the BT.601 chroma weights; x 65536, rounded.
constexpr std::int32_t kY = 76309;     // 1.164384
constexpr std::int32_t kCrR = 104597;  // 1.596027
constexpr std::int32_t kCbG = 25675;   // 0.391762
constexpr std::int32_t kCrG = 53279;   // 0.812968
constexpr std::int32_t kCbB = 132201;  // 2.017232
constexpr std::int32_t kHalf = 1 << 15;

std::uint8_t ToByte(std::int32_t v) {
    return static_cast<std::uint8_t>(std::clamp(v >> 16, 0, 255));
}

}  // namespace

extern "C" void YUVtoRGB(std::uint8_t* buf, std::int32_t pixelCount) {
    for (std::int32_t i = 0; i < pixelCount; ++i, buf += 3) {
        const std::int32_t y = kY * (buf[0] - 16) + kHalf;
        const std::int32_t cb = static_cast<std::int8_t>(buf[1]);
        const std::int32_t cr = static_cast<std::int8_t>(buf[2]);
        buf[0] = ToByte(y + kCbB * cb);
        buf[1] = ToByte(y - kCbG * cb - kCrG * cr);
        buf[2] = ToByte(y + kCrR * cr);
    }
}

namespace {

// Plain per-pixel conversion of one output row from a luma row and a chroma row.
void BgrRowPlain(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                                  int width, std::uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        const std::int32_t v = kY * (y[x] - 16) + kHalf;
        const std::int32_t b = static_cast<std::int8_t>(cb[x / 2]);
        const std::int32_t r = static_cast<std::int8_t>(cr[x / 2]);
        out[x * 3] = ToByte(v + kCbB * b);
        out[x * 3 + 1] = ToByte(v - kCbG * b - kCrG * r);
        out[x * 3 + 2] = ToByte(v + kCrR * r);
    }
}

#if defined(__SSE2__)

// YUVtoRGB's (kY (y - 16) + kHalf + term) >> 16 in 16-bit lanes, exactly. With d = y - 16,
// kY d = 65536 d + L (L = 10773 d) and K = term + kHalf, the result is
// d + hi(L) + hi(K) + carry(lo(L) + lo(K)), hi and lo being the signed top and unsigned bottom
// 16 bits; pmulhw and pmullw give hi(L) and lo(L) directly.
struct ChromaTerms {
    __m128i high;  // hi(K)
    __m128i low;   // (65535 - lo(K)) ^ 0x8000: lo(L) ^ 0x8000 above it means a carry
};

// lo(L) + lo(K) carries exactly when lo(L) > 65535 - lo(K); flipping the top bit of both
// makes that unsigned comparison a signed one.
inline __m128i CarryThreshold(__m128i lowK) {
    return _mm_xor_si128(lowK, _mm_set1_epi16(0x7FFF));  // (65535 - lowK) ^ 0x8000
}

// hi and lo of term + kHalf for term = 65536 m s + f s, from pmulhw/pmullw of s and f.
inline ChromaTerms SplitTerm(__m128i s, int m, int f) {
    const __m128i lo = _mm_mullo_epi16(s, _mm_set1_epi16(static_cast<short>(f)));
    const __m128i hi = _mm_mulhi_epi16(s, _mm_set1_epi16(static_cast<short>(f)));
    // Adding kHalf carries out of the low half exactly when its top bit is set.
    const __m128i high = _mm_add_epi16(_mm_add_epi16(hi, _mm_srli_epi16(lo, 15)),
                                       _mm_mullo_epi16(s, _mm_set1_epi16(static_cast<short>(m))));
    // lo(K) = lo ^ 0x8000, so its threshold (~lo(K)) ^ 0x8000 is just ~lo.
    return {high, _mm_xor_si128(lo, _mm_set1_epi16(-1))};
}

// The same for the green term -kCbG cb - kCrG cr = -65536 cr + (-kCbG cb + (65536 - kCrG) cr),
// the second part one pmaddwd (both weights fit in 16 bits).
inline ChromaTerms GreenTerm(__m128i b, __m128i r) {
    const __m128i w = _mm_set1_epi32(static_cast<int>((static_cast<unsigned>(65536 - kCrG) << 16) |
                                                      (static_cast<unsigned>(-kCbG) & 0xFFFFu)));
    const __m128i half = _mm_set1_epi32(kHalf);
    const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(b, r), w), half);
    const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(b, r), w), half);
    const __m128i high = _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
    const __m128i low = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(lo, 16), 16),
                                        _mm_srai_epi32(_mm_slli_epi32(hi, 16), 16));
    return {_mm_sub_epi16(high, r), CarryThreshold(low)};
}

// Each chroma term of 8 pixels (already widened to one per pixel); lumaLowX is lo(L) ^ 0x8000.
inline __m128i Channel(__m128i dPlusHigh, __m128i lumaLowX, __m128i high, __m128i threshold) {
    const __m128i carry = _mm_cmpgt_epi16(lumaLowX, threshold);  // -1 where it carries
    return _mm_sub_epi16(_mm_add_epi16(dPlusHigh, high), carry);
}

// Four B, G, R, 0 pixels as two pairs of 6 bytes, one at the bottom of each 64-bit half.
inline __m128i PairUp(__m128i px) {
    const __m128i keep = _mm_set_epi32(0, -1, 0, -1);
    return _mm_or_si128(_mm_and_si128(px, keep), _mm_srli_epi64(_mm_andnot_si128(keep, px), 8));
}

// 16 pixels of one row: 48 bytes in 8-byte stores 6 bytes apart, each store's two spare bytes
// overwritten by the next; the row's last pair is stored exactly so no other row is touched.
inline void StoreRow16(const std::uint8_t* y, const ChromaTerms (&t)[3][2], std::uint8_t* dst, bool last) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    __m128i out[3][2];
    for (int h = 0; h < 2; ++h) {
        const __m128i d = _mm_sub_epi16(h == 0 ? _mm_unpacklo_epi8(luma, zero) : _mm_unpackhi_epi8(luma, zero),
                                        _mm_set1_epi16(16));
        const __m128i k = _mm_set1_epi16(kY - 65536);
        const __m128i dPlusHigh = _mm_add_epi16(d, _mm_mulhi_epi16(d, k));
        const __m128i lowX = _mm_xor_si128(_mm_mullo_epi16(d, k), _mm_set1_epi16(static_cast<short>(0x8000)));
        for (int c = 0; c < 3; ++c) out[c][h] = Channel(dPlusHigh, lowX, t[c][h].high, t[c][h].low);
    }
    const __m128i b = _mm_packus_epi16(out[0][0], out[0][1]);
    const __m128i g = _mm_packus_epi16(out[1][0], out[1][1]);
    const __m128i r = _mm_packus_epi16(out[2][0], out[2][1]);
    const __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
    const __m128i rLo = _mm_unpacklo_epi8(r, zero), rHi = _mm_unpackhi_epi8(r, zero);
    const __m128i px[4] = {_mm_unpacklo_epi16(bgLo, rLo), _mm_unpackhi_epi16(bgLo, rLo),
                           _mm_unpacklo_epi16(bgHi, rHi), _mm_unpackhi_epi16(bgHi, rHi)};
    for (int q = 0; q < 4; ++q) {
        const __m128i pairs = PairUp(px[q]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 12 * q), pairs);
        if (q < 3 || !last) {
            // An integer store: dst is byte-aligned, and a store through double* is not.
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 12 * q + 6), _mm_unpackhi_epi64(pairs, pairs));
        } else {
            const auto six = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(pairs, pairs)));
            std::memcpy(dst + 12 * q + 6, &six, 6);
        }
    }
}


// The 16-pixel step of both rows of a row pair from x on, while 16 pixels remain; the next x.
int RowPairSse2(const std::uint8_t* y0, const std::uint8_t* cbRow, const std::uint8_t* crRow, int x,
                int width, std::uint8_t* out0, std::uint8_t* out1) {
    for (; x + 16 <= width; x += 16) {
        // Eight chroma samples as signed 16-bit lanes, their terms, then each term twice.
        const __m128i cbBytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cbRow + x / 2));
        const __m128i crBytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(crRow + x / 2));
        const __m128i sb = _mm_srai_epi16(_mm_unpacklo_epi8(cbBytes, cbBytes), 8);
        const __m128i sr = _mm_srai_epi16(_mm_unpacklo_epi8(crBytes, crBytes), 8);
        const ChromaTerms terms[3] = {SplitTerm(sb, 2, kCbB - 131072), GreenTerm(sb, sr),
                                      SplitTerm(sr, 2, kCrR - 131072)};
        ChromaTerms wide[3][2];
        for (int c = 0; c < 3; ++c) {
            wide[c][0] = {_mm_unpacklo_epi16(terms[c].high, terms[c].high),
                          _mm_unpacklo_epi16(terms[c].low, terms[c].low)};
            wide[c][1] = {_mm_unpackhi_epi16(terms[c].high, terms[c].high),
                          _mm_unpackhi_epi16(terms[c].low, terms[c].low)};
        }
        const bool last = x + 16 == width;
        StoreRow16(y0 + x, wide, out0 + x * 3, last);
        StoreRow16(y0 + width + x, wide, out1 + x * 3, last);
    }
    return x;
}

#endif

#if defined(DROSKAL_HAVE_AVX2_FILE)

// The same arithmetic on 16 lanes, 32 pixels a step. Lane order follows AVX2's unpacks, which
// work within each 128-bit half: luma and chroma are unpacked the same way, so every lane
// holds one pixel's luma with that pixel's chroma, and the packs restore pixel order.
#define DROSKAL_AVX2 __attribute__((target("avx2")))

struct ChromaTerms256 {
    __m256i high;
    __m256i low;
};

DROSKAL_AVX2 inline ChromaTerms256 SplitTerm256(__m256i s, int m, int f) {
    const __m256i lo = _mm256_mullo_epi16(s, _mm256_set1_epi16(static_cast<short>(f)));
    const __m256i hi = _mm256_mulhi_epi16(s, _mm256_set1_epi16(static_cast<short>(f)));
    const __m256i high = _mm256_add_epi16(_mm256_add_epi16(hi, _mm256_srli_epi16(lo, 15)),
                                          _mm256_mullo_epi16(s, _mm256_set1_epi16(static_cast<short>(m))));
    return {high, _mm256_xor_si256(lo, _mm256_set1_epi16(-1))};
}

DROSKAL_AVX2 inline ChromaTerms256 GreenTerm256(__m256i b, __m256i r) {
    const __m256i w = _mm256_set1_epi32(static_cast<int>((static_cast<unsigned>(65536 - kCrG) << 16) |
                                                         (static_cast<unsigned>(-kCbG) & 0xFFFFu)));
    const __m256i half = _mm256_set1_epi32(kHalf);
    const __m256i lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(b, r), w), half);
    const __m256i hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(b, r), w), half);
    const __m256i high = _mm256_packs_epi32(_mm256_srai_epi32(lo, 16), _mm256_srai_epi32(hi, 16));
    const __m256i low = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_slli_epi32(lo, 16), 16),
                                           _mm256_srai_epi32(_mm256_slli_epi32(hi, 16), 16));
    return {_mm256_sub_epi16(high, r), _mm256_xor_si256(low, _mm256_set1_epi16(0x7FFF))};
}

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

DROSKAL_AVX2 inline void StoreRow32(const std::uint8_t* y, const ChromaTerms256 (&t)[3][2], std::uint8_t* dst) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    const __m256i k = _mm256_set1_epi16(kY - 65536);
    __m256i out[3][2];
    for (int h = 0; h < 2; ++h) {
        const __m256i d = _mm256_sub_epi16(h == 0 ? _mm256_unpacklo_epi8(luma, zero) : _mm256_unpackhi_epi8(luma, zero),
                                           _mm256_set1_epi16(16));
        const __m256i dPlusHigh = _mm256_add_epi16(d, _mm256_mulhi_epi16(d, k));
        const __m256i lowX = _mm256_xor_si256(_mm256_mullo_epi16(d, k), _mm256_set1_epi16(static_cast<short>(0x8000)));
        for (int c = 0; c < 3; ++c) {
            const __m256i carry = _mm256_cmpgt_epi16(lowX, t[c][h].low);
            out[c][h] = _mm256_sub_epi16(_mm256_add_epi16(dPlusHigh, t[c][h].high), carry);
        }
    }
    const __m256i channel[3] = {_mm256_packus_epi16(out[0][0], out[0][1]), _mm256_packus_epi16(out[1][0], out[1][1]),
                                _mm256_packus_epi16(out[2][0], out[2][1])};
    for (int part = 0; part < 3; ++part) {
        __m256i bytes = zero;
        for (int c = 0; c < 3; ++c) {
            const __m256i mask = _mm256_load_si256(reinterpret_cast<const __m256i*>(kSpread.m[part][c]));
            bytes = _mm256_or_si256(bytes, _mm256_shuffle_epi8(channel[c], mask));
        }
        // Pixels 0..15 come from the lower half, 16..31 from the upper.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * part), _mm256_castsi256_si128(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 48 + 16 * part), _mm256_extracti128_si256(bytes, 1));
    }
}

DROSKAL_AVX2 int RowPairAvx2(const std::uint8_t* y0, const std::uint8_t* cbRow, const std::uint8_t* crRow,
                             int width, std::uint8_t* out0, std::uint8_t* out1) {
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        // 16 chroma samples widened in order, then each one twice, as the luma unpacks pair them.
        const __m256i sb = _mm256_cvtepi8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cbRow + x / 2)));
        const __m256i sr = _mm256_cvtepi8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(crRow + x / 2)));
        ChromaTerms256 wide[3][2];
        for (int h = 0; h < 2; ++h) {
            const __m256i b = h == 0 ? _mm256_unpacklo_epi16(sb, sb) : _mm256_unpackhi_epi16(sb, sb);
            const __m256i r = h == 0 ? _mm256_unpacklo_epi16(sr, sr) : _mm256_unpackhi_epi16(sr, sr);
            wide[0][h] = SplitTerm256(b, 2, kCbB - 131072);
            wide[1][h] = GreenTerm256(b, r);
            wide[2][h] = SplitTerm256(r, 2, kCrR - 131072);
        }
        StoreRow32(y0 + x, wide, out0 + x * 3);
        StoreRow32(y0 + width + x, wide, out1 + x * 3);
    }
    return x;
}

#endif

}  // namespace

void droskal::extlib::PlanesToBgr(const std::uint8_t* y, const std::uint8_t* cb,
                                  const std::uint8_t* cr, int width, int height,
                                  std::uint8_t* bgr) {
    PlanesToBgrWith(BestSimd(), y, cb, cr, width, height, bgr);
}

void droskal::extlib::PlanesToBgrWith(Simd simd, const std::uint8_t* y, const std::uint8_t* cb,
                                      const std::uint8_t* cr, int width, int height, std::uint8_t* bgr) {
    // Nothing wider than the processor has, whatever is asked.
    simd = std::min(simd, BestSimd());
    const int cw = width / 2;
    const int rowBytes = width * 3;
    for (int cy = 0; cy < height / 2; ++cy) {
        const std::uint8_t* cbRow = cb + cy * cw;
        const std::uint8_t* crRow = cr + cy * cw;
        // Top-down rows 2 cy and 2 cy + 1 share the chroma row; the bitmap is bottom-up.
        const std::uint8_t* y0 = y + 2 * cy * width;
        std::uint8_t* const out0 = bgr + (height - 1 - 2 * cy) * rowBytes;
        std::uint8_t* const out1 = out0 - rowBytes;
        int x = 0;
#if defined(DROSKAL_HAVE_AVX2_FILE)
        if (simd == Simd::Avx2) x = RowPairAvx2(y0, cbRow, crRow, width, out0, out1);
#endif
#if defined(__SSE2__)
        if (simd != Simd::Plain) x = RowPairSse2(y0, cbRow, crRow, x, width, out0, out1);
#endif
        // What the wider steps leave, pixel by pixel.
        BgrRowPlain(y0 + x, cbRow + x / 2, crRow + x / 2, width - x, out0 + x * 3);
        BgrRowPlain(y0 + width + x, cbRow + x / 2, crRow + x / 2, width - x, out1 + x * 3);
    }
}
