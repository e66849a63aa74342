#include "decoder/Decoder.h"

#include <algorithm>

#include "decoder/CoeffCodes.h"
#include "decoder/PictureFormat.h"
#include "extlib/KorvanMpeg.h"
#include "extlib/Mpeg1Tables.h"

namespace droskal {

namespace {

// Read until something real is attached: all zero bits, which no macroblock accepts.
const FrameBuffer kNoFrame{};

}  // namespace

Decoder::Decoder() : frame_(&kNoFrame) {
    InitVlc();
    SetIntraMatrix(nullptr);
}

void Decoder::InitVlc() {
    for (std::size_t i = 0; i < kCoeffCodes.size(); ++i) {
        const CoeffCode& c = kCoeffCodes[i];
        const int value = c.run == kEscapeRun ? kEscapeValue : PackRunLevel(c.run, c.level);
        coeffVlc[i] = {c.length, static_cast<std::int16_t>(c.code),
                       static_cast<std::int16_t>(value)};
    }
    dcPredY = 128;
    dcPredCb = 0;
    dcPredCr = 0;
}

bool Decoder::GetBit() {
    if (bitPos == 0) {
        // A picture starts below the quantiser scale and extra_bit_slice.
        bitMask = 2;
        bitByte = (*frame_)[0];
        bitPos = 1;
    }
    if (bitMask == 0) {
        bitMask = 128;
        // Past the buffer the last byte is handed out again; decoding ends by its own limits.
        if (bitPos >= kFrameBufSize) return false;
        bitByte = (*frame_)[bitPos];
        ++bitPos;
    }
    const bool bit = (bitByte & bitMask) != 0;
    bitMask >>= 1;
    return bit;
}

std::uint32_t Decoder::ReadBits(int count) {
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i) v = v * 2 + (GetBit() ? 1 : 0);
    return v;
}

std::int16_t Decoder::GetDcSizeY() {
    const bool b1 = GetBit();
    const bool b2 = GetBit();
    if (!b1) return b2 ? 2 : 1;
    if (!b2) return GetBit() ? 3 : 0;
    std::int16_t size = 4;
    for (int i = 0; i < 6; ++i) {
        if (!GetBit()) return size;
        ++size;
    }
    return size;
}

std::int16_t Decoder::GetDcSizeC() {
    if (!GetBit()) return GetBit() ? 1 : 0;
    std::int16_t size = 2;
    for (int i = 0; i < 7; ++i) {
        if (!GetBit()) return size;
        ++size;
    }
    return size;
}

std::int16_t Decoder::GetCoef(std::int16_t& bitBudget) {
    if (bitBudget <= 0) return -1;
    int code = GetBit() ? 2 : 0;
    code += GetBit() ? 1 : 0;
    if (code == 2) return -1;  // end of block costs nothing
    int length = 2;
    std::size_t index = 0;
    // Entries are ordered by length: extend the code whenever the walk reaches a longer one.
    while (index < coeffVlc.size()) {
        const VlcEntry& e = coeffVlc[index];
        if (e.length == length) {
            if (e.code == code) {
                bitBudget = static_cast<std::int16_t>(bitBudget - length);
                return e.value;
            }
            ++index;
        } else {
            code = code * 2 + (GetBit() ? 1 : 0);
            ++length;
        }
    }
    return 0;
}

static std::int16_t DcDifferential(Decoder& d, std::int16_t size) {
    if (size == 0) return 0;
    int value = d.GetBit() ? 1 : -2;
    for (int i = 1; i < size; ++i) value = value * 2 + (d.GetBit() ? 1 : 0);
    if (value < 0) value += 1;
    return static_cast<std::int16_t>(value);
}

std::int16_t Decoder::GetDcDiffY() {
    return DcDifferential(*this, GetDcSizeY());
}
std::int16_t Decoder::GetDcDiffC() {
    return DcDifferential(*this, GetDcSizeC());
}

