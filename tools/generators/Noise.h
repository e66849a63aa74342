#pragma once

#include <cstdint>

namespace droskal {

// Cheap deterministic noise for shapes and colours: the demo must come out the same on every
// build. `salt` keeps the map's noise apart from the scene's.
inline std::uint32_t NoiseHash(std::int64_t a, std::int64_t b, std::uint64_t salt) {
    std::uint64_t h = static_cast<std::uint64_t>(a) * 0x9E3779B97F4A7C15ull ^
                      (static_cast<std::uint64_t>(b) + salt);
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return static_cast<std::uint32_t>(h);
}

}  // namespace droskal
