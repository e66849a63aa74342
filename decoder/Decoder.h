#pragma once

// Intra picture decoder: bit reader, coefficient code table, macroblock decoding and frame
// assembly. One object holds all of the decoding state; one picture is decoded at a time.
// The state fields are public because frame assembly, tests and benchmarks look at them
// between calls; nothing outside the decoder is expected to write them.

#include <array>
#include <cstdint>
#include <vector>

#include "decoder/CodeWalks.h"
#include "stream/FrameBuffer.h"

namespace droskal {

class Decoder {
  public:
    static constexpr std::int16_t kBlockBitBudget = 1736;

    // Builds the code table (InitVlc) and starts with the default intra matrix.
    Decoder();

    // Fills coeffVlc and resets the DC predictors.
    void InitVlc();

    // The frame buffer the bit reader reads; DecodePicture attaches its argument itself.
    void Attach(const FrameBuffer& frameBuf) { frame_ = &frameBuf; }

    // Bit reader: most significant bit first; the first bit after bitPos = 0 is bit 1 of
    // frameBuf[0] (the five bits above it are the quantiser scale, the sixth extra_bit_slice).
    bool GetBit();
    std::int16_t GetDcSizeY();
    std::int16_t GetDcSizeC();
    // -1 end of block (or budget used up), packed value 0..111, 0 also for an unknown code.
    std::int16_t GetCoef(std::int16_t& bitBudget);

    std::int16_t GetDcDiffY();
    std::int16_t GetDcDiffC();
    // coeffBuf[1..63] from the stream; false when a run passes position 63.
    bool GetBlock();
    // Header bits 1, 1 and six blocks through IZZQ and Idct; false on any failure.
    bool GetMacroBlock();

    // Intra matrix in natural order for the following pictures; nullptr for the default.
    void SetIntraMatrix(const std::uint8_t* naturalOrder);

    // Decodes all macroblocks into picBuf as Y, Cb, Cr (chroma centred on zero) without
    // colour conversion. False when picFormat is not 1 or 2 or a macroblock fails; picBuf
    // then holds whatever was placed before the failure.
    bool AssemblePicture(const FrameBuffer& frameBuf, std::uint8_t picFormat, std::uint8_t* picBuf);
    // AssemblePicture, then YUVtoRGB on success: picBuf becomes a 24-bit bottom-up bitmap.
    bool DecodePicture(const FrameBuffer& frameBuf, std::uint8_t picFormat, std::uint8_t* picBuf);

    // Reader state.
    std::int32_t bitPos = 0;   // next byte of the frame buffer to load
    std::uint8_t bitMask = 0;  // next bit of bitByte to hand out, 0 = load a byte first
    std::uint8_t bitByte = 0;

    CoeffTable coeffVlc{};

    // Levels of the current block in zig-zag order; [0] is the DC level.
    alignas(16) std::int16_t coeffBuf[64] = {};
    alignas(16) std::int16_t blkY0[64] = {};
    alignas(16) std::int16_t blkY1[64] = {};
    alignas(16) std::int16_t blkY2[64] = {};
    alignas(16) std::int16_t blkY3[64] = {};
    alignas(16) std::int16_t blkCb[64] = {};
    alignas(16) std::int16_t blkCr[64] = {};

    // DC predictors in DC-level units; chroma starts at 0 so chroma comes out centred.
    std::int16_t dcPredY = 128;
    std::int16_t dcPredCb = 0;
    std::int16_t dcPredCr = 0;

  private:
    std::uint32_t ReadBits(int count);

    // Whole-picture path: the same bits and results as GetMacroBlock, read through a 64-bit
    // window and lookup tables. Only used where a macroblock cannot reach the buffer's end.
    struct FastCode {
        std::int16_t value;   // -1 end of block, else packed value (0 also for no entry)
        std::uint8_t length;  // bits the code takes
        std::uint8_t charge;  // what the budget pays: the length, 0 for end of block / no entry
        std::uint8_t run;     // the packed value's run and level magnitude (not for escape)
        std::uint8_t level;
        std::uint16_t pad;    // eight bytes: the lookup's index is a shift
    };
    // Levels the code table itself carries reach 40; the dequantisation table covers them.
    static constexpr int kTableLevels = 41;
    // DequantAc of +level and -level at each scan position for the weights in force, so that
    // coded levels cost one load, and its magnitude for the IDCT's sum; rebuilt when the
    // weights change. Entry (2 level + negative) x 64 + scan position: a code's table row is
    // fixed, so the position is one add away.
    void UpdateDequantTable();
    std::array<std::int32_t, 64> dequantWeights_{};
    std::array<std::int16_t, kTableLevels * 2 * 64> dequant_{};
    std::array<std::uint16_t, kTableLevels * 2 * 64> dequantAbs_{};
    bool dequantValid_ = false;
    struct FastDc {
        std::uint8_t size;
        std::uint8_t length;
    };
    // By the next 10 bits: a whole coefficient (code and sign) where it fits in them, so the
    // common short codes cost one lookup; everything else goes the FastCode way.
    struct FastCoef {
        std::int16_t level;    // signed level
        std::uint8_t length;   // code and sign bits
        std::uint8_t charge;   // what the budget pays
        std::uint8_t run;
        std::uint8_t whole;    // 1: this entry decodes the coefficient, 2: end of block,
                               // 3: a code starting 000000 (look in the long half)
        std::uint16_t tableAt; // its dequantisation table row: (2 level + negative) x 64
    };
    void BuildFastTables();
    // By the next 10 bits, then from kLongCoefs on the same by the 10 bits after a leading
    // 000000.
    static constexpr std::size_t kLongCoefs = 1024;
    std::array<FastCoef, 2 * kLongCoefs> fastCoef_{};
    bool FastMacroBlock(std::uint64_t& bitOffset);
    void SyncReaderTo(std::uint64_t bitOffset);

    std::array<FastCode, 256> fastShort_{};  // by the next 8 bits, codes not starting 000000
    std::array<FastCode, 1024> fastLong_{};  // by the 10 bits after a leading 000000
    std::array<FastDc, 256> fastDcY_{};
    std::array<FastDc, 256> fastDcC_{};
    bool fastOk_ = false;  // the tables reproduce the walk (always, for the standard table)

    // Macroblocks in raster order, each placed by `place(m, c)`; false at the first failure
    // with *decoded set to the count of macroblocks placed.
    template <class Place>
    bool DecodeMacroblocks(const FrameBuffer& frameBuf, std::uint8_t picFormat, Place&& place,
                           int* decoded);
    // DecodePicture through planes: samples stored as the copies would store them, then
    // converted straight into picBuf; on a failure the decoded macroblocks go into picBuf as
    // Y, Cb, Cr exactly as the copies would have left them.
    bool DecodeThroughPlanes(const FrameBuffer& frameBuf, std::uint8_t picFormat, std::uint8_t* picBuf);
    std::vector<std::uint8_t> planeY_, planeCb_, planeCr_;

    const FrameBuffer* frame_;
    std::array<std::uint8_t, 64> intraMatrix_{};
};

}  // namespace droskal
