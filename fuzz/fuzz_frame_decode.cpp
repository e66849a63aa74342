// Arbitrary bytes decoded as the frame buffer of one picture, in either format and with either
// the default or a loaded intra matrix. The decoder's whole-picture path is compared with the
// plain macroblock-by-macroblock assembly, on success and on failure alike.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decoder/Decoder.h"
#include "decoder/PictureFormat.h"
#include "extlib/KorvanMpeg.h"
#include "extlib/Mpeg1Tables.h"
#include "tests/core/PlainPicture.h"

using namespace droskal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto frameBuf = std::make_unique<FrameBuffer>();
    static auto decoder = std::make_unique<Decoder>();
    static auto plain = std::make_unique<Decoder>();
    static std::vector<std::uint8_t> picBuf(static_cast<std::size_t>(kVgaFormat.pixelCount) * 3);
    static std::vector<std::uint8_t> plainBuf(picBuf.size());

    if (size < 1) return 0;
    // First byte: bit 0 the format, bit 1 a loaded matrix from the next 64 bytes, bit 2 keep
    // the previous frame's bytes behind this one (as the window's buffer does).
    const std::uint8_t control = data[0];
    ++data;
    --size;
    const std::uint8_t format = (control & 1) ? 2 : 1;
    const std::uint8_t* matrix = kDefaultIntraMatrix.data();
    if ((control & 2) && size >= 64) {
        matrix = data;
        decoder->SetIntraMatrix(data);
        data += 64;
        size -= 64;
    } else {
        decoder->SetIntraMatrix(nullptr);
    }
    if (!(control & 4)) frameBuf->fill(0);
    const std::size_t n = std::min<std::size_t>(size, frameBuf->size());
    std::copy(data, data + n, frameBuf->begin());

    std::fill(picBuf.begin(), picBuf.end(), std::uint8_t{0x5A});
    std::fill(plainBuf.begin(), plainBuf.end(), std::uint8_t{0x5A});
    const bool ok = decoder->DecodePicture(*frameBuf, format, picBuf.data());
    // The reader never loads from outside the buffer.
    if (decoder->State().bitPos < 0 || decoder->State().bitPos > kFrameBufSize) __builtin_trap();

    const bool plainOk = PlainPicture(*plain, *frameBuf, format, plainBuf.data(), matrix, true);
    if (ok != plainOk || picBuf != plainBuf) __builtin_trap();
    return 0;
}
