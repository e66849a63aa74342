#pragma once

// The fixed-point 8x8 inverse DCT, written once over a vector type. 16-bit weights
// 32768 cos(k pi / 16) (the basis scaled by 2^16) meet the samples in pmaddwd, so every sum is
// an exact 32-bit integer; between the passes samples keep 5 fractional bits in 16 bits. The
// DC term is the same 1/8 everywhere and rides in the final rounding constant, so it costs
// no headroom. A block qualifies when |DC| <= 2048 and the AC magnitudes sum to at most 2040:
// then the middle values stay below 2040 x 0.4904 x 32 < 32767 and the last sums below 2^31.
// Larger blocks (rare, and outside what IEEE 1180 exercises) take the float transform.
// Zero rows 4..7 or zero columns 4..7 only drop terms that are exactly zero, so the cut-down
// variants give the very same integers.
//
// Every step works within 128-bit halves, so with 128-bit vectors the lanes carry four
// columns of one block, and with 256-bit vectors the halves carry two blocks side by side
// and give each exactly what the 128-bit kernel gives it.
//
// Only intrinsics and this file's own code, all with internal linkage: the file that includes
// it for 256-bit vectors is built for AVX2, and none of its code may be shared with the rest.

#include <immintrin.h>
#include <cstdint>

namespace droskal::extlib {
namespace {

constexpr int kC1 = 32138, kC2 = 30274, kC3 = 27246, kC4 = 23170, kC5 = 18205, kC6 = 12540,
              kC7 = 6393;
constexpr int kMidBits = 5;
constexpr int kShift1 = 16 - kMidBits;
constexpr int kShift2 = 16 + kMidBits;
constexpr int kMaxAcSum = 2040;

// The final rounding constant with DC / 8 in it, in the final scale 2^21.
constexpr int FinalBias(int dc) {
    return (1 << (kShift2 - 1)) + dc * (1 << (kShift2 - 3));
}

// A pmaddwd weight pair: `first` multiplies the sample from the first unpack operand.
constexpr int Pair(int first, int second) {
    return static_cast<int>((static_cast<unsigned>(second) << 16) |
                            (static_cast<unsigned>(first) & 0xFFFFu));
}

// One 1-D pass down the columns of 8 rows of 16-bit samples, four lanes (the low or high
// half) as 32-bit sums: out[y] = bias + sum over v of c[v][y] in[v], scaled by 2^16. kRows4:
// rows 4..7 are zero. The bias rides in the even half, which every output gets once.
template <class Ops, bool kRows4>
inline void Pass(const typename Ops::V in[8], bool high, typename Ops::V bias,
                 typename Ops::V out[8]) {
    using V = typename Ops::V;
    auto pair = [high](V a, V b) { return high ? Ops::Hi16(a, b) : Ops::Lo16(a, b); };
    auto madd = [](V a, int first, int second) {
        return Ops::Madd(a, Ops::Set32(Pair(first, second)));
    };
    V e[4], o[4];
    const V p13 = pair(in[1], in[3]);
    if constexpr (kRows4) {
        const V p02 = pair(in[0], in[2]);
        e[0] = Ops::Add32(madd(p02, kC4, kC2), bias);
        e[1] = Ops::Add32(madd(p02, kC4, kC6), bias);
        e[2] = Ops::Add32(madd(p02, kC4, -kC6), bias);
        e[3] = Ops::Add32(madd(p02, kC4, -kC2), bias);
        o[0] = madd(p13, kC1, kC3);
        o[1] = madd(p13, kC3, -kC7);
        o[2] = madd(p13, kC5, -kC1);
        o[3] = madd(p13, kC7, -kC5);
    } else {
        const V p04 = pair(in[0], in[4]);
        const V p26 = pair(in[2], in[6]);
        const V p57 = pair(in[5], in[7]);
        const V a0 = Ops::Add32(madd(p04, kC4, kC4), bias);
        const V a1 = Ops::Add32(madd(p04, kC4, -kC4), bias);
        const V b0 = madd(p26, kC2, kC6);
        const V b1 = madd(p26, kC6, -kC2);
        e[0] = Ops::Add32(a0, b0);
        e[3] = Ops::Sub32(a0, b0);
        e[1] = Ops::Add32(a1, b1);
        e[2] = Ops::Sub32(a1, b1);
        o[0] = Ops::Add32(madd(p13, kC1, kC3), madd(p57, kC5, kC7));
        o[1] = Ops::Add32(madd(p13, kC3, -kC7), madd(p57, -kC1, -kC5));
        o[2] = Ops::Add32(madd(p13, kC5, -kC1), madd(p57, kC7, kC3));
        o[3] = Ops::Add32(madd(p13, kC7, -kC5), madd(p57, kC3, -kC1));
    }
    for (int y = 0; y < 4; ++y) {
        out[y] = Ops::Add32(e[y], o[y]);
        out[7 - y] = Ops::Sub32(e[y], o[y]);
    }
}

template <class Ops>
inline void Transpose8(typename Ops::V r[8]) {
    using V = typename Ops::V;
    const V t0 = Ops::Lo16(r[0], r[1]), t1 = Ops::Hi16(r[0], r[1]);
    const V t2 = Ops::Lo16(r[2], r[3]), t3 = Ops::Hi16(r[2], r[3]);
    const V t4 = Ops::Lo16(r[4], r[5]), t5 = Ops::Hi16(r[4], r[5]);
    const V t6 = Ops::Lo16(r[6], r[7]), t7 = Ops::Hi16(r[6], r[7]);
    const V u0 = Ops::Lo32(t0, t2), u1 = Ops::Hi32(t0, t2);
    const V u2 = Ops::Lo32(t1, t3), u3 = Ops::Hi32(t1, t3);
    const V u4 = Ops::Lo32(t4, t6), u5 = Ops::Hi32(t4, t6);
    const V u6 = Ops::Lo32(t5, t7), u7 = Ops::Hi32(t5, t7);
    r[0] = Ops::Lo64(u0, u4), r[1] = Ops::Hi64(u0, u4);
    r[2] = Ops::Lo64(u1, u5), r[3] = Ops::Hi64(u1, u5);
    r[4] = Ops::Lo64(u2, u6), r[5] = Ops::Hi64(u2, u6);
    r[6] = Ops::Lo64(u3, u7), r[7] = Ops::Hi64(u3, u7);
}

// Four 32-bit lanes of four rows, transposed.
template <class Ops>
inline void Transpose4x32(typename Ops::V& a, typename Ops::V& b, typename Ops::V& c,
                          typename Ops::V& d) {
    using V = typename Ops::V;
    const V t0 = Ops::Lo32(a, b), t1 = Ops::Hi32(a, b);
    const V t2 = Ops::Lo32(c, d), t3 = Ops::Hi32(c, d);
    a = Ops::Lo64(t0, t2), b = Ops::Hi64(t0, t2);
    c = Ops::Lo64(t1, t3), d = Ops::Hi64(t1, t3);
}

// in: the rows with the DC lane cleared; bias2: FinalBias of the DC. The rows of samples out.
template <class Ops, bool kRows4, bool kCols4>
inline void IdctFixed(const typename Ops::V in[8], typename Ops::V bias2, typename Ops::V rows[8]) {
    using V = typename Ops::V;
    const V bias1 = Ops::Set32(1 << (kShift1 - 1));
    V mid[8];  // rows u (columns of the block), lanes y
    V lo[8];
    Pass<Ops, kRows4>(in, false, bias1, lo);
    for (V& v : lo) v = Ops::template Sra32<kShift1>(v);
    if constexpr (kCols4) {
        Transpose4x32<Ops>(lo[0], lo[1], lo[2], lo[3]);
        Transpose4x32<Ops>(lo[4], lo[5], lo[6], lo[7]);
        for (int u = 0; u < 4; ++u) mid[u] = Ops::Packs32(lo[u], lo[4 + u]);
        for (int u = 4; u < 8; ++u) mid[u] = Ops::Zero();
    } else {
        V hi[8];
        Pass<Ops, kRows4>(in, true, bias1, hi);
        for (int y = 0; y < 8; ++y)
            mid[y] = Ops::Packs32(lo[y], Ops::template Sra32<kShift1>(hi[y]));
        Transpose8<Ops>(mid);
    }
    V lo2[8], hi2[8];
    Pass<Ops, kCols4>(mid, false, bias2, lo2);
    Pass<Ops, kCols4>(mid, true, bias2, hi2);
    for (int x = 0; x < 8; ++x)
        rows[x] = Ops::Packs32(Ops::template Sra32<kShift2>(lo2[x]),
                               Ops::template Sra32<kShift2>(hi2[x]));
    Transpose8<Ops>(rows);
}

template <class Ops>
inline void IdctFixedShaped(const typename Ops::V in[8], typename Ops::V bias2, bool rows4,
                            bool cols4, typename Ops::V rows[8]) {
    if (rows4) {
        if (cols4) {
            IdctFixed<Ops, true, true>(in, bias2, rows);
        } else {
            IdctFixed<Ops, true, false>(in, bias2, rows);
        }
    } else if (cols4) {
        IdctFixed<Ops, false, true>(in, bias2, rows);
    } else {
        IdctFixed<Ops, false, false>(in, bias2, rows);
    }
}

// Rows 4..7 all zero, and columns 4..7 all zero, from the natural positions that may be
// non-zero (bit n for position n).
constexpr bool Rows4(std::uint64_t occupied) {
    return (occupied >> 32) == 0;
}
constexpr bool Cols4(std::uint64_t occupied) {
    return (occupied & 0xF0F0F0F0F0F0F0F0ull) == 0;
}

}  // namespace

}  // namespace droskal::extlib
