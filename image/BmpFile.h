#pragma once

#include <cstdint>
#include <vector>

namespace droskal {

// An uncompressed 24-bit BMP file (file header, 40-byte information header, pixel rows).
// pixels: blue, green, red per pixel, rows bottom-up, `rowStride` bytes apart; the file's
// rows are padded to four bytes as the format asks.
std::vector<std::uint8_t> EncodeBmp24(int width, int height, const std::uint8_t* pixels,
                                      int rowStride);

}  // namespace droskal
