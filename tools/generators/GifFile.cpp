#include <gif_lib.h>

#include <filesystem>

#include "tools/generators/IndexedImage.h"

namespace droskal {

namespace {

bool Fail(std::string* error, const std::string& what, int code) {
    if (error) {
        const char* text = GifErrorString(code);
        *error = what + ": " + (text ? text : "unknown GIF error");
    }
    return false;
}

}  // namespace

bool WriteGif(const std::string& path, const IndexedImage& image, std::string* error) {
    if (image.palette.empty() || image.palette.size() > 256 || image.width <= 0 ||
        image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
        if (error) *error = "bad image";
        return false;
    }
    // The colour table must hold a power of two entries; the spare ones stay black.
    int bits = 1;
    while ((1 << bits) < static_cast<int>(image.palette.size())) ++bits;
    ColorMapObject* colours = GifMakeMapObject(1 << bits, nullptr);
    if (!colours) return Fail(error, "colour table", E_GIF_ERR_NOT_ENOUGH_MEM);
    for (int i = 0; i < (1 << bits); ++i) {
        const PaletteColour c =
            i < static_cast<int>(image.palette.size()) ? image.palette[i] : PaletteColour{};
        colours->Colors[i] = {c.red, c.green, c.blue};
    }

    int code = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &code);
    if (!gif) {
        GifFreeMapObject(colours);
        return Fail(error, path, code);
    }
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, image.width, image.height, bits, 0, colours) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
    // giflib takes non-const rows; it does not change them.
    auto* row = const_cast<GifPixelType*>(image.pixels.data());
    for (int y = 0; ok && y < image.height; ++y, row += image.width)
        ok = EGifPutLine(gif, row, image.width) == GIF_OK;
    const int writeError = gif->Error;
    GifFreeMapObject(colours);
    int closeError = 0;
    const bool closed = EGifCloseFile(gif, &closeError) == GIF_OK;
    if (!ok) return Fail(error, path, writeError);
    if (!closed) return Fail(error, path, closeError);
    // giflib creates the file readable by its owner only; a map is for everyone to read.
    std::error_code ignored;
    using std::filesystem::perms;
    std::filesystem::permissions(path, perms::group_read | perms::others_read,
                                 std::filesystem::perm_options::add, ignored);
    return true;
}

}  // namespace droskal
