#pragma once

#include <array>
#include <cstdint>

namespace droskal {

// One picture, from the byte after its first slice start code up to its sequence end code.
// Fixed size for the whole run; bytes past the current picture keep what earlier ones left.
inline constexpr int kFrameBufSize = 300000;
using FrameBuffer = std::array<std::uint8_t, kFrameBufSize>;

}  // namespace droskal
