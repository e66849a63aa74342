#pragma once

// The whole-picture path's lookup tables, built from the plain walks of the code tables
// (CodeTables.cpp), and its dequantisation table (Dequantisation.cpp). Internal to decoder/.

#include <array>
#include <cstdint>

#include "decoder/CodeWalks.h"

namespace droskal {

struct FastCode {
    std::int16_t value;   // -1 end of block, else packed value (0 also for no entry)
    std::uint8_t length;  // bits the code takes
    std::uint8_t charge;  // what the budget pays: the length, 0 for end of block / no entry
    std::uint8_t run;     // the packed value's run and level magnitude (not for escape)
    std::uint8_t level;
    std::uint16_t pad;  // eight bytes: the lookup's index is a shift
};

struct FastDc {
    std::uint8_t size;
    std::uint8_t length;
};

// One or two coefficients, codes and signs, as one 32-bit word, so that the common codes cost
// one lookup and a few shifts, and the whole table stays small enough to live in the first
// cache beside the dequantisation table. The word decodes the first coefficient and, where a
// second whole code follows in the bits looked at, that one too. A code the words do not
// decode (end of block, escape, no entry) has a stop word, whose steps take the scan position
// past 63 whatever it was: the reader's one check of the position then also stops it for the
// slow way.
namespace coef {
// Bits 0..5: code and sign bits of both, so that a shift by the whole word (x86 takes shift
// counts modulo 64) takes them.
inline constexpr std::uint32_t kLengthMask = 63;
// Bits 6..12: the first's dequantisation row (2 level + negative), so that the word masked
// with kRowBits is that row's start (row x 64); bits 19..25 the second's, the same once
// shifted down by kSecondShift.
inline constexpr std::uint32_t kRowBits = 127u << 6;
inline constexpr int kSecondShift = 13;
// Bits 13..18: the first's run + 1, never 0; bits 26..31 the second's. Both fields of the
// second are 0 without one, which then reads a level-0 entry (value 0) at the first's position.
inline constexpr int kStepShift = 13;
inline constexpr int kSecondStepShift = 26;

constexpr std::uint32_t Pack(int length, int run, int row) {
    return static_cast<std::uint32_t>(length) | (static_cast<std::uint32_t>(row) << 6) |
           (static_cast<std::uint32_t>(run + 1) << kStepShift);
}
// Length 0 and both steps 63.
inline constexpr std::uint32_t kStop =
    (std::uint32_t{63} << kStepShift) | (std::uint32_t{63} << kSecondStepShift);
// The end of block, with its length in the length bits: the word takes its bits and, like a
// stop word, stops the reader, which tells the two apart by the rest of the word.
inline constexpr std::uint32_t kEnd = kStop | (std::uint32_t{1} << (6 + kSecondShift));
// A word without its length: kStop or kEnd for the words that stop the reader.
constexpr std::uint32_t Kind(std::uint32_t word) {
    return word & ~kLengthMask;
}
// The steps a word takes the scan position on by.
constexpr unsigned Steps(std::uint32_t word) {
    return ((word >> kStepShift) & 63) + (word >> kSecondStepShift);
}
// Two single words as one: the second's length joins the first's.
constexpr std::uint32_t Join(std::uint32_t first, std::uint32_t second) {
    return first + (second & kLengthMask) + ((second & kRowBits) << kSecondShift) +
           ((second >> kStepShift) << kSecondStepShift);
}
}  // namespace coef

struct FastTables {
    // Levels the code table itself carries reach 40; the dequantisation table covers them.
    static constexpr int kTableLevels = 41;

    // From the plain walks of `vlc`; ok tells whether the lookups reproduce them (always, for
    // the standard table).
    void Build(const CoeffTable& vlc);
    // Rebuilds the dequantisation table when the library's weights have changed.
    void UpdateDequant();

    // Coefficient words (coef:: above): from 0, by the next 11 bits where they do not start
    // with seven zeros (every code up to 10 bits and its sign, and the code after it where
    // that fits too); from kTail, by the 10 bits after those zeros.
    static constexpr std::size_t kTail = 2048;
    std::array<std::uint32_t, kTail + 1024> words{};
    std::array<FastCode, 256> shortCodes{};  // by the next 8 bits, codes not starting 000000
    std::array<FastCode, 1024> longCodes{};  // by the 10 bits after a leading 000000
    std::array<FastDc, 256> dcY{};
    std::array<FastDc, 256> dcC{};
    bool ok = false;

    // DequantAc of +level and -level at each scan position for the weights in force, so that a
    // coded level costs one load. Entry 1 + (2 level + negative) x 64 + scan position: a code's
    // table row is fixed, so the position is one add away, and the scan position after it
    // (where the reader stands) needs no subtraction.
    std::array<std::int32_t, 64> weights{};
    std::array<std::int16_t, 1 + kTableLevels * 2 * 64> dequant{};
    bool dequantValid = false;
};

}  // namespace droskal
