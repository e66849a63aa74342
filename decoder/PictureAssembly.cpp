// Macroblocks into pictures: the raster loop that switches from the fast reader to the plain
// one near the buffer's end, the library's block copies (AssemblePicture), and the planes the
// whole-picture path converts row by row (DecodePicture).

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/Decoder.h"
#include "decoder/FastTables.h"
#include "decoder/PictureFormat.h"
#include "extlib/IdctFast.h"
#include "extlib/KorvanMpeg.h"

namespace droskal {

namespace {

// The most one macroblock can read: 2 header bits and six blocks of at most 18 DC bits, 64
// codes of at most 28 bits (a block fails at its 64th level) and an end of block: 10874 bits,
// 1360 bytes. The fast reader also loads 8 bytes ahead. A macroblock that starts at least
// this far from the end of the frame buffer can never meet the reader's end behaviour.
constexpr int kFastMarginBytes = 1400;

// One block row of eight samples clamped as the copies clamp them: luma to 0..255, chroma to
// -128..127 as two's-complement bytes.
inline void StoreLumaRow(std::uint8_t* dst, const std::int16_t* src) {
#if defined(__SSE2__)
    const __m128i row = _mm_load_si128(reinterpret_cast<const __m128i*>(src));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(row, row));
#else
    for (int i = 0; i < 8; ++i) dst[i] = static_cast<std::uint8_t>(std::clamp<int>(src[i], 0, 255));
#endif
}
inline void StoreChromaRow(std::uint8_t* dst, const std::int16_t* src) {
#if defined(__SSE2__)
    const __m128i row = _mm_load_si128(reinterpret_cast<const __m128i*>(src));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packs_epi16(row, row));
#else
    for (int i = 0; i < 8; ++i)
        dst[i] =
            static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp<int>(src[i], -128, 127)));
#endif
}

}  // namespace

template <class Place>
bool Decoder::DecodeMacroblocks(const FrameBuffer& frameBuf, std::uint8_t picFormat,
                                const Planes* planes, Place&& place, int* decoded) {
    StartPicture(frameBuf);
    *decoded = 0;
    const PictureFormatInfo* fmt = FormatInfo(picFormat);
    if (!fmt) return false;
    if (fast_->ok) fast_->UpdateDequant();

    // The fast reader runs from bit 1 of byte 0 while a whole macroblock stays clear of the
    // buffer's end; from there on (and if the tables could not be built) the plain reader
    // takes over from the very same state.
    // The fast reader keeps no levels. The last macroblock of a picture is read plainly, and
    // where the fast reader fails one, the plain reader reads the one before it again (its
    // last block's levels are what a failed header leaves) and then fails the same way: it
    // leaves levels, blocks and state as the plain calls do.
    bool fast = fast_->ok;
    std::uint64_t bitOffset = 6;
    std::uint64_t previousOffset = 0;
    ReaderState previousState;
    bool havePrevious = false;
    bool previousInPlanes = false;  // the macroblock before went into the planes
    for (int m = 0; m < fmt->mbRows; ++m) {
        for (int c = 0; c < fmt->mbColumns; ++c) {
            const bool last = m == fmt->mbRows - 1 && c == fmt->mbColumns - 1;
            if (fast && (last || (bitOffset >> 3) + kFastMarginBytes >
                                     static_cast<std::uint64_t>(kFrameBufSize))) {
                SyncReaderTo(bitOffset);
                fast = false;
            }
            bool inPlanes = false;
            if (fast) {
                const std::uint64_t start = bitOffset;
                const ReaderState before = state_;
                Planes here{};
                if (planes) {
                    here = {planes->y + 16 * (m * planes->stride + c),
                            planes->cb + 8 * (m * planes->chromaStride + c),
                            planes->cr + 8 * (m * planes->chromaStride + c), planes->stride,
                            planes->chromaStride};
                }
                if (FastMacroBlock(bitOffset, planes ? &here : nullptr)) {
                    inPlanes = planes != nullptr;
                    previousOffset = start;
                    previousState = before;
                    havePrevious = true;
                } else {
                    fast = false;
                    if (havePrevious) {
                        state_ = previousState;
                        SyncReaderTo(previousOffset);
                        GetMacroBlock();
                    }
                    SyncReaderTo(start);
                }
            }
            if (!fast && !GetMacroBlock()) {
                // A failed macroblock leaves the blocks it did not reach as the one before left
                // them: where that one went into the planes, it is read plainly first.
                if (previousInPlanes) {
                    state_ = previousState;
                    SyncReaderTo(previousOffset);
                    GetMacroBlock();
                    GetMacroBlock();
                }
                return false;
            }
            place(m, c, inPlanes);
            previousInPlanes = inPlanes;
            ++*decoded;
        }
    }
    return true;
}

