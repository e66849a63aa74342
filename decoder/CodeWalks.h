#pragma once

// The plain walks of the three code tables, written once over any bit source: the stream's
// reader (one GetBit a bit) and the bit patterns the fast lookup tables are built from.
// `next` is any callable returning the next bit as a bool.

#include <array>
#include <cstdint>

namespace droskal {

struct VlcEntry {
    std::int16_t length;  // code length in bits, 2..16
    std::int16_t code;    // the code's bits as an unsigned number
    std::int16_t value;   // packed (run, level), 111 = escape
};

using CoeffTable = std::array<VlcEntry, 112>;

// What one coefficient code turned out to be. `bits` is how many bits the walk read.
struct CoeffWalk {
    enum Kind : std::uint8_t { EndOfBlock, Match, NoEntry };
    Kind kind;
    std::int16_t value;  // the entry's packed value when kind is Match
    int bits;
};

// The table walk: two bits (10 ends the block), then entries in order of length, the code
// growing by one bit whenever the walk reaches a longer entry. Past the last entry nothing
// matched.
template <class NextBit>
CoeffWalk WalkCoeffCode(const CoeffTable& vlc, NextBit&& next) {
    int code = next() ? 2 : 0;
    code += next() ? 1 : 0;
    if (code == 2) return {CoeffWalk::EndOfBlock, -1, 2};
    int length = 2;
    for (std::size_t index = 0; index < vlc.size();) {
        const VlcEntry& e = vlc[index];
        if (e.length != length) {
            code = code * 2 + (next() ? 1 : 0);
            ++length;
        } else if (e.code == code) {
            return {CoeffWalk::Match, e.value, length};
        } else {
            ++index;
        }
    }
    return {CoeffWalk::NoEntry, 0, length};
}

// Luminance DC size: 00 -> 1, 01 -> 2, 100 -> 0, 101 -> 3, then 11 and up to six more ones
// counting up from 4, a zero ending the code.
template <class NextBit>
int WalkDcSizeY(NextBit&& next) {
    const bool b1 = next();
    const bool b2 = next();
    if (!b1) return b2 ? 2 : 1;
    if (!b2) return next() ? 3 : 0;
    int size = 4;
    for (int i = 0; i < 6 && next(); ++i) ++size;
    return size;
}

// Chrominance DC size: 00 -> 0, 01 -> 1, then 1 and up to seven more ones counting up from 2.
template <class NextBit>
int WalkDcSizeC(NextBit&& next) {
    if (!next()) return next() ? 1 : 0;
    int size = 2;
    for (int i = 0; i < 7 && next(); ++i) ++size;
    return size;
}

}  // namespace droskal
