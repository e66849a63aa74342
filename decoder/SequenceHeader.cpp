#include "decoder/SequenceHeader.h"

#include "extlib/Mpeg1Tables.h"

namespace droskal {

std::optional<std::array<std::uint8_t, 64>> IntraMatrixFromSequenceHeader(const std::uint8_t* bytes,
                                                                          std::size_t size) {
    if (size < 12 || bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 1 || bytes[3] != 0xB3) {
        return std::nullopt;
    }
    // Bytes 8..11: bit_rate (18), marker (1), vbv_buffer_size (10), constrained flag (1),
    // load_intra_quantiser_matrix (1), then the matrix or load_non_intra_quantiser_matrix.
    if ((bytes[11] & 0x02) == 0) return std::nullopt;
    if (size < 12 + 64) return std::nullopt;
    // The 64 weights start at the last bit of byte 11, in zig-zag order.
    std::array<std::uint8_t, 64> natural{};
    for (int i = 0; i < 64; ++i) {
        const int hi = bytes[11 + i] & 0x01;
        const int lo = bytes[12 + i] >> 1;
        natural[kZigZag[i]] = static_cast<std::uint8_t>(hi << 7 | lo);
    }
    return natural;
}

}  // namespace droskal
