#pragma once

// The dct_coeff_next codes of MPEG-1 intra blocks (sign bit not included), shared by the
// decoder's table and the encoder, and the packing of (run, level) into one small value.

#include <array>
#include <cstdint>

namespace droskal {

struct CoeffCode {
    std::uint8_t length;  // bits, 2..16
    std::uint16_t code;   // the bits read as an unsigned number
    std::uint8_t run;     // kEscapeRun for the escape code
    std::uint8_t level;   // magnitude; 0 for the escape code
};

inline constexpr std::uint8_t kEscapeRun = 0xFF;
inline constexpr std::int16_t kEscapeValue = 111;

// 111 (run, level) codes plus the escape, ordered by ascending length.
extern const std::array<CoeffCode, 112> kCoeffCodes;

struct RunLevel {
    int run;
    int level;
};

// Packed value 0..110 <-> (run, level magnitude); -1 for a pair without its own code.
int PackRunLevel(int run, int level);
RunLevel UnpackRunLevel(int packed);

}  // namespace droskal
