// The dispatch table: one row per instruction set, the widest one found once at run time, so
// one build runs on any x86-64.

#include "extlib/Kernels.h"

namespace droskal::extlib {

namespace {

constexpr Kernels kPlain{nullptr, nullptr, nullptr, nullptr, nullptr, IdctFloatPlain, RowPairPlain};
#if defined(__SSE2__)
constexpr Kernels kSse2{IdctFixedSse2, nullptr,       nullptr,    nullptr,
                        nullptr,       IdctFloatSse2, RowPairSse2};
#endif
#if defined(DROSKAL_HAVE_AVX2_FILE)
constexpr Kernels kAvx2{IdctFixedSse2,       IdctFixedPairAvx2,        IdctFixedPairBytesAvx2,
                        IdctCheckedPairAvx2, IdctCheckedPairBytesAvx2, IdctFloatSse2,
                        RowPairAvx2};
#endif

}  // namespace

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

const Kernels& KernelsFor(Simd simd) {
    simd = simd < BestSimd() ? simd : BestSimd();
#if defined(DROSKAL_HAVE_AVX2_FILE)
    if (simd == Simd::Avx2) return kAvx2;
#endif
#if defined(__SSE2__)
    if (simd != Simd::Plain) return kSse2;
#endif
    return kPlain;
}

}  // namespace droskal::extlib
