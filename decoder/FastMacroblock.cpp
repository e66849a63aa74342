// Macroblocks through a 64-bit window on the frame buffer and the lookup tables: the same
// bits, levels, blocks and reader state as GetMacroBlock, with IZZQ's dequantisation done as
// the levels are read and the IDCT told what the reading already knows.

#include <algorithm>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/CoeffCodes.h"
#include "decoder/Decoder.h"
#include "decoder/FastTables.h"
#include "extlib/IdctFast.h"
#include "extlib/Mpeg1Tables.h"

namespace droskal {

namespace {

// The next 64 bits from bit offset `bit`, first bit in the top bit.
inline std::uint64_t Peek64(const std::uint8_t* buf, std::uint64_t bit) {
    std::uint64_t w;
    __builtin_memcpy(&w, buf + (bit >> 3), 8);
    return __builtin_bswap64(w) << (bit & 7);
}

// 64 zero samples, eight aligned stores written out: as a loop the compiler turns them into a
// memset (rep stos), whose start-up costs more than the stores.
inline void ZeroBlock(std::int16_t* block) {
#if defined(__SSE2__)
    const __m128i z = _mm_setzero_si128();
    auto* v = reinterpret_cast<__m128i*>(block);
    _mm_store_si128(v, z), _mm_store_si128(v + 1, z), _mm_store_si128(v + 2, z),
        _mm_store_si128(v + 3, z);
    _mm_store_si128(v + 4, z), _mm_store_si128(v + 5, z), _mm_store_si128(v + 6, z),
        _mm_store_si128(v + 7, z);
#else
    std::fill(block, block + 64, std::int16_t{0});
#endif
}

// Natural positions of scan positions 0..n-1, for each n: where a block whose levels end
// before scan position n may hold anything.
struct ScanPrefix {
    std::uint64_t mask[65];
};
const ScanPrefix kScanPrefix = [] {
    ScanPrefix t{};
    for (int n = 1; n <= 64; ++n)
        t.mask[n] = t.mask[n - 1] | (std::uint64_t{1} << kZigZag[static_cast<std::size_t>(n - 1)]);
    return t;
}();

// A code the one-lookup entries do not take: an escape with its fields, a long code, one
// without an entry (run 0, level 1, as GetBlock takes it) or the end of block.
struct SlowCode {
    bool end;
    int run;
    int level;
    int tableAt;  // the dequantisation table's row, -1 for an escape
};

// Read from bit offset o, which it moves past the code, its sign and fields (up to 28 bits).
SlowCode ReadSlowCode(const FastTables& t, const std::uint8_t* buf, std::uint64_t& o) {
    std::uint64_t w = Peek64(buf, o);
    const auto top16 = static_cast<std::uint32_t>(w >> 48);
    const FastCode code = (top16 >> 10) != 0 ? t.shortCodes[top16 >> 8] : t.longCodes[top16];
    o += code.length;
    if (code.value == -1) return {true, 0, 0, -1};
    w <<= code.length;
    if (code.value != kEscapeValue) {
        const auto negative = static_cast<int>(w >> 63);
        o += 1;
        return {false, code.run, (code.level ^ -negative) + negative,
                (code.level * 2 + negative) * 64};
    }
    const int run = static_cast<int>(w >> 58);
    const auto field = static_cast<int>((w >> 50) & 0xFF);
    o += 14;
    if (field != 0x00 && field != 0x80) return {false, run, static_cast<std::int8_t>(field), -1};
    o += 8;
    const auto next = static_cast<int>((w >> 42) & 0xFF);
    return {false, run, field == 0x00 ? next : next - 256, -1};
}

}  // namespace

struct Decoder::FastBlock {
    unsigned acSum;  // sum of the dequantised AC magnitudes
    int end;         // scan position after the last level
};

namespace {

inline unsigned Magnitude(int v) {
    return static_cast<unsigned>(v < 0 ? -v : v);
}

}  // namespace

// One block's DC differential (the return value through dc) and AC levels from bit offset o,
// dq holding the dequantised AC in natural order. False when a run passes position 63.
// GetCoef's bit budget never runs out here: every code but the end of block moves the
// position on by at least one, so a block fails at its 64th code at the latest, after at most
// 63 x 16 bits of charged codes, far below kBlockBitBudget.
bool Decoder::ReadFastBlock(std::uint64_t& offset, int b, std::int16_t* dq, FastBlock& out) {
    const FastTables& t = *fast_;
    std::uint64_t o = offset;  // in a register, not through the reference
    const std::uint8_t* const buf = frame_->data();
    // The DC size code, then `size` bits, negative ones offset, without branches: size 0 reads
    // no bits and its mask of 0 keeps the difference 0. w holds the bits from o + used on.
    std::uint64_t w = Peek64(buf, o);
    const FastDc dc = (b < 4 ? t.dcY : t.dcC)[w >> 56];
    w <<= dc.length;
    const auto bits = static_cast<int>((w >> 1) >> (63 - dc.size));
    const int negative = static_cast<int>(w >> 63) - 1;  // 0 or -1
    ZeroBlock(dq);
    dq[0] = static_cast<std::int16_t>(
        bits - (negative & ((1 << dc.size) - 1)));  // the differential for now
    int used = dc.length + dc.size;
    w <<= dc.size;
    unsigned acSum = 0;
    int pos = 1;
    for (;;) {
        // A whole-coefficient lookup needs 10 bits, a long one 16 and its sign.
        if (used > 57 - 10) {
            o += static_cast<unsigned>(used);
            used = 0;
            w = Peek64(buf, o);
        }
        const FastCoef* entry = &t.coef[w >> 54];
        if (entry->kind != FastCoef::Whole && entry->kind == FastCoef::Long) [[unlikely]] {
            if (used > 57 - 17) {
                o += static_cast<unsigned>(used);
                used = 0;
                w = Peek64(buf, o);
            }
            entry = &t.coef[FastTables::kLongCoefs + ((w >> 48) & 1023)];
        }
        if (entry->kind == FastCoef::Whole) [[likely]] {
            const FastCoef e = *entry;
            w <<= e.length;
            used += e.length;
            pos += e.run;
            if (pos > 63) return false;
            const FastTables::Dequantised d = t.dequant[static_cast<std::size_t>(e.tableAt + pos)];
            dq[d.natural] = d.value;
            acSum += Magnitude(d.value);
            ++pos;
            continue;
        }
        o += static_cast<unsigned>(used);
        used = 0;
        if (entry->kind == FastCoef::EndOfBlock) {
            o += entry->length;
            break;
        }
        const SlowCode code = ReadSlowCode(t, buf, o);
        if (code.end) break;
        w = Peek64(buf, o);
        pos += code.run;
        if (pos > 63) return false;
        // A stored level of 0 (an escape can code one) leaves IZZQ's zero in place.
        if (code.level != 0) {
            const auto at = static_cast<std::size_t>(pos);
            const std::int16_t rec =
                code.tableAt >= 0 ? t.dequant[static_cast<std::size_t>(code.tableAt) + at].value
                                  : extlib::DequantAc(code.level, t.weights[at]);
            dq[kZigZag[at]] = rec;
            acSum += Magnitude(rec);
        }
        ++pos;
    }
    offset = o + static_cast<unsigned>(used);
    out = {acSum, pos};
    return true;
}

// A whole macroblock or nothing: false, with the predictors and bitOffset as they were, when
// anything fails; the caller then reads that macroblock again with the plain reader, which
// fails the same way and leaves everything as the plain calls do. Nor are the levels kept:
// the last macroblock of a picture is always read plainly too.
bool Decoder::FastMacroBlock(std::uint64_t& bitOffset) {
    std::uint64_t o = bitOffset;
    // Header bits 1, 1.
    if ((Peek64(frame_->data(), o) >> 62) != 3) return false;
    o += 2;
    std::int16_t* const preds[6] = {&state_.dcPredY, &state_.dcPredY,  &state_.dcPredY,
                                    &state_.dcPredY, &state_.dcPredCb, &state_.dcPredCr};
    const ReaderState saved = state_;
    // Blocks are transformed in pairs (0 and 1, 2 and 3, Cb and Cr), so an even block's
    // dequantised coefficients wait for their partner.
    alignas(16) std::int16_t pending[2][64];
    FastBlock waiting{};
    for (int b = 0; b < 6; ++b) {
        std::int16_t* const dq = pending[b & 1];
        FastBlock blk{};
        const bool ok = ReadFastBlock(o, b, dq, blk);
        const int sum = dq[0] + *preds[b];
        if (!ok || sum < -32768 || sum > 32767) {
            state_ = saved;
            return false;
        }
        *preds[b] = static_cast<std::int16_t>(sum);
        // IZZQ's DC term, then the IDCT, told the AC sum (0 when none survived) and positions.
        dq[0] = static_cast<std::int16_t>(std::clamp(sum * 8, -32768, 32767));
        if ((b & 1) == 0) {
            waiting = blk;
        } else {
            extlib::IdctDecodedPair(pending[0], blocks_[b - 1], static_cast<int>(waiting.acSum),
                                    kScanPrefix.mask[waiting.end], dq, blocks_[b],
                                    static_cast<int>(blk.acSum), kScanPrefix.mask[blk.end]);
        }
    }
    bitOffset = o;
    return true;
}

void Decoder::SyncReaderTo(std::uint64_t bitOffset) {
    // The state GetBit would have after handing out the bit before `bitOffset`: a finished
    // byte leaves the mask at 0 with the load still to come.
    const auto byte = static_cast<std::int32_t>(bitOffset >> 3);
    const int bit = static_cast<int>(bitOffset & 7);
    if (bit == 0) {
        state_.bitPos = byte;
        state_.bitMask = 0;
        state_.bitByte = (*frame_)[static_cast<std::size_t>(byte - 1)];
    } else {
        state_.bitPos = byte + 1;
        state_.bitMask = static_cast<std::uint8_t>(0x80 >> bit);
        state_.bitByte = (*frame_)[static_cast<std::size_t>(byte)];
    }
}

}  // namespace droskal
