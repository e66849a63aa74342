#pragma once

// What the viewer needs from the sequence header beyond the picture size: a loaded intra
// quantiser matrix, since the recorder may transmit its own.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace droskal {

// bytes: the file's first bytes (a sequence header at offset 0). Returns the intra matrix in
// natural order when the header loads one, nullopt for the default matrix or when the bytes
// are not a complete sequence header.
std::optional<std::array<std::uint8_t, 64>> IntraMatrixFromSequenceHeader(const std::uint8_t* bytes,
                                                                          std::size_t size);

}  // namespace droskal
