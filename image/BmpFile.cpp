#include "image/BmpFile.h"

#include <cstring>

namespace droskal {

namespace {
void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}
}  // namespace

std::vector<std::uint8_t> EncodeBmp24(int width, int height, const std::uint8_t* pixels,
                                      int rowStride) {
    constexpr std::uint32_t kHeaders = 14 + 40;
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    const std::uint32_t imageSize = rowBytes * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> file(kHeaders + imageSize, 0);
    std::uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, kHeaders + imageSize);  // file size
    Put32(h + 10, kHeaders);             // offset of the pixels
    Put32(h + 14, 40);                   // information header size
    Put32(h + 18, static_cast<std::uint32_t>(width));
    Put32(h + 22, static_cast<std::uint32_t>(height));  // positive: bottom-up rows
    Put16(h + 26, 1);                                   // planes
    Put16(h + 28, 24);                                  // bits per pixel
    Put32(h + 30, 0);                                   // no compression
    Put32(h + 34, imageSize);
    Put32(h + 38, 2835);  // 72 dots per inch, in dots per metre
    Put32(h + 42, 2835);
    for (int row = 0; row < height; ++row) {
        std::memcpy(h + kHeaders + static_cast<std::size_t>(row) * rowBytes,
                    pixels + static_cast<std::ptrdiff_t>(row) * rowStride,
                    static_cast<std::size_t>(width) * 3);
    }
    return file;
}

}  // namespace droskal
