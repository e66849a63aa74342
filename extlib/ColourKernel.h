#pragma once

// The colour conversion from planes, written once over a vector type of 16-bit lanes.
// YUVtoRGB's (kY (y - 16) + kHalf + term) >> 16 is worked out exactly in 16-bit lanes: with
// d = y - 16, kY d = 65536 d + L (L = 10773 d) and K = term + kHalf, the result is
// d + hi(L) + hi(K) + carry(lo(L) + lo(K)), hi and lo being the signed top and unsigned bottom
// 16 bits; pmulhw and pmullw give hi(L) and lo(L) directly.
//
// Lane order follows the unpacks, which work within 128-bit halves: luma and chroma are
// unpacked the same way, so every lane holds one pixel's luma with that pixel's chroma, and
// each instruction set's StoreBgr restores pixel order.
//
// Only intrinsics and this file's own code, all with internal linkage (see IdctKernel.h).

#include <immintrin.h>
#include <cstdint>

namespace droskal::extlib {
namespace {

// 255/219 for luma, 255/224 x the BT.601 chroma weights; x 65536, rounded.
constexpr std::int32_t kY = 76309;     // 1.164384
constexpr std::int32_t kCrR = 104597;  // 1.596027
constexpr std::int32_t kCbG = 25675;   // 0.391762
constexpr std::int32_t kCrG = 53279;   // 0.812968
constexpr std::int32_t kCbB = 132201;  // 2.017232
constexpr std::int32_t kHalf = 1 << 15;

template <class Ops>
struct ChromaTerms {
    typename Ops::V high;  // hi(K)
    typename Ops::V low;   // (65535 - lo(K)) ^ 0x8000: lo(L) ^ 0x8000 above it means a carry
};

// hi and lo of term + kHalf for term = 65536 m s + f s, from pmulhw/pmullw of s and f.
template <class Ops>
inline ChromaTerms<Ops> SplitTerm(typename Ops::V s, int m, int f) {
    using V = typename Ops::V;
    const V lo = Ops::MulLo(s, Ops::Set16(f));
    const V hi = Ops::MulHi(s, Ops::Set16(f));
    // Adding kHalf carries out of the low half exactly when its top bit is set.
    const V high =
        Ops::Add16(Ops::Add16(hi, Ops::template Srl16<15>(lo)), Ops::MulLo(s, Ops::Set16(m)));
    // lo(K) = lo ^ 0x8000, so its threshold (~lo(K)) ^ 0x8000 is just ~lo.
    return {high, Ops::Xor(lo, Ops::Set16(-1))};
}

// The green term -kCbG cb - kCrG cr = -65536 cr + (-kCbG cb + (65536 - kCrG) cr), the second
// part one pmaddwd (both weights fit in 16 bits).
template <class Ops>
inline ChromaTerms<Ops> GreenTerm(typename Ops::V b, typename Ops::V r) {
    using V = typename Ops::V;
    const V w = Ops::Set32(static_cast<int>((static_cast<unsigned>(65536 - kCrG) << 16) |
                                            (static_cast<unsigned>(-kCbG) & 0xFFFFu)));
    const V half = Ops::Set32(kHalf);
    const V lo = Ops::Add32(Ops::Madd(Ops::Lo16(b, r), w), half);
    const V hi = Ops::Add32(Ops::Madd(Ops::Hi16(b, r), w), half);
    const V high = Ops::Packs32(Ops::template Sra32<16>(lo), Ops::template Sra32<16>(hi));
    const V low = Ops::Packs32(Ops::template Sra32<16>(Ops::template Sll32<16>(lo)),
                               Ops::template Sra32<16>(Ops::template Sll32<16>(hi)));
    // lo(L) + lo(K) carries exactly when lo(L) > 65535 - lo(K); flipping the top bit of both
    // makes that unsigned comparison a signed one.
    return {Ops::Sub16(high, r), Ops::Xor(low, Ops::Set16(0x7FFF))};
}

// One row of Ops::kPixels pixels: blue, green and red as 16-bit lanes, [channel][half].
template <class Ops>
inline void RowChannels(const std::uint8_t* y, const ChromaTerms<Ops> (&t)[3][2],
                        typename Ops::V (&out)[3][2]) {
    using V = typename Ops::V;
    const V luma = Ops::LoadLuma(y);
    const V k = Ops::Set16(kY - 65536);
    for (int h = 0; h < 2; ++h) {
        const V d = Ops::Sub16(h == 0 ? Ops::Lo8(luma, Ops::Zero()) : Ops::Hi8(luma, Ops::Zero()),
                               Ops::Set16(16));
        const V dPlusHigh = Ops::Add16(d, Ops::MulHi(d, k));
        const V lowX = Ops::Xor(Ops::MulLo(d, k), Ops::Set16(-0x8000));
        for (int c = 0; c < 3; ++c) {
            const V carry = Ops::CmpGt16(lowX, t[c][h].low);  // -1 where it carries
            out[c][h] = Ops::Sub16(Ops::Add16(dPlusHigh, t[c][h].high), carry);
        }
    }
}

// Both rows of a row pair from x on, Ops::kPixels a step while that many remain; the next x.
template <class Ops>
inline int RowPairKernel(const std::uint8_t* y0, const std::uint8_t* cbRow,
                         const std::uint8_t* crRow, int x, int width, std::uint8_t* out0,
                         std::uint8_t* out1) {
    using V = typename Ops::V;
    for (; x + Ops::kPixels <= width; x += Ops::kPixels) {
        // The terms are worked out once per chroma sample, each lane on its own, and then
        // spread to the pixel pairs that share it.
        const V sb = Ops::LoadChroma(cbRow + x / 2);
        const V sr = Ops::LoadChroma(crRow + x / 2);
        const ChromaTerms<Ops> narrow[3] = {SplitTerm<Ops>(sb, 2, kCbB - 131072),
                                            GreenTerm<Ops>(sb, sr),
                                            SplitTerm<Ops>(sr, 2, kCrR - 131072)};
        ChromaTerms<Ops> wide[3][2];
        for (int c = 0; c < 3; ++c) {
            const ChromaTerms<Ops>& n = narrow[c];
            wide[c][0] = {Ops::Lo16(n.high, n.high), Ops::Lo16(n.low, n.low)};
            wide[c][1] = {Ops::Hi16(n.high, n.high), Ops::Hi16(n.low, n.low)};
        }
        const bool last = x + Ops::kPixels == width;
        V out[3][2];
        RowChannels<Ops>(y0 + x, wide, out);
        Ops::StoreBgr(out, out0 + x * 3, last);
        RowChannels<Ops>(y0 + width + x, wide, out);
        Ops::StoreBgr(out, out1 + x * 3, last);
    }
    return x;
}

}  // namespace
}  // namespace droskal::extlib
