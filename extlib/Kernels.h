#pragma once

// The library's instruction-set units, one entry each in one dispatch table: plain C++ (built
// on every machine, x86-64 included), SSE2 and AVX2 (each its kernels over its vector type;
// AVX2 alone in Avx2.cpp). The widest the processor has is chosen once (BestSimd); tests and
// benchmarks ask for the others by name.

#include <cstdint>

#include "extlib/IdctFast.h"

namespace droskal::extlib {

struct Kernels {
    // The fixed-point transform of one block that fits it (IdctKernel.h), coeffs into out;
    // nullptr where the unit has none.
    void (*fixedPoint)(const std::int16_t* coeffs, std::int16_t* out, std::uint64_t occupied);
    // The same on two blocks at once; nullptr where the unit has none.
    void (*fixedPair)(const std::int16_t* coeffsA, std::int16_t* outA, std::uint64_t occupiedA,
                      const std::int16_t* coeffsB, std::int16_t* outB, std::uint64_t occupiedB);
    // fixedPair with the samples stored as bytes (IdctDecodedPairToBytes); nullptr where the
    // unit has none.
    void (*fixedPairBytes)(const std::int16_t* coeffsA, std::uint64_t occupiedA,
                           const std::int16_t* coeffsB, std::uint64_t occupiedB, bool chroma,
                           std::uint8_t* outA, std::uint8_t* outB, int stride);
    // fixedPair for blocks whose DCs fit it, which works out both AC sums on its way and stores
    // nothing, returning false, where one is beyond the fixed-point limit; sums[0] and sums[1]
    // then hold them. nullptr where the unit has none.
    bool (*checkedPair)(const std::int16_t* coeffsA, std::int16_t* outA, std::uint64_t occupiedA,
                        const std::int16_t* coeffsB, std::int16_t* outB, std::uint64_t occupiedB,
                        int sums[2]);
    // The same for fixedPairBytes.
    bool (*checkedPairBytes)(const std::int16_t* coeffsA, std::uint64_t occupiedA,
                             const std::int16_t* coeffsB, std::uint64_t occupiedB, bool chroma,
                             std::uint8_t* outA, std::uint8_t* outB, int stride, int sums[2]);
    // The floating-point transform, in place, for every block.
    void (*floatIdct)(std::int16_t* block);
    // Both rows of a row pair converted from x on, in the unit's steps while they fit; the
    // next x (the plain unit finishes the rows).
    int (*rowPair)(const std::uint8_t* y0, const std::uint8_t* cbRow, const std::uint8_t* crRow,
                   int x, int width, std::uint8_t* out0, std::uint8_t* out1);
};

// The unit for simd, or the widest the processor has below it.
const Kernels& KernelsFor(Simd simd);

// Each unit's functions, by the file that holds them; Dispatch.cpp puts them in the table.
using RowPairFn = int (*)(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, int, int,
                          std::uint8_t*, std::uint8_t*);
// Colour.cpp
int RowPairPlain(const std::uint8_t* y0, const std::uint8_t* cbRow, const std::uint8_t* crRow,
                 int x, int width, std::uint8_t* out0, std::uint8_t* out1);
int RowPairSse2(const std::uint8_t* y0, const std::uint8_t* cbRow, const std::uint8_t* crRow, int x,
                int width, std::uint8_t* out0, std::uint8_t* out1);
// Idct.cpp
void IdctFloatPlain(std::int16_t* block);
void IdctFloatSse2(std::int16_t* block);
void IdctFixedSse2(const std::int16_t* coeffs, std::int16_t* out, std::uint64_t occupied);
// Avx2.cpp, built for AVX2 and only reached when the processor has it.
void IdctFixedPairAvx2(const std::int16_t* coeffsA, std::int16_t* outA, std::uint64_t occupiedA,
                       const std::int16_t* coeffsB, std::int16_t* outB, std::uint64_t occupiedB);
void IdctFixedPairBytesAvx2(const std::int16_t* coeffsA, std::uint64_t occupiedA,
                            const std::int16_t* coeffsB, std::uint64_t occupiedB, bool chroma,
                            std::uint8_t* outA, std::uint8_t* outB, int stride);
bool IdctCheckedPairAvx2(const std::int16_t* coeffsA, std::int16_t* outA, std::uint64_t occupiedA,
                         const std::int16_t* coeffsB, std::int16_t* outB, std::uint64_t occupiedB,
                         int sums[2]);
bool IdctCheckedPairBytesAvx2(const std::int16_t* coeffsA, std::uint64_t occupiedA,
                              const std::int16_t* coeffsB, std::uint64_t occupiedB, bool chroma,
                              std::uint8_t* outA, std::uint8_t* outB, int stride, int sums[2]);
int RowPairAvx2(const std::uint8_t* y0, const std::uint8_t* cbRow, const std::uint8_t* crRow, int x,
                int width, std::uint8_t* out0, std::uint8_t* out1);

}  // namespace droskal::extlib
