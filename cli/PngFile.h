#pragma once

#include <cstdint>
#include <vector>

namespace droskal::cli {

// An 8-bit truecolour PNG from a 24-bit bottom-up BGR bitmap, as the decoder leaves it.
std::vector<std::uint8_t> EncodePngFromBgrBottomUp(int width, int height, const std::uint8_t* bgr);

}  // namespace droskal::cli
