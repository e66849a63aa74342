#pragma once

// The picture loop as it was written before the decoder's whole-picture fast path:
// GetMacroBlock for each macroblock, the library's block copies, then YUVtoRGB when every
// macroblock decoded. The oracle for the fast path in tests and in the fuzz target.

#include <cstdint>

#include "decoder/Decoder.h"
#include "decoder/PictureFormat.h"
#include "extlib/KorvanMpeg.h"

namespace droskal {

inline bool PlainPicture(Decoder& d, const FrameBuffer& frame, std::uint8_t picFormat,
                         std::uint8_t* picBuf, const std::uint8_t* matrix, bool convert) {
    d.SetIntraMatrix(matrix);
    d.StartPicture(frame);
    const PictureFormatInfo* fmt = FormatInfo(picFormat);
    if (!fmt) return false;
    auto copyY = picFormat == 1 ? CopyBlockVgaY : CopyBlockCifY;
    auto copyC = picFormat == 1 ? CopyBlockVgaC : CopyBlockCifC;
    for (int m = 0; m < fmt->mbRows; ++m) {
        const int r = 16 * (fmt->mbRows - 1 - m);
        for (int c = 0; c < fmt->mbColumns; ++c) {
            if (!d.GetMacroBlock()) return false;
            std::uint8_t* const bottomLeft = picBuf + r * fmt->rowBytes + 16 * c * 3;
            std::uint8_t* const upperLeft = bottomLeft + 8 * fmt->rowBytes;
            copyY(upperLeft, d.Block(0));
            copyY(upperLeft + 8 * 3, d.Block(1));
            copyY(bottomLeft, d.Block(2));
            copyY(bottomLeft + 8 * 3, d.Block(3));
            copyC(bottomLeft + 1, d.Block(4));
            copyC(bottomLeft + 2, d.Block(5));
        }
    }
    if (convert) YUVtoRGB(picBuf, fmt->pixelCount);
    return true;
}

}  // namespace droskal
