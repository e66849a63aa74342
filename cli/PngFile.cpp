#include "cli/PngFile.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>

namespace droskal::cli {

namespace {

void Append(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void NoFlush(png_structp) {}

}  // namespace

// libpng writes the file. Frames are exported to be looked at, not archived: the Up filter
// (one subtraction a byte) and run-length deflate at its fastest level came out quickest and
// smallest of the cheap choices on textured 640x480 recordings: half the time of deflate
// level 6 without a filter, and smaller files.
std::vector<std::uint8_t> EncodePngFromBgrBottomUp(int width, int height, const std::uint8_t* bgr) {
    std::vector<std::uint8_t> out;
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] =
            const_cast<png_bytep>(bgr + rowBytes * static_cast<std::size_t>(height - 1 - y));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    if (setjmp(png_jmpbuf(png))) {
        // libpng reports its failures (only running out of memory here) by jumping back.
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, Append, NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_RLE);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_BGR, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace droskal::cli
