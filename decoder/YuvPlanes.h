#pragma once

// Planar 4:2:0 view of an assembled (not yet colour-converted) picture buffer, for frame
// export and for comparing against other decoders.

#include <cstdint>
#include <vector>

namespace droskal {

// picBuf holds Y, Cb, Cr per pixel, bottom-up, chroma centred on zero, as AssemblePicture
// leaves it. Result: Y plane top-down, then Cb, then Cr (one sample per 2x2 pixels, +128).
// Empty for a picFormat other than 1 or 2.
std::vector<std::uint8_t> PicBufToYuv420p(const std::uint8_t* picBuf, std::uint8_t picFormat);

}  // namespace droskal
