// The plain reader: one GetBit a bit, the code tables walked entry by entry, and the
// library's IZZQ and Idct on every block. The oracle of the whole-picture path.

#include <algorithm>

#include "decoder/CoeffCodes.h"
#include "decoder/Decoder.h"
#include "extlib/KorvanMpeg.h"

namespace droskal {

void Decoder::StartPicture(const FrameBuffer& frameBuf) {
    state_.dcPredY = 128;
    state_.dcPredCb = 0;
    state_.dcPredCr = 0;
    state_.bitPos = 0;
    frame_ = &frameBuf;
    // The slice's quantiser_scale sits in the top five bits of the first byte.
    SetQuant(frameBuf[0] >> 3, intraMatrix_.data());
}

bool Decoder::GetBit() {
    ReaderState& s = state_;
    if (s.bitPos == 0) {
        // A picture starts below the quantiser scale and extra_bit_slice.
        s.bitMask = 2;
        s.bitByte = (*frame_)[0];
        s.bitPos = 1;
    }
    if (s.bitMask == 0) {
        s.bitMask = 128;
        // Past the buffer the last byte is handed out again; decoding ends by its own limits.
        if (s.bitPos >= kFrameBufSize) return false;
        s.bitByte = (*frame_)[static_cast<std::size_t>(s.bitPos)];
        ++s.bitPos;
    }
    const bool bit = (s.bitByte & s.bitMask) != 0;
    s.bitMask >>= 1;
    return bit;
}

std::uint32_t Decoder::ReadBits(int count) {
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i) v = v * 2 + (GetBit() ? 1 : 0);
    return v;
}

std::int16_t Decoder::GetDcSizeY() {
    return static_cast<std::int16_t>(WalkDcSizeY([this] { return GetBit(); }));
}

std::int16_t Decoder::GetDcSizeC() {
    return static_cast<std::int16_t>(WalkDcSizeC([this] { return GetBit(); }));
}

std::int16_t Decoder::GetCoef(std::int16_t& bitBudget) {
    if (bitBudget <= 0) return -1;
    const CoeffWalk r = WalkCoeffCode(coeffVlc_, [this] { return GetBit(); });
    if (r.kind == CoeffWalk::EndOfBlock) return -1;  // costs nothing
    if (r.kind == CoeffWalk::Match) bitBudget = static_cast<std::int16_t>(bitBudget - r.bits);
    return r.value;
}

namespace {

// `size` differential bits: a leading 1 gives the bits as they are, a leading 0 the bits
// minus (2^size - 1).
template <class NextBit>
std::int16_t DcDifferential(int size, NextBit&& next) {
    if (size == 0) return 0;
    int value = next() ? 1 : -2;
    for (int i = 1; i < size; ++i) value = value * 2 + (next() ? 1 : 0);
    if (value < 0) value += 1;
    return static_cast<std::int16_t>(value);
}

}  // namespace

std::int16_t Decoder::GetDcDiffY() {
    return DcDifferential(GetDcSizeY(), [this] { return GetBit(); });
}
std::int16_t Decoder::GetDcDiffC() {
    return DcDifferential(GetDcSizeC(), [this] { return GetBit(); });
}

bool Decoder::GetBlock() {
    std::fill(coeffBuf_ + 1, coeffBuf_ + 64, std::int16_t{0});
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
        coeffBuf_[pos] = static_cast<std::int16_t>(level);
        ++pos;
    }
}

bool Decoder::GetMacroBlock() {
    // Address increment 1 and type intra; anything else (skips, quantiser changes,
    // stuffing, a further slice) ends the picture.
    if (!GetBit()) return false;
    if (!GetBit()) return false;
    std::int16_t* const preds[6] = {&state_.dcPredY, &state_.dcPredY,  &state_.dcPredY,
                                    &state_.dcPredY, &state_.dcPredCb, &state_.dcPredCr};
    for (int b = 0; b < 6; ++b) {
        coeffBuf_[0] = b < 4 ? GetDcDiffY() : GetDcDiffC();
        if (!GetBlock()) return false;
        const int sum = coeffBuf_[0] + *preds[b];
        // Only corrupt data can leave the 16-bit range; treat it as a broken macroblock.
        if (sum < -32768 || sum > 32767) return false;
        coeffBuf_[0] = static_cast<std::int16_t>(sum);
        *preds[b] = coeffBuf_[0];
        IZZQ(blocks_[b], coeffBuf_);
        Idct(blocks_[b]);
    }
    return true;
}

}  // namespace droskal
