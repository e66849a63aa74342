#include "decoder/YuvPlanes.h"

#include "decoder/PictureFormat.h"

namespace droskal {

std::vector<std::uint8_t> PicBufToYuv420p(const std::uint8_t* picBuf, std::uint8_t picFormat) {
    const PictureFormatInfo* fmt = FormatInfo(picFormat);
    if (!fmt) return {};
    const int w = fmt->width;
    const int h = fmt->height;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w * h * 3 / 2));
    std::uint8_t* y = out.data();
    std::uint8_t* cb = y + w * h;
    std::uint8_t* cr = cb + w * h / 4;
    for (int row = 0; row < h; ++row) {
        const std::uint8_t* src = picBuf + (h - 1 - row) * fmt->rowBytes;
        for (int x = 0; x < w; ++x) *y++ = src[x * 3];
    }
    // All four pixels of a 2x2 group carry the same chroma; take the top-left one.
    for (int row = 0; row < h; row += 2) {
        const std::uint8_t* src = picBuf + (h - 1 - row) * fmt->rowBytes;
        for (int x = 0; x < w; x += 2) {
            *cb++ = static_cast<std::uint8_t>(src[x * 3 + 1] + 128);
            *cr++ = static_cast<std::uint8_t>(src[x * 3 + 2] + 128);
        }
    }
    return out;
}

}  // namespace droskal