bool Decoder::AssemblePicture(const FrameBuffer& frameBuf, std::uint8_t picFormat,
                              std::uint8_t* picBuf) {
    const bool vga = picFormat == 1;
    const PictureFormatInfo* fmt = FormatInfo(picFormat);
    void (*const copyY)(std::uint8_t*, const std::int16_t*) = vga ? CopyBlockVgaY : CopyBlockCifY;
    void (*const copyC)(std::uint8_t*, const std::int16_t*) = vga ? CopyBlockVgaC : CopyBlockCifC;
    int decoded;
    return DecodeMacroblocks(
        frameBuf, picFormat, nullptr,
        [&](int m, int c, bool) {
            const int rowBytes = fmt->rowBytes;
            const int r = 16 * (fmt->mbRows - 1 - m);  // buffer row of the macroblock's bottom line
            std::uint8_t* const bottomLeft = picBuf + r * rowBytes + 16 * c * 3;
            std::uint8_t* const upperLeft = bottomLeft + 8 * rowBytes;
            copyY(upperLeft, blocks_[0]);
            copyY(upperLeft + 8 * 3, blocks_[1]);
            copyY(bottomLeft, blocks_[2]);
            copyY(bottomLeft + 8 * 3, blocks_[3]);
            copyC(bottomLeft + 1, blocks_[4]);
            copyC(bottomLeft + 2, blocks_[5]);
        },
        &decoded);
}

// DecodePicture through planes: samples stored as the copies would store them, then
// converted straight into picBuf; on a failure the decoded macroblocks go into picBuf as
// Y, Cb, Cr exactly as the copies would have left them.
bool Decoder::DecodeThroughPlanes(const FrameBuffer& frameBuf, std::uint8_t picFormat,
                                  std::uint8_t* picBuf) {
    const PictureFormatInfo* fmt = FormatInfo(picFormat);
    const int w = fmt->width;
    const int h = fmt->height;
    const int cw = w / 2;
    planeY_.resize(static_cast<std::size_t>(w * h));
    planeCb_.resize(static_cast<std::size_t>(cw * h / 2));
    planeCr_.resize(static_cast<std::size_t>(cw * h / 2));
    std::uint8_t* const py = planeY_.data();
    std::uint8_t* const pcb = planeCb_.data();
    std::uint8_t* const pcr = planeCr_.data();
    int decoded;
    const Planes planes{py, pcb, pcr, w, cw};
    const bool ok = DecodeMacroblocks(
        frameBuf, picFormat, &planes,
        [&](int m, int c, bool inPlanes) {
            // Macroblocks the plain reader decoded (or all, without the fast tables) are copied.
            if (!inPlanes) {
                std::uint8_t* const y = py + (16 * m) * w + 16 * c;
                for (int q = 0; q < 4; ++q) {
                    std::uint8_t* const dst = y + 8 * (q >> 1) * w + 8 * (q & 1);
                    for (int k = 0; k < 8; ++k) StoreLumaRow(dst + k * w, blocks_[q] + 8 * k);
                }
                const int chromaAt = (8 * m) * cw + 8 * c;
                for (int k = 0; k < 8; ++k) {
                    StoreChromaRow(pcb + chromaAt + k * cw, blocks_[4] + 8 * k);
                    StoreChromaRow(pcr + chromaAt + k * cw, blocks_[5] + 8 * k);
                }
            }
            // A finished row of macroblocks is converted while its samples are still in the
            // cache; a later failure overwrites these rows with Y, Cb, Cr below anyway.
            if (c == fmt->mbColumns - 1) {
                extlib::PlanesToBgr(py + 16 * m * w, pcb + 8 * m * cw, pcr + 8 * m * cw, w, 16,
                                    picBuf + (h - 16 - 16 * m) * fmt->rowBytes);
            }
        },
        &decoded);
    if (ok) return true;
    // What the copies would have left: every decoded macroblock's pixels as Y, Cb, Cr.
    for (int i = 0; i < decoded; ++i) {
        const int m = i / fmt->mbColumns;
        const int c = i % fmt->mbColumns;
        for (int row = 16 * m; row < 16 * m + 16; ++row) {
            std::uint8_t* const out = picBuf + (h - 1 - row) * fmt->rowBytes;
            for (int x = 16 * c; x < 16 * c + 16; ++x) {
                out[x * 3] = py[row * w + x];
                out[x * 3 + 1] = pcb[(row / 2) * cw + x / 2];
                out[x * 3 + 2] = pcr[(row / 2) * cw + x / 2];
            }
        }
    }
    return false;
}

bool Decoder::DecodePicture(const FrameBuffer& frameBuf, std::uint8_t picFormat,
                            std::uint8_t* picBuf) {
    if (fast_->ok && FormatInfo(picFormat)) return DecodeThroughPlanes(frameBuf, picFormat, picBuf);
    if (!AssemblePicture(frameBuf, picFormat, picBuf)) return false;
    YUVtoRGB(picBuf, FormatInfo(picFormat)->pixelCount);
    return true;
}

}  // namespace droskal
