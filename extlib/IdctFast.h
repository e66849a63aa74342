#pragma once

// Entry points of the library for our own decoder's whole-picture path, which already knows
// things the C functions must find out for themselves. Same results as the C functions.

#include <cstdint>

namespace droskal::extlib {

// The instruction sets the library can use, each a row of its dispatch table (Kernels.h). The
// widest one the processor has is found once at run time, so one build runs on any x86-64.
// The vector units give the same results as each other; the plain one's floating-point
// transform rounds on its own (within IEEE 1180 like the others).
enum class Simd { Plain, Sse2, Avx2 };
Simd BestSimd();

// Idct with a given unit (at most BestSimd(); Idct uses BestSimd()).
void IdctWith(Simd simd, std::int16_t* block);

// The same from coeffs into out (coeffs left as they are, or the same array) for a block whose
// decoder knows the sum of |AC| (0: DC only) and which natural positions may be non-zero (bit
// n for position n; extra bits are allowed).
void IdctDecoded(const std::int16_t* coeffs, std::int16_t* out, int acAbsSum,
                 std::uint64_t occupied, Simd simd = BestSimd());

// IdctDecoded on two blocks, both at once where the unit allows.
void IdctDecodedPair(const std::int16_t* coeffsA, std::int16_t* outA, int acAbsSumA,
                     std::uint64_t occupiedA, const std::int16_t* coeffsB, std::int16_t* outB,
                     int acAbsSumB, std::uint64_t occupiedB, Simd simd = BestSimd());

// IdctDecodedPair with the samples stored as the library's block copies store them, into
// two 8x8 places `stride` bytes a row: luma clamped to 0..255, chroma to -128..127 as
// two's-complement bytes. The transform's rows go out while they are in registers.
void IdctDecodedPairToBytes(const std::int16_t* coeffsA, int acAbsSumA, std::uint64_t occupiedA,
                            const std::int16_t* coeffsB, int acAbsSumB, std::uint64_t occupiedB,
                            bool chroma, std::uint8_t* outA, std::uint8_t* outB, int stride,
                            Simd simd);
// The same with the widest unit for a decoder that does not sum the AC magnitudes: the unit
// works them out itself where it takes the pair (with AVX2, on the way into the transform).
// AC levels within -2048..2048, as dequantisation leaves them.
void IdctCodedPairToBytes(const std::int16_t* coeffsA, std::uint64_t occupiedA,
                          const std::int16_t* coeffsB, std::uint64_t occupiedB, bool chroma,
                          std::uint8_t* outA, std::uint8_t* outB, int stride);

// IdctDecodedPair with the widest unit in the same way.
void IdctCodedPair(const std::int16_t* coeffsA, std::int16_t* outA, std::uint64_t occupiedA,
                   const std::int16_t* coeffsB, std::int16_t* outB, std::uint64_t occupiedB);

// IdctCodedPairToBytes on a macroblock's six blocks, Y0 Y1 Y2 Y3 Cb Cr, into its 16x16 luma
// place and its two 8x8 chroma places.
void IdctCodedMacroblockToBytes(const std::int16_t (*coeffs)[64], const std::uint64_t occupied[6],
                                std::uint8_t* y, int stride, std::uint8_t* cb, std::uint8_t* cr,
                                int chromaStride);

// The fixed-point transform where it fits (SSE2 and wider): false, block untouched, when
// |DC| > 2048 or the AC magnitudes sum to more than 2040 (or without SSE2).
bool IdctFixedPoint(std::int16_t* block);

// IZZQ's scale x matrix weight by scan position, as the last SetQuant left it (this thread).
const std::int32_t* QuantWeights();

// IZZQ's dequantisation of one AC level at scan position i (the value IZZQ stores).
inline std::int16_t DequantAc(std::int32_t level, std::int32_t weight) {
    std::int32_t rec = (2 * level * weight) / 16;
    if ((rec & 1) == 0 && rec != 0) rec += rec > 0 ? -1 : 1;
    return static_cast<std::int16_t>(rec < -2048 ? -2048 : rec > 2047 ? 2047 : rec);
}

// YUVtoRGB of a picture kept as planes: Y (width x height, top-down, bytes as CopyBlock*Y
// stores them) and Cb, Cr (width/2 x height/2, top-down, the two's-complement bytes
// CopyBlock*C stores). Writes the bottom-up blue, green, red rows YUVtoRGB would leave in a
// buffer assembled from the same blocks. width a multiple of 8.
void PlanesToBgr(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, int width,
                 int height, std::uint8_t* bgr);

// PlanesToBgr with a given instruction set (at most BestSimd()), for tests and benchmarks.
void PlanesToBgrWith(Simd simd, const std::uint8_t* y, const std::uint8_t* cb,
                     const std::uint8_t* cr, int width, int height, std::uint8_t* bgr);

}  // namespace droskal::extlib
