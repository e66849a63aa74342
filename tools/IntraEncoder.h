#pragma once

// Intra-only MPEG-1 picture encoder for test recordings: one picture, one slice.
// Produces the slice payload, i.e. the bytes that follow the slice start code 00 00 01 01;
// the recorder layout around it (headers, user data, end codes) is RecorderWriter's job.

#include <cstdint>
#include <vector>

namespace droskal {

// Planar 4:2:0, BT.601 studio range; chroma planes are (width/2) x (height/2), rows top-down.
struct YuvPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> y, cb, cr;
};

// rgb: packed red, green, blue, rows top-down. Width and height must be even. Chroma is the
// average of each 2x2 group.
YuvPicture RgbToYuvPicture(const std::uint8_t* rgb, int width, int height);

// Width and height must be multiples of 16. quantiserScale 1..31 (clamped);
// intraMatrixNatural: 64 weights in natural order, nullptr for the default intra matrix.
// Output: quantiser_scale, extra_bit_slice 0, then every macroblock (address increment 1,
// type intra) with its six blocks, zero-padded to a byte boundary.
std::vector<std::uint8_t> EncodeIntraSlice(const YuvPicture& picture, int quantiserScale,
                                           const std::uint8_t* intraMatrixNatural = nullptr);

}  // namespace droskal