bool Decoder::GetBlock() {
    std::fill(coeffBuf + 1, coeffBuf + 64, std::int16_t{0});
    std::int16_t bitBudget = kBlockBitBudget;
    int pos = 1;
    for (;;) {
        const std::int16_t v = GetCoef(bitBudget);
        if (v == -1) return true;
        int run;
        int level;
        if (v == kEscapeValue) {
            run = static_cast<int>(ReadBits(6));
            const int field = static_cast<int>(ReadBits(8));
            if (field == 0x00) {
                level = static_cast<int>(ReadBits(8));
            } else if (field == 0x80) {
                level = static_cast<int>(ReadBits(8)) - 256;
            } else {
                level = static_cast<std::int8_t>(field);
            }
        } else {
            const RunLevel rl = UnpackRunLevel(v);
            run = rl.run;
            level = GetBit() ? -rl.level : rl.level;
        }
        pos += run;
        if (pos > 63) return false;
        coeffBuf[pos] = static_cast<std::int16_t>(level);
        ++pos;
    }
}

bool Decoder::GetMacroBlock() {
    // Address increment 1 and type intra; anything else (skips, quantiser changes,
    // stuffing, a further slice) ends the picture.
    if (!GetBit()) return false;
    if (!GetBit()) return false;
    std::int16_t* const blocks[6] = {blkY0, blkY1, blkY2, blkY3, blkCb, blkCr};
    std::int16_t* const preds[6] = {&dcPredY, &dcPredY, &dcPredY, &dcPredY, &dcPredCb, &dcPredCr};
    for (int b = 0; b < 6; ++b) {
        coeffBuf[0] = b < 4 ? GetDcDiffY() : GetDcDiffC();
        if (!GetBlock()) return false;
        const int sum = coeffBuf[0] + *preds[b];
        // Only corrupt data can leave the 16-bit range; treat it as a broken macroblock.
        if (sum < -32768 || sum > 32767) return false;
        coeffBuf[0] = static_cast<std::int16_t>(sum);
        *preds[b] = coeffBuf[0];
        IZZQ(blocks[b], coeffBuf);
        Idct(blocks[b]);
    }
    return true;
}

void Decoder::SetIntraMatrix(const std::uint8_t* naturalOrder) {
    if (naturalOrder) {
        std::copy(naturalOrder, naturalOrder + 64, intraMatrix_.begin());
    } else {
        intraMatrix_ = kDefaultIntraMatrix;
    }
}

bool Decoder::AssemblePicture(const FrameBuffer& frameBuf, std::uint8_t picFormat,
                              std::uint8_t* picBuf) {
    dcPredY = 128;
    dcPredCb = 0;
    dcPredCr = 0;
    bitPos = 0;
    frame_ = &frameBuf;
    const PictureFormatInfo* fmt = FormatInfo(picFormat);
    if (!fmt) return false;

    // The slice's quantiser_scale sits in the top five bits of the first byte.
    SetQuant(frameBuf[0] >> 3, intraMatrix_.data());

    const bool vga = picFormat == 1;
    void (*const copyY)(std::uint8_t*, const std::int16_t*) = vga ? CopyBlockVgaY : CopyBlockCifY;
    void (*const copyC)(std::uint8_t*, const std::int16_t*) = vga ? CopyBlockVgaC : CopyBlockCifC;
    const int rowBytes = fmt->rowBytes;
    for (int m = 0; m < fmt->mbRows; ++m) {
        const int r = 16 * (fmt->mbRows - 1 - m);  // buffer row of the macroblock's bottom line
        for (int c = 0; c < fmt->mbColumns; ++c) {
            if (!GetMacroBlock()) return false;
            std::uint8_t* const bottomLeft = picBuf + r * rowBytes + 16 * c * 3;
            std::uint8_t* const upperLeft = bottomLeft + 8 * rowBytes;
            copyY(upperLeft, blkY0);
            copyY(upperLeft + 8 * 3, blkY1);
            copyY(bottomLeft, blkY2);
            copyY(bottomLeft + 8 * 3, blkY3);
            copyC(bottomLeft + 1, blkCb);
            copyC(bottomLeft + 2, blkCr);
        }
    }
    return true;
}

bool Decoder::DecodePicture(const FrameBuffer& frameBuf, std::uint8_t picFormat,
                            std::uint8_t* picBuf) {
    if (!AssemblePicture(frameBuf, picFormat, picBuf)) return false;
    YUVtoRGB(picBuf, FormatInfo(picFormat)->pixelCount);
    return true;
}

}  // namespace droskal
