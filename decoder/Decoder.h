#pragma once

// Intra picture decoder: bit reader, coefficient code table, macroblock decoding and frame
// assembly. One object holds all of the decoding state and keeps it to itself; one picture
// is decoded at a time. The window and the command line decode whole pictures. The plain
// steps (the bit-serial reader and GetMacroBlock) are public as the oracle the whole-picture
// path is tested against; tests, the fuzz target and benchmarks look at the state through
// State() and Block(), never by writing it.
//
// Where each part lives:
//   CodeTables.cpp       the code table and the fast path's lookup tables built from it
//   PlainReader.cpp      GetBit .. GetMacroBlock, one bit at a time
//   FastMacroblock.cpp   the same macroblocks through a 64-bit window (BitWindow.h) and the
//                        lookups, the IDCT's bytes straight into the picture planes
//   Dequantisation.cpp   the fast path's dequantisation table, the intra matrix
//   PictureAssembly.cpp  macroblocks into pictures: copies, planes, colour conversion

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "decoder/CodeWalks.h"
#include "stream/FrameBuffer.h"

namespace droskal {

struct FastTables;

// The reader's position and the DC predictors: what carries from one step to the next.
struct ReaderState {
    std::int32_t bitPos = 0;   // next byte of the frame buffer to load
    std::uint8_t bitMask = 0;  // next bit of bitByte to hand out, 0 = load a byte first
    std::uint8_t bitByte = 0;
    std::int16_t dcPredY = 128;  // DC predictors in DC-level units; chroma starts at 0 so
    std::int16_t dcPredCb = 0;   // chroma comes out centred
    std::int16_t dcPredCr = 0;
    bool operator==(const ReaderState&) const = default;
};

class Decoder {
  public:
    static constexpr std::int16_t kBlockBitBudget = 1736;

    // Builds the code table (InitVlc) and starts with the default intra matrix.
    Decoder();
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Fills the code table and resets the DC predictors.
    void InitVlc();

    // Intra matrix in natural order for the following pictures; nullptr for the default.
    void SetIntraMatrix(const std::uint8_t* naturalOrder);

    // Decodes all macroblocks into picBuf as Y, Cb, Cr (chroma centred on zero) without
    // colour conversion. False when picFormat is not 1 or 2 or a macroblock fails; picBuf
    // then holds whatever was placed before the failure.
    bool AssemblePicture(const FrameBuffer& frameBuf, std::uint8_t picFormat, std::uint8_t* picBuf);
    // AssemblePicture, then YUVtoRGB on success: picBuf becomes a 24-bit bottom-up bitmap.
    bool DecodePicture(const FrameBuffer& frameBuf, std::uint8_t picFormat, std::uint8_t* picBuf);

    // ---- The plain steps (PlainReader.cpp) ----

    // Predictors reset, the reader at bit 1 of frameBuf[0], the picture's quantiser scale
    // (its top five bits) and the intra matrix in force: where the first macroblock starts.
    void StartPicture(const FrameBuffer& frameBuf);

    // Bit reader: most significant bit first; the first bit after bitPos = 0 is bit 1 of
    // frameBuf[0] (the five bits above it are the quantiser scale, the sixth extra_bit_slice).
    bool GetBit();
    std::int16_t GetDcSizeY();
    std::int16_t GetDcSizeC();
    // -1 end of block (or budget used up), packed value 0..111, 0 also for an unknown code.
    std::int16_t GetCoef(std::int16_t& bitBudget);
    std::int16_t GetDcDiffY();
    std::int16_t GetDcDiffC();
    // Coefficients()[1..63] from the stream; false when a run passes position 63.
    bool GetBlock();
    // Header bits 1, 1 and six blocks through IZZQ and Idct; false on any failure.
    bool GetMacroBlock();

    ReaderState State() const { return state_; }
    // Places the reader and the predictors, for tests of what follows from a given state.
    void SetState(const ReaderState& state) { state_ = state; }
    // The six blocks of the last macroblock, Y0 Y1 Y2 Y3 Cb Cr: samples after GetMacroBlock.
    const std::int16_t* Block(int index) const { return blocks_[index]; }
    // Levels of the last block in zig-zag order; [0] is the DC level.
    const std::int16_t* Coefficients() const { return coeffBuf_; }
    const CoeffTable& CodeTable() const { return coeffVlc_; }

  private:
    std::uint32_t ReadBits(int count);  // PlainReader.cpp

    // FastMacroblock.cpp: the same bits and results as GetMacroBlock, read through a 64-bit
    // window and lookup tables. Only used where a macroblock cannot reach the buffer's end.
    // Planes of bytes as the copies store them: Y, and Cb and Cr at half size, each row
    // `stride` / `chromaStride` bytes long. A place of one macroblock, or of a whole picture.
    struct Planes {
        std::uint8_t* y;
        std::uint8_t* cb;
        std::uint8_t* cr;
        int stride;
        int chromaStride;
    };
    // Samples into Block() (to == nullptr) or as bytes into the macroblock's place in planes.
    bool FastMacroBlock(std::uint64_t& bitOffset, const Planes* to);
    void SyncReaderTo(std::uint64_t bitOffset);

    // PictureAssembly.cpp: macroblocks in raster order, each placed by `place(m, c, inPlanes)`
    // (inPlanes: the fast reader has stored it into `planes` already, when given); false at the
    // first failure with *decoded set to the count of macroblocks placed.
    template <class Place>
    bool DecodeMacroblocks(const FrameBuffer& frameBuf, std::uint8_t picFormat,
                           const Planes* planes, Place&& place, int* decoded);
    bool DecodeThroughPlanes(const FrameBuffer& frameBuf, std::uint8_t picFormat,
                             std::uint8_t* picBuf);

    ReaderState state_;
    const FrameBuffer* frame_;
    CoeffTable coeffVlc_{};
    alignas(16) std::int16_t coeffBuf_[64] = {};
    alignas(16) std::int16_t blocks_[6][64] = {};
    std::array<std::uint8_t, 64> intraMatrix_{};
    std::unique_ptr<FastTables> fast_;
    std::vector<std::uint8_t> planeY_, planeCb_, planeCr_;
};

}  // namespace droskal
