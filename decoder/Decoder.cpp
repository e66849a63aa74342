#include "decoder/Decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/CoeffCodes.h"
#include "decoder/PictureFormat.h"
#include "extlib/IdctFast.h"
#include "extlib/KorvanMpeg.h"
#include "extlib/Mpeg1Tables.h"

namespace droskal {

namespace {

// Read until something real is attached: all zero bits, which no macroblock accepts.
const FrameBuffer kNoFrame{};

// The most one macroblock can read: 2 header bits and six blocks of at most 18 DC bits, 64
// codes of at most 28 bits (a block fails at its 64th level) and an end of block: 10874 bits,
// 1360 bytes. The fast reader also loads 8 bytes ahead. A macroblock that starts at least
// this far from the end of the frame buffer can never meet the reader's end behaviour.
constexpr int kFastMarginBytes = 1400;

// The next 64 bits from bit offset `bit`, first bit in the top bit.
inline std::uint64_t Peek64(const std::uint8_t* buf, std::uint64_t bit) {
    std::uint64_t w;
    __builtin_memcpy(&w, buf + (bit >> 3), 8);
    return __builtin_bswap64(w) << (bit & 7);
}

// 64 zero samples, eight aligned stores.
inline void ZeroBlock(std::int16_t* block) {
#if defined(__SSE2__)
    for (int i = 0; i < 64; i += 8) _mm_store_si128(reinterpret_cast<__m128i*>(block + i), _mm_setzero_si128());
#else
    std::fill(block, block + 64, std::int16_t{0});
#endif
}

// A pattern of bits as a stand-in reader for building the tables with the plain walks.
struct PatternBits {
    std::uint32_t bits;  // first bit in bit `width - 1`
    int width;
    int taken = 0;
    bool operator()() {
        ++taken;
        return taken <= width && ((bits >> (width - taken)) & 1) != 0;
    }
};

// Run and level magnitude of packed values 0..110 (111, the escape, reads its own).
struct RunLevelTable {
    std::uint8_t run[112];
    std::uint8_t level[112];
};
const RunLevelTable kRunLevel = [] {
    RunLevelTable t{};
    for (int v = 0; v < 111; ++v) {
        const RunLevel rl = UnpackRunLevel(v);
        t.run[v] = static_cast<std::uint8_t>(rl.run);
        t.level[v] = static_cast<std::uint8_t>(rl.level);
    }
    return t;
}();

// Natural positions of scan positions 0..n-1, for each n: where a block whose levels end
// before scan position n may hold anything.
struct ScanPrefix {
    std::uint64_t mask[65];
};
const ScanPrefix kScanPrefix = [] {
    ScanPrefix t{};
    for (int n = 1; n <= 64; ++n) t.mask[n] = t.mask[n - 1] | (std::uint64_t{1} << kZigZag[static_cast<std::size_t>(n - 1)]);
    return t;
}();

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
    BuildFastTables();
}

void Decoder::BuildFastTables() {
    // An entry that decodes code and sign in one lookup.
    const auto SignedCoefficient = [](FastCoef& e, const FastCode& c, int negative) {
        e.level = static_cast<std::int16_t>(negative != 0 ? -c.level : c.level);
        e.length = static_cast<std::uint8_t>(c.length + 1);
        e.charge = c.charge;
        e.run = c.run;
        e.whole = 1;
        e.tableAt = static_cast<std::uint16_t>((c.level * 2 + negative) * 64);
    };
    // Every entry comes from the plain walk on that bit pattern, so the lookups decode what
    // the walk decodes; a short entry must not need bits beyond its eight.
    fastOk_ = true;
    // Matched codes pay their length; the end of block and patterns without an entry pay
    // nothing.
    const auto fromWalk = [](const CoeffWalk& r) {
        return FastCode{r.value, static_cast<std::uint8_t>(r.bits),
                        static_cast<std::uint8_t>(r.kind == CoeffWalk::Match ? r.bits : 0), 0, 0, 0};
    };
    for (std::uint32_t p = 0; p < 256; ++p) {
        PatternBits in{p << 8, 16};
        fastShort_[p] = fromWalk(WalkCoeffCode(coeffVlc, in));
        if (p >= 4 && in.taken > 8) fastOk_ = false;
    }
    for (std::uint32_t q = 0; q < 1024; ++q) {
        PatternBits in{q, 16};
        fastLong_[q] = fromWalk(WalkCoeffCode(coeffVlc, in));
    }
    for (auto* table : {fastShort_.data(), fastLong_.data()}) {
        const std::size_t n = table == fastShort_.data() ? fastShort_.size() : fastLong_.size();
        for (std::size_t i = 0; i < n; ++i) {
            FastCode& c = table[i];
            if (c.value < 0 || c.value == kEscapeValue) continue;
            c.run = kRunLevel.run[c.value];
            c.level = kRunLevel.level[c.value];
            if (c.level >= kTableLevels) fastOk_ = false;
        }
    }
    for (std::uint32_t p = 0; p < 1024; ++p) {
        // Patterns starting 000000 need more than these 10 bits to find their code.
        FastCoef& e = fastCoef_[p];
        e = {};
        if ((p >> 4) == 0) {
            e.whole = 3;  // see the long half
            continue;
        }
        const FastCode& c = fastShort_[p >> 2];
        if (c.value == -1) {
            e.length = c.length;
            e.whole = 2;
            continue;
        }
        if (c.value == kEscapeValue || c.level == 0 || c.length + 1 > 10) continue;
        SignedCoefficient(e, c, static_cast<int>((p >> (9 - c.length)) & 1));
    }
    for (std::uint32_t q = 0; q < 1024; ++q) {
        // Codes starting 000000 with their sign inside the first 16 bits; patterns without
        // an entry (charged nothing) stay with the FastCode way.
        FastCoef& e = fastCoef_[kLongCoefs + q];
        e = {};
        const FastCode& c = fastLong_[q];
        if (c.value < 0 || c.value == kEscapeValue || c.charge == 0 || c.level == 0 || c.length + 1 > 16) continue;
        SignedCoefficient(e, c, static_cast<int>((q >> (15 - c.length)) & 1));
    }
    for (std::uint32_t p = 0; p < 256; ++p) {
        PatternBits y{p, 8};
        const int sy = WalkDcSizeY(y);
        fastDcY_[p] = {static_cast<std::uint8_t>(sy), static_cast<std::uint8_t>(y.taken)};
        PatternBits c{p, 8};
        const int sc = WalkDcSizeC(c);
        fastDcC_[p] = {static_cast<std::uint8_t>(sc), static_cast<std::uint8_t>(c.taken)};
        if (y.taken > 8 || c.taken > 8) fastOk_ = false;
    }
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
    return static_cast<std::int16_t>(WalkDcSizeY([this] { return GetBit(); }));
}

std::int16_t Decoder::GetDcSizeC() {
    return static_cast<std::int16_t>(WalkDcSizeC([this] { return GetBit(); }));
}

std::int16_t Decoder::GetCoef(std::int16_t& bitBudget) {
    if (bitBudget <= 0) return -1;
    const CoeffWalk r = WalkCoeffCode(coeffVlc, [this] { return GetBit(); });
    if (r.kind == CoeffWalk::EndOfBlock) return -1;  // costs nothing
    if (r.kind == CoeffWalk::Match) bitBudget = static_cast<std::int16_t>(bitBudget - r.bits);
    return r.value;
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

void Decoder::SyncReaderTo(std::uint64_t bitOffset) {
    // The state GetBit would have after handing out the bit before `bitOffset`: a finished
    // byte leaves the mask at 0 with the load still to come.
    const auto byte = static_cast<std::int32_t>(bitOffset >> 3);
    const int bit = static_cast<int>(bitOffset & 7);
    if (bit == 0) {
        bitPos = byte;
        bitMask = 0;
        bitByte = (*frame_)[static_cast<std::size_t>(byte - 1)];
    } else {
        bitPos = byte + 1;
        bitMask = static_cast<std::uint8_t>(0x80 >> bit);
        bitByte = (*frame_)[static_cast<std::size_t>(byte)];
    }
}

bool Decoder::FastMacroBlock(std::uint64_t& bitOffset) {
    const std::uint8_t* const buf = frame_->data();
    std::uint64_t o = bitOffset;
    // Header bits 1, 1, read one at a time as GetMacroBlock does (it stops after a 0).
    const std::uint64_t header = Peek64(buf, o) >> 62;
    if ((header & 2) == 0) {
        bitOffset = o + 1;
        return false;
    }
    if ((header & 1) == 0) {
        bitOffset = o + 2;
        return false;
    }
    o += 2;

    std::int16_t* const blocks[6] = {blkY0, blkY1, blkY2, blkY3, blkCb, blkCr};
    std::int16_t* const preds[6] = {&dcPredY, &dcPredY, &dcPredY, &dcPredY, &dcPredCb, &dcPredCr};
    const std::int32_t* const weight = extlib::QuantWeights();
    // Blocks are transformed in pairs (0 and 1, 2 and 3, Cb and Cr), so an even block's
    // dequantised coefficients wait for their partner. A failure transforms the waiting one
    // first: the library's blocks end as the plain calls leave them.
    alignas(16) std::int16_t pending[2][64];
    int pendingSum = 0;
    std::uint64_t pendingMask = 0;
    for (int b = 0; b < 6; ++b) {
        const auto fail = [&](std::uint64_t at) {
            if (b & 1) extlib::IdctDecoded(pending[0], blocks[b - 1], pendingSum, pendingMask);
            bitOffset = at;
            return false;
        };
        // DC differential: the size code, then `size` bits, negative ones offset. From here
        // on the block reads at bit offset o + used; w holds the bits from there, and the load
        // at o brought at least 57 bits.
        std::uint64_t w = Peek64(buf, o);
        const FastDc dc = (b < 4 ? fastDcY_ : fastDcC_)[w >> 56];
        w <<= dc.length;
        int used = dc.length;
        // Without branches, as sizes and signs follow the picture: size 0 reads no bits and
        // its mask of 0 keeps the difference 0.
        const auto bits = static_cast<int>((w >> 1) >> (63 - dc.size));
        const int negative = static_cast<int>(w >> 63) - 1;  // 0 or -1
        const int diff = bits - (negative & ((1 << dc.size) - 1));
        used += dc.size;
        w <<= dc.size;
        // AC levels as GetBlock reads them, dequantised as IZZQ would into a block of our own
        // (the library's block stays untouched if this one fails, as with the plain calls).
        std::int16_t* const dq = pending[b & 1];
        ZeroBlock(coeffBuf);
        ZeroBlock(dq);
        coeffBuf[0] = static_cast<std::int16_t>(diff);
        // What the IDCT would otherwise work out again: the sum of |AC| (one table add per
        // level) and, from the scan positions reached, where they may sit.
        // GetCoef's bit budget never runs out here: every code but the end of block moves the
        // position on by at least one, so a block fails at its 64th code at the latest, after
        // at most 63 x 16 bits of charged codes, far below kBlockBitBudget.
        unsigned acSum = 0;
        int pos = 1;
        for (;;) {
            // A whole-coefficient lookup needs 10 bits, a long one 16 and its sign.
            if (used > 57 - 10) {
                o += static_cast<unsigned>(used);
                used = 0;
                w = Peek64(buf, o);
            }
            const FastCoef* entry = &fastCoef_[w >> 54];
            if (entry->whole == 3) {
                if (used > 57 - 17) {
                    o += static_cast<unsigned>(used);
                    used = 0;
                    w = Peek64(buf, o);
                }
                entry = &fastCoef_[kLongCoefs + ((w >> 48) & 1023)];
            }
            const FastCoef& whole = *entry;
            if (whole.whole == 1) {
                w <<= whole.length;
                used += whole.length;
                pos += whole.run;
                if (pos > 63) return fail(o + static_cast<unsigned>(used));
                coeffBuf[pos] = whole.level;
                const auto rec = static_cast<std::size_t>(whole.tableAt + pos);
                dq[kZigZag[static_cast<std::size_t>(pos)]] = dequant_[rec];
                acSum += dequantAbs_[rec];
                ++pos;
                continue;
            }
            o += static_cast<unsigned>(used);
            used = 0;
            if (whole.whole == 2) {  // end of block
                o += whole.length;
                break;
            }
            // Escapes and long codes take up to 28 bits; load afresh for them and after them.
            w = Peek64(buf, o);
            const auto top16 = static_cast<std::uint32_t>(w >> 48);
            const FastCode code = (top16 >> 10) != 0 ? fastShort_[top16 >> 8] : fastLong_[top16];
            o += code.length;
            if (code.value == -1) break;
            w <<= code.length;
            int run;
            int level;
            int tableAt = -1;  // the dequantisation table's row, if any
            if (code.value == kEscapeValue) {
                run = static_cast<int>(w >> 58);
                const auto field = static_cast<int>((w >> 50) & 0xFF);
                o += 14;
                if (field == 0x00) {
                    level = static_cast<int>((w >> 42) & 0xFF);
                    o += 8;
                } else if (field == 0x80) {
                    level = static_cast<int>((w >> 42) & 0xFF) - 256;
                    o += 8;
                } else {
                    level = static_cast<std::int8_t>(field);
                }
            } else {
                run = code.run;
                const auto negative = static_cast<int>(w >> 63);
                level = (code.level ^ -negative) + negative;
                tableAt = (code.level * 2 + negative) * 64;
                o += 1;
            }
            w = Peek64(buf, o);
            pos += run;
            if (pos > 63) return fail(o);
            coeffBuf[pos] = static_cast<std::int16_t>(level);
            // A stored level of 0 (an escape can code one) leaves IZZQ's zero in place.
            if (level != 0) {
                const std::int16_t rec =
                    tableAt >= 0 ? dequant_[static_cast<std::size_t>(tableAt + pos)]
                                 : extlib::DequantAc(level, weight[pos]);
                const unsigned at = kZigZag[static_cast<std::size_t>(pos)];
                dq[at] = rec;
                acSum += static_cast<unsigned>(std::abs(rec));
            }
            ++pos;
        }

        const int sum = coeffBuf[0] + *preds[b];
        if (sum < -32768 || sum > 32767) return fail(o);
        coeffBuf[0] = static_cast<std::int16_t>(sum);
        *preds[b] = coeffBuf[0];

        // IZZQ's DC term, then the IDCT, told the AC sum (0 when none survived) and positions.
        dq[0] = static_cast<std::int16_t>(std::clamp(coeffBuf[0] * 8, -32768, 32767));
        if ((b & 1) == 0) {
            pendingSum = static_cast<int>(acSum);
            pendingMask = kScanPrefix.mask[pos];
        } else {
            extlib::IdctDecodedPair(pending[0], blocks[b - 1], pendingSum, pendingMask, dq, blocks[b],
                                    static_cast<int>(acSum), kScanPrefix.mask[pos]);
        }
    }
    bitOffset = o;
    return true;
}

void Decoder::UpdateDequantTable() {
    const std::int32_t* const weight = extlib::QuantWeights();
    if (dequantValid_ && std::equal(weight, weight + 64, dequantWeights_.begin())) return;
    std::copy(weight, weight + 64, dequantWeights_.begin());
    for (int pos = 0; pos < 64; ++pos) {
        for (int level = 0; level < kTableLevels; ++level) {
            for (int negative = 0; negative < 2; ++negative) {
                const auto at = static_cast<std::size_t>((level * 2 + negative) * 64 + pos);
                dequant_[at] = extlib::DequantAc(negative != 0 ? -level : level, weight[pos]);
                dequantAbs_[at] = static_cast<std::uint16_t>(std::abs(dequant_[at]));
            }
        }
    }
    dequantValid_ = true;
}

void Decoder::SetIntraMatrix(const std::uint8_t* naturalOrder) {
    if (naturalOrder) {
        std::copy(naturalOrder, naturalOrder + 64, intraMatrix_.begin());
    } else {
        intraMatrix_ = kDefaultIntraMatrix;
    }
}

template <class Place>
bool Decoder::DecodeMacroblocks(const FrameBuffer& frameBuf, std::uint8_t picFormat, Place&& place,
                                int* decoded) {
    dcPredY = 128;
    dcPredCb = 0;
    dcPredCr = 0;
    bitPos = 0;
    frame_ = &frameBuf;
    *decoded = 0;
    const PictureFormatInfo* fmt = FormatInfo(picFormat);
    if (!fmt) return false;

    // The slice's quantiser_scale sits in the top five bits of the first byte.
    SetQuant(frameBuf[0] >> 3, intraMatrix_.data());
    if (fastOk_) UpdateDequantTable();

    // The fast reader runs from bit 1 of byte 0 while a whole macroblock stays clear of the
    // buffer's end; from there on (and if the tables could not be built) the plain reader
    // takes over from the very same state.
    bool fast = fastOk_;
    std::uint64_t bitOffset = 6;
    for (int m = 0; m < fmt->mbRows; ++m) {
        for (int c = 0; c < fmt->mbColumns; ++c) {
            if (fast && (bitOffset >> 3) + kFastMarginBytes > static_cast<std::uint64_t>(kFrameBufSize)) {
                SyncReaderTo(bitOffset);
                fast = false;
            }
            if (fast) {
                if (!FastMacroBlock(bitOffset)) {
                    SyncReaderTo(bitOffset);
                    return false;
                }
            } else if (!GetMacroBlock()) {
                return false;
            }
            place(m, c);
            ++*decoded;
        }
    }
    if (fast) SyncReaderTo(bitOffset);
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
        frameBuf, picFormat,
        [&](int m, int c) {
            const int rowBytes = fmt->rowBytes;
            const int r = 16 * (fmt->mbRows - 1 - m);  // buffer row of the macroblock's bottom line
            std::uint8_t* const bottomLeft = picBuf + r * rowBytes + 16 * c * 3;
            std::uint8_t* const upperLeft = bottomLeft + 8 * rowBytes;
            copyY(upperLeft, blkY0);
            copyY(upperLeft + 8 * 3, blkY1);
            copyY(bottomLeft, blkY2);
            copyY(bottomLeft + 8 * 3, blkY3);
            copyC(bottomLeft + 1, blkCb);
            copyC(bottomLeft + 2, blkCr);
        },
        &decoded);
}

namespace {

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
        dst[i] = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp<int>(src[i], -128, 127)));
#endif
}

}  // namespace

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
    const bool ok = DecodeMacroblocks(
        frameBuf, picFormat,
        [&](int m, int c) {
            std::uint8_t* const y = py + (16 * m) * w + 16 * c;
            const std::int16_t* const quarters[4] = {blkY0, blkY1, blkY2, blkY3};
            for (int q = 0; q < 4; ++q) {
                std::uint8_t* const dst = y + 8 * (q >> 1) * w + 8 * (q & 1);
                for (int k = 0; k < 8; ++k) StoreLumaRow(dst + k * w, quarters[q] + 8 * k);
            }
            const int chromaAt = (8 * m) * cw + 8 * c;
            for (int k = 0; k < 8; ++k) {
                StoreChromaRow(pcb + chromaAt + k * cw, blkCb + 8 * k);
                StoreChromaRow(pcr + chromaAt + k * cw, blkCr + 8 * k);
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
    if (fastOk_ && FormatInfo(picFormat)) return DecodeThroughPlanes(frameBuf, picFormat, picBuf);
    if (!AssemblePicture(frameBuf, picFormat, picBuf)) return false;
    YUVtoRGB(picBuf, FormatInfo(picFormat)->pixelCount);
    return true;
}

}  // namespace droskal
