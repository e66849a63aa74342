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
    d.dcPredY = 128;
    d.dcPredCb = 0;
    d.dcPredCr = 0;
    d.bitPos = 0;
    d.Attach(frame);
    const PictureFormatInfo* fmt = FormatInfo(picFormat);
    if (!fmt) return false;
    SetQuant(frame[0] >> 3, matrix);
    const bool vga = picFormat == 1;
    auto copyY = vga ? CopyBlockVgaY : CopyBlockCifY;
    auto copyC = vga ? CopyBlockVgaC : CopyBlockCifC;
    for (int m = 0; m < fmt->mbRows; ++m) {
        const int r = 16 * (fmt->mbRows - 1 - m);
        for (int c = 0; c < fmt->mbColumns; ++c) {
            if (!d.GetMacroBlock()) return false;
            std::uint8_t* const bottomLeft = picBuf + r * fmt->rowBytes + 16 * c * 3;
            std::uint8_t* const upperLeft = bottomLeft + 8 * fmt->rowBytes;
            copyY(upperLeft, d.blkY0);
            copyY(upperLeft + 8 * 3, d.blkY1);
            copyY(bottomLeft, d.blkY2);
            copyY(bottomLeft + 8 * 3, d.blkY3);
            copyC(bottomLeft + 1, d.blkCb);
            copyC(bottomLeft + 2, d.blkCr);
        }
    }
    if (convert) YUVtoRGB(picBuf, fmt->pixelCount);
    return true;
}

}  // namespace droskal
