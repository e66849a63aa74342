#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace droskal {

struct PaletteColour {
    std::uint8_t red = 0, green = 0, blue = 0;
};

// An 8-bit palette picture, rows top-down, one byte per pixel.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    std::vector<PaletteColour> palette;  // at most 256 colours

    std::uint8_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// Writes a GIF89a file with one image and a global colour table. On failure returns false
// and, when `error` is given, says why.
bool WriteGif(const std::string& path, const IndexedImage& image, std::string* error = nullptr);

}  // namespace droskal
