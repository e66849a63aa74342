// The coefficient code table (InitVlc) and the lookup tables the whole-picture path reads,
// every entry built by the plain walks on that bit pattern.

#include "decoder/CoeffCodes.h"
#include "decoder/Decoder.h"
#include "decoder/FastTables.h"
#include "extlib/Mpeg1Tables.h"

namespace droskal {

namespace {

// Read until something real is attached: all zero bits, which no macroblock accepts.
const FrameBuffer kNoFrame{};

// A pattern of bits as a stand-in reader for the plain walks.
struct PatternBits {
    std::uint32_t bits;  // first bit in bit `width - 1`
    int width;
    int taken = 0;
    bool operator()() {
        ++taken;
        return taken <= width && ((bits >> (width - taken)) & 1) != 0;
    }
};

// Matched codes pay their length; the end of block and patterns without an entry nothing.
// No entry reads as packed value 0 (run 0, level 1), as GetBlock takes it.
FastCode FromWalk(const CoeffWalk& r) {
    FastCode c{r.value,
               static_cast<std::uint8_t>(r.bits),
               static_cast<std::uint8_t>(r.kind == CoeffWalk::Match ? r.bits : 0),
               0,
               0,
               0};
    if (r.kind != CoeffWalk::EndOfBlock && r.value != kEscapeValue) {
        const RunLevel rl = UnpackRunLevel(r.value);
        c.run = static_cast<std::uint8_t>(rl.run);
        c.level = static_cast<std::uint8_t>(rl.level);
    }
    return c;
}

// The coefficient word of a bit pattern (its first bit in bit `width - 1`): the code the
// plain walk finds in it, with the sign bit after it, where both fit in the pattern.
std::uint32_t CoefficientWord(const CoeffTable& vlc, std::uint32_t pattern, int width) {
    const CoeffWalk r = WalkCoeffCode(vlc, PatternBits{pattern >> 1, width - 1});
    if (r.kind != CoeffWalk::Match || r.value == kEscapeValue || r.bits + 1 > width) return 0;
    const RunLevel rl = UnpackRunLevel(r.value);
    const auto negative = static_cast<int>((pattern >> (width - 1 - r.bits)) & 1);
    return coef::Pack(r.bits + 1, rl.run, rl.level * 2 + negative);
}

// The table of every decoder: the standard's codes, escape included.
CoeffTable StandardCodeTable() {
    CoeffTable vlc{};
    for (std::size_t i = 0; i < kCoeffCodes.size(); ++i) {
        const CoeffCode& c = kCoeffCodes[i];
        const int value = c.run == kEscapeRun ? kEscapeValue : PackRunLevel(c.run, c.level);
        vlc[i] = {c.length, static_cast<std::int16_t>(c.code), static_cast<std::int16_t>(value)};
    }
    return vlc;
}

// Its lookups take millions of steps of the plain walks, so they are built once for the
// process, and each decoder copies them: a decoder per thread then starts at no cost, and
// its reader finds them in its own core's cache.
const FastTables& StandardLookups() {
    static const FastTables built = [] {
        FastTables t;
        t.Build(StandardCodeTable());
        return t;
    }();
    return built;
}

}  // namespace

Decoder::Decoder() : frame_(&kNoFrame), fast_(std::make_unique<FastTables>()) {
    InitVlc();
    SetIntraMatrix(nullptr);
}

Decoder::~Decoder() = default;

void Decoder::InitVlc() {
    coeffVlc_ = StandardCodeTable();
    state_.dcPredY = 128;
    state_.dcPredCb = 0;
    state_.dcPredCr = 0;
    *fast_ = StandardLookups();
}

void FastTables::Build(const CoeffTable& vlc) {
    // A short entry must not need bits beyond its eight, nor a level beyond the dequantisation
    // table; the DC codes fit in eight bits.
    ok = true;
    for (std::uint32_t p = 0; p < 256; ++p) {
        PatternBits in{p << 8, 16};
        shortCodes[p] = FromWalk(WalkCoeffCode(vlc, in));
        if (p >= 4 && in.taken > 8) ok = false;
    }
    for (std::uint32_t q = 0; q < 1024; ++q)
        longCodes[q] = FromWalk(WalkCoeffCode(vlc, PatternBits{q, 16}));
    for (const auto* table : {shortCodes.data(), longCodes.data()}) {
        for (std::size_t i = 0;
             i < (table == shortCodes.data() ? shortCodes.size() : longCodes.size()); ++i)
            if (table[i].level >= kTableLevels) ok = false;
    }
    // Codes of up to 16 bits and their sign: those starting with seven zeros by the 10 bits
    // after them, the rest by their first 11 bits.
    for (std::uint32_t p = 16; p < kTail; ++p) {
        const std::uint32_t first = CoefficientWord(vlc, p, 11);
        const auto rest = 11 - static_cast<int>(first & coef::kLengthMask);
        const std::uint32_t second =
            first != 0 && rest > 0 ? CoefficientWord(vlc, p & ((1u << rest) - 1), rest) : 0;
        words[p] = second != 0 ? coef::Join(first, second) : first != 0 ? first : coef::kStop;
        const CoeffWalk r = WalkCoeffCode(vlc, PatternBits{p, 11});
        if (r.kind == CoeffWalk::EndOfBlock) {
            words[p] = coef::kEnd | static_cast<std::uint32_t>(r.bits);
        }
    }
    for (std::uint32_t q = 0; q < words.size() - kTail; ++q) {
        const std::uint32_t word = CoefficientWord(vlc, q, 17);
        words[kTail + q] = word != 0 ? word : coef::kStop;
    }
    for (std::uint32_t p = 0; p < 256; ++p) {
        PatternBits y{p, 8};
        const int sy = WalkDcSizeY(y);
        dcY[p] = {static_cast<std::uint8_t>(sy), static_cast<std::uint8_t>(y.taken)};
        PatternBits c{p, 8};
        const int sc = WalkDcSizeC(c);
        dcC[p] = {static_cast<std::uint8_t>(sc), static_cast<std::uint8_t>(c.taken)};
        if (y.taken > 8 || c.taken > 8) ok = false;
    }
    dequantValid = false;
}

}  // namespace droskal
