#pragma once

// Our decoding library: the arithmetic half of picture reconstruction.
// The decoder reads the variable-length codes; these functions turn coefficient lists into
// dequantised blocks, run the inverse DCT, place blocks into the bottom-up 24-bit picture
// buffer and convert it to blue, green, red. Plain C linkage so the boundary stays a
// library boundary.

#include <cstdint>

extern "C" {

// Scale and intra matrix for the picture about to be decoded; call once per picture.
// quantiserScale is the slice's 1..31 (values outside are clamped), intraMatrixNatural is
// 64 weights in natural (row-major) order, nullptr for the MPEG-1 default intra matrix.
// Kept per thread; until the first call, scale 1 with the default matrix applies.
void SetQuant(std::int32_t quantiserScale, const std::uint8_t* intraMatrixNatural);

// coeffs: 64 levels in zig-zag order, [0] the DC level. block: 64 dequantised coefficients
// in natural order (DC x 8; AC by the MPEG-1 intra rule with the scale and matrix in force).
void IZZQ(std::int16_t* block, const std::int16_t* coeffs);

// In place 8x8 inverse DCT (IEEE 1180-1990 accurate): 64 coefficients in, 64 samples out.
void Idct(std::int16_t* block);

// dst: byte 0 of pixel (x, row r) of the bottom-up buffer (row step 1920 / 960). Block row 0
// (the top) lands in row r+7; samples clamp to 0..255.
void CopyBlockVgaY(std::uint8_t* dst, const std::int16_t* block);
void CopyBlockCifY(std::uint8_t* dst, const std::int16_t* block);

// dst: byte 1 (Cb) or 2 (Cr) of the bottom-left pixel (x, r) of a 16x16 macroblock. Each
// sample fills 2x2 pixels; block row 0 lands in rows r+15 and r+14. Chroma is centred on
// zero: the sample clamps to -128..127 and is stored as its two's-complement byte.
void CopyBlockVgaC(std::uint8_t* dst, const std::int16_t* block);
void CopyBlockCifC(std::uint8_t* dst, const std::int16_t* block);

// In place BT.601 studio-range Y, Cb, Cr (chroma signed, centred on zero) to full-range
// blue, green, red, clamped to 0..255.
void YUVtoRGB(std::uint8_t* buf, std::int32_t pixelCount);

}  // extern "C"
