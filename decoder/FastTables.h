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

// By the next 10 bits: a whole coefficient (code and sign) where it fits in them, so the
// common short codes cost one lookup; everything else goes the FastCode way.
struct FastCoef {
    enum Kind : std::uint8_t { Other, Whole, EndOfBlock, Long };
    std::int16_t level;   // signed level
    std::uint8_t length;  // code and sign bits
    std::uint8_t charge;  // what the budget pays
    std::uint8_t run;
    Kind kind;              // Whole: this entry decodes the coefficient; Long: a code starting
                            // 000000 (look in the long half); Other: the FastCode way
    std::uint16_t tableAt;  // its dequantisation table row: (2 level + negative) x 64
};

struct FastTables {
    // Levels the code table itself carries reach 40; the dequantisation table covers them.
    static constexpr int kTableLevels = 41;
    static constexpr std::size_t kLongCoefs = 1024;

    // From the plain walks of `vlc`; ok tells whether the lookups reproduce them (always, for
    // the standard table).
    void Build(const CoeffTable& vlc);
    // Rebuilds the dequantisation table when the library's weights have changed.
    void UpdateDequant();

    // By the next 10 bits, then from kLongCoefs on the same by the 10 bits after a leading
    // 000000.
    std::array<FastCoef, 2 * kLongCoefs> coef{};
    std::array<FastCode, 256> shortCodes{};  // by the next 8 bits, codes not starting 000000
    std::array<FastCode, 1024> longCodes{};  // by the 10 bits after a leading 000000
    std::array<FastDc, 256> dcY{};
    std::array<FastDc, 256> dcC{};
    bool ok = false;

    // DequantAc of +level and -level at each scan position for the weights in force, with the
    // position's natural index, so that a coded level costs one load. Entry
    // (2 level + negative) x 64 + scan position: a code's table row is fixed, so the position
    // is one add away.
    struct Dequantised {
        std::int16_t value;
        std::uint16_t natural;
    };
    std::array<std::int32_t, 64> weights{};
    std::array<Dequantised, kTableLevels * 2 * 64> dequant{};
    bool dequantValid = false;
};

}  // namespace droskal
