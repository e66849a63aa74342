// Macroblocks through a 64-bit window on the frame buffer and the lookup tables: the same
// bits, levels, blocks and reader state as GetMacroBlock, with IZZQ's dequantisation done as
// the levels are read and the IDCT told what the reading already knows.

#include <algorithm>
#include <array>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/BitWindow.h"
#include "decoder/CoeffCodes.h"
#include "decoder/Decoder.h"
#include "decoder/FastTables.h"
#include "extlib/IdctFast.h"
#include "extlib/Mpeg1Tables.h"

namespace droskal {

namespace {

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

// A code the coefficient words do not take: an escape with its fields, a long code, one
// without an entry (run 0, level 1, as GetBlock takes it) or the end of block.
struct SlowCode {
    bool end;
    int run;
    int level;
    int tableAt;  // the dequantisation table's row, -1 for an escape
};

// Read from a filled window, which it moves past the code, its sign and fields (up to 28 bits).
SlowCode ReadSlowCode(const FastTables& t, BitWindow& in) {
    std::uint64_t w = in.bits();
    const auto top16 = static_cast<std::uint32_t>(w >> 48);
    const FastCode code = (top16 >> 10) != 0 ? t.shortCodes[top16 >> 8] : t.longCodes[top16];
    in.skip(code.length);
    if (code.value == -1) return {true, 0, 0, -1};
    w <<= code.length;
    if (code.value != kEscapeValue) {
        const auto negative = static_cast<int>(w >> 63);
        in.skip(1);
        return {false, code.run, (code.level ^ -negative) + negative,
                (code.level * 2 + negative) * 64};
    }
    const int run = static_cast<int>(w >> 58);
    const auto field = static_cast<int>((w >> 50) & 0xFF);
    in.skip(14);
    if (field != 0x00 && field != 0x80) return {false, run, static_cast<std::int8_t>(field), -1};
    in.skip(8);
    const auto next = static_cast<int>((w >> 42) & 0xFF);
    return {false, run, field == 0x00 ? next : next - 256, -1};
}

// The coefficient word of the window's next bits, from one of the table's two parts, chosen
// without a branch (long codes come too often to be predicted).
inline std::uint32_t CoefficientAt(const FastTables& t, std::uint64_t w) {
    const std::size_t head = w >> 53;
    const std::size_t tail = FastTables::kTail + ((w >> 47) & 1023);
    return t.words[(w >> 57) != 0 ? head : tail];
}

// The natural position of the level before scan position `next`.
constexpr std::array<std::uint8_t, 65> kNaturalBefore = [] {
    std::array<std::uint8_t, 65> n{};
    for (std::size_t i = 1; i < n.size(); ++i) n[i] = kZigZag[i - 1];
    return n;
}();

// One block's DC differential (in dq[0]) and AC levels from a window on a macroblock, dq
// holding the dequantised AC in natural order, and the scan position after its last level in
// end. False when a run passes position 63.
// GetCoef's bit budget never runs out here: every code but the end of block moves the
// position on by at least one, so a block fails at its 64th code at the latest, after at most
// 63 x 16 bits of charged codes, far below kBlockBitBudget.
inline bool ReadFastBlock(const FastTables& t, BitWindow& in, bool luma, std::int16_t* dq,
                          unsigned& end) {
    // The DC size code, then `size` bits, negative ones offset, without branches: size 0 reads
    // no bits and its mask of 0 keeps the difference 0.
    in.fill();
    const FastDc dc = (luma ? t.dcY : t.dcC)[in.bits() >> 56];
    in.skip(dc.length);
    const std::uint64_t w = in.bits();
    const auto bits = static_cast<int>((w >> 1) >> (63 - dc.size));
    const int negative = static_cast<int>(w >> 63) - 1;  // 0 or -1
    in.skip(dc.size);
    ZeroBlock(dq);
    dq[0] = static_cast<std::int16_t>(bits - (negative & ((1 << dc.size) - 1)));
    std::size_t next = 1;  // as wide as the table indexes it takes part in
    // A coefficient word's one or two levels into dq; false when a run passes position 63 or
    // the word is a stop word or the end of block.
    // The second is stored first: without one, its level-0 entry lands on the first's position
    // and the first's own level then overwrites it.
    const auto take = [&](std::uint32_t e) {
        in.skipWord(e);
        const std::uint64_t word = e;
        const std::size_t first = next + ((word >> coef::kStepShift) & 63);
        next = first + (word >> coef::kSecondStepShift);
        if (next > 64) return false;
        dq[kNaturalBefore[next]] =
            t.dequant[((word >> coef::kSecondShift) & coef::kRowBits) + next];
        dq[kNaturalBefore[first]] = t.dequant[(word & coef::kRowBits) + first];
        return true;
    };
    for (;;) {
        // Three words of at most 17 bits each from one fill of 56; the first code they do not
        // decode ends the three.
        in.fill();
        std::uint32_t e = CoefficientAt(t, in.bits());
        if (take(e)) [[likely]] {
            e = CoefficientAt(t, in.bits());
            if (take(e)) [[likely]] {
                e = CoefficientAt(t, in.bits());
                if (take(e)) [[likely]]
                    continue;
            }
        }
        // A stop word took no bits, the end of block its own; their steps come off again. Any
        // other word stopped here ran past position 63.
        const std::uint32_t kind = coef::Kind(e);
        if (kind != coef::kStop && kind != coef::kEnd) return false;
        next -= coef::Steps(e);
        if (kind == coef::kEnd) break;
        in.fill();
        const SlowCode code = ReadSlowCode(t, in);
        if (code.end) break;
        next += static_cast<unsigned>(code.run) + 1;
        if (next > 64) return false;
        // A stored level of 0 (an escape can code one) leaves IZZQ's zero in place.
        if (code.level != 0) {
            const std::size_t at = next - 1;
            dq[kZigZag[at]] = code.tableAt >= 0
                                  ? t.dequant[static_cast<std::size_t>(code.tableAt) + next]
                                  : extlib::DequantAc(code.level, t.weights[at]);
        }
    }
    end = static_cast<unsigned>(next);
    return true;
}

}  // namespace

// A whole macroblock or nothing: false, with the predictors and bitOffset as they were, when
// anything fails; the caller then reads that macroblock again with the plain reader, which
// fails the same way and leaves everything as the plain calls do. Nor are the levels kept:
// the last macroblock of a picture is always read plainly too.
bool Decoder::FastMacroBlock(std::uint64_t& bitOffset, const Planes* to) {
    BitWindow in(frame_->data(), bitOffset);
    // Header bits 1, 1.
    if ((in.bits() >> 62) != 3) return false;
    in.skip(2);
    std::int16_t* const preds[6] = {&state_.dcPredY, &state_.dcPredY,  &state_.dcPredY,
                                    &state_.dcPredY, &state_.dcPredCb, &state_.dcPredCr};
    const ReaderState saved = state_;
    // All six blocks are read before any is transformed: the transform's loads then find the
    // reader's scattered stores already written, not still on their way.
    alignas(16) std::int16_t dq[6][64];
    unsigned ends[6];
    for (int b = 0; b < 6; ++b) {
        const bool ok = ReadFastBlock(*fast_, in, b < 4, dq[b], ends[b]);
        const int sum = dq[b][0] + *preds[b];
        if (!ok || sum < -32768 || sum > 32767) {
            state_ = saved;
            return false;
        }
        *preds[b] = static_cast<std::int16_t>(sum);
        // IZZQ's DC term.
        dq[b][0] = static_cast<std::int16_t>(std::clamp(sum * 8, -32768, 32767));
    }
    // The IDCT, told which positions may hold levels.
    std::uint64_t shapes[6];
    for (int b = 0; b < 6; ++b) shapes[b] = kScanPrefix.mask[ends[b]];
    if (to) {
        extlib::IdctCodedMacroblockToBytes(dq, shapes, to->y, to->stride, to->cb, to->cr,
                                           to->chromaStride);
    } else {
        for (int b = 0; b < 6; b += 2) {
            extlib::IdctCodedPair(dq[b], blocks_[b], shapes[b], dq[b + 1], blocks_[b + 1],
                                  shapes[b + 1]);
        }
    }
    bitOffset = in.offset();
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
