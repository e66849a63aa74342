// The picture decoder: its planes against the peer's own decode of peer-encoded streams
// (ffmpeg, see tests/data/make-fixtures.sh), which may differ only by IDCT rounding; the
// whole-picture path (64-bit reader, lookup tables, fused dequantisation, planes and the
// row-wise colour conversion) against the plain one built from the public bit-serial calls,
// bit for bit; and the plain reader's own behaviour where neither comparison vouches for it.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestRecordings.h"
#include "decoder/CoeffCodes.h"
#include "decoder/Decoder.h"
#include "decoder/SequenceHeader.h"
#include "decoder/YuvPlanes.h"
#include "tests/core/PlainPicture.h"

namespace droskal {
namespace {

using namespace test;

// ---- The whole-picture path against the plain one ----

void ExpectSameState(const Decoder& fast, const Decoder& plain, const std::string& what) {
    const ReaderState p = plain.State(), f = fast.State();
    EXPECT_TRUE(p == f) << what << " (reader state)";
    EXPECT_TRUE(std::equal(plain.Coefficients(), plain.Coefficients() + 64, fast.Coefficients()))
        << what;
    for (int b = 0; b < 6; ++b)
        EXPECT_TRUE(std::equal(plain.Block(b), plain.Block(b) + 64, fast.Block(b)))
            << what << " block " << b;
}

// Decodes `frames` one after another with both paths on two long-lived decoders (state and
// picture buffers carry over, as in the window) and compares after every picture.
void CompareSequence(const std::vector<std::unique_ptr<FrameBuffer>>& frames,
                     std::uint8_t picFormat, const std::uint8_t* matrix, const std::string& name,
                     int* decodedCount = nullptr) {
    const PictureFormatInfo* fmt = FormatInfo(picFormat);
    const std::size_t size = fmt ? static_cast<std::size_t>(fmt->pixelCount) * 3 : 16;
    Decoder fast;
    Decoder plain;
    fast.SetIntraMatrix(matrix);
    std::vector<std::uint8_t> fastBuf(size, 0x5A), plainBuf(size, 0x5A);
    std::vector<std::uint8_t> fastAsm(size, 0x33), plainAsm(size, 0x33);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const std::string what = name + " picture " + std::to_string(i);
        const bool f = fast.DecodePicture(*frames[i], picFormat, fastBuf.data());
        const bool p = PlainPicture(plain, *frames[i], picFormat, plainBuf.data(), matrix, true);
        ASSERT_EQ(p, f) << what;
        if (decodedCount && p) ++*decodedCount;
        ASSERT_TRUE(fastBuf == plainBuf) << what;
        ExpectSameState(fast, plain, what);
        // Assembly alone (fast macroblocks, the library's copies) against the plain loop.
        const bool fa = fast.AssemblePicture(*frames[i], picFormat, fastAsm.data());
        const bool pa = PlainPicture(plain, *frames[i], picFormat, plainAsm.data(), matrix, false);
        ASSERT_EQ(pa, fa) << what;
        ASSERT_TRUE(fastAsm == plainAsm) << what;
        ExpectSameState(fast, plain, what + " (assembled)");
    }
}

// Writes bits from bit 1 of byte 0 on, as a picture's macroblock data.
struct BitWriter {
    FrameBuffer* frame;
    std::int64_t pos = 6;
    void Put(std::uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (pos >= static_cast<std::int64_t>(frame->size()) * 8) return;
            const auto byte = static_cast<std::size_t>(pos / 8);
            const auto mask = static_cast<std::uint8_t>(0x80 >> (pos % 8));
            (*frame)[byte] = static_cast<std::uint8_t>((value >> i) & 1 ? (*frame)[byte] | mask
                                                                        : (*frame)[byte] & ~mask);
            ++pos;
        }
    }
};

// Plausible-looking macroblocks from every kind of code: all table codes with both signs,
// escapes with every level form, patterns without an entry, runs past 63, DC sizes of every
// length, now and then a wrong header bit. Random bytes fill whatever is left.
std::unique_ptr<FrameBuffer> RandomCodedFrame(std::mt19937& rng, int macroblocks,
                                              bool garbageTail) {
    auto frame = std::make_unique<FrameBuffer>();
    for (auto& b : *frame) b = static_cast<std::uint8_t>(rng());
    (*frame)[0] = static_cast<std::uint8_t>((rng() % 32) << 3 | ((*frame)[0] & 7));
    BitWriter w{frame.get()};
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<std::uint32_t>(n)); };
    for (int mb = 0; mb < macroblocks; ++mb) {
        w.Put(pick(200) == 0 ? 2 : 3, 2);
        for (int b = 0; b < 6; ++b) {
            // DC: the size code by a short random bit run, then up to 10 bits.
            const int dcBits = 2 + pick(8);
            w.Put(rng(), dcBits);
            w.Put(rng(), pick(11));
            const int codes = pick(4) == 0 ? pick(70) : pick(20);
            for (int k = 0; k < codes; ++k) {
                const int kind = pick(40);
                if (kind == 0) {
                    w.Put(0, 12);  // no entry: twelve zeros and four more bits
                    w.Put(rng(), 4);
                    w.Put(rng(), 1);
                } else if (kind <= 3) {
                    w.Put(1, 6);  // escape
                    w.Put(pick(4) == 0 ? rng() : pick(3), 6);
                    const int form = pick(4);
                    const std::uint32_t field = form == 0 ? 0x00 : form == 1 ? 0x80 : rng() & 0xFF;
                    w.Put(field, 8);
                    if (field == 0x00 || field == 0x80) w.Put(rng(), 8);
                } else {
                    const CoeffCode& c = kCoeffCodes[static_cast<std::size_t>(pick(112))];
                    w.Put(c.code, c.length);
                    w.Put(rng(), c.run == kEscapeRun ? 14 : 1);  // escape fields or the sign
                }
            }
            if (pick(30) != 0) w.Put(2, 2);  // end of block, mostly
        }
    }
    if (!garbageTail) std::fill(frame->begin() + w.pos / 8 + 1, frame->end(), std::uint8_t{0});
    return frame;
}

// Random coded macroblocks, and random bytes that are mostly ones so that the headers pass, in
// both formats and in two that are none; then pictures of our own encoder at scales that change
// back and forth, so the dequantisation table must follow the weights from picture to picture.
// With the default and with a steep custom matrix.
TEST(FastPicture, RandomPicturesAndScaleChangesWithEitherMatrix) {
    std::mt19937 rng(20240611);
    std::vector<std::unique_ptr<FrameBuffer>> frames;
    for (int i = 0; i < 60; ++i)
        frames.push_back(RandomCodedFrame(rng, 1 + static_cast<int>(rng() % 1200), i % 2 == 0));
    for (int i = 0; i < 40; ++i) {
        frames.push_back(std::make_unique<FrameBuffer>());
        for (auto& b : *frames.back()) b = static_cast<std::uint8_t>(rng() | rng());
    }
    for (int scale : {2, 31, 2, 7, 7, 1})
        frames.push_back(FrameOf(EncodedPicture(320, 240, scale, 100 + scale)));
    std::array<std::uint8_t, 64> steep{};
    for (std::size_t i = 0; i < 64; ++i) steep[i] = static_cast<std::uint8_t>(1 + (i * 37) % 255);
    for (const std::uint8_t* matrix : {static_cast<std::uint8_t*>(nullptr), steep.data()}) {
        for (std::uint8_t fmt : {1, 2, 0, 3}) {
            int decoded = 0;
            CompareSequence(frames, fmt, matrix, "format " + std::to_string(fmt), &decoded);
            EXPECT_TRUE(fmt != 2 || decoded >= 6) << "the encoder's pictures decode";
        }
    }
}

// Macroblocks of six blocks of DC size 0, each with `codes` codes that `put` writes and an end of
// block, until `macroblocks` or the end of the buffer.
std::unique_ptr<FrameBuffer> MacroblockFrame(std::uint8_t first, std::uint8_t fill, int macroblocks,
                                             int codes,
                                             const std::function<void(BitWriter&)>& put) {
    auto frame = std::make_unique<FrameBuffer>();
    frame->fill(fill);
    (*frame)[0] = first;
    BitWriter w{frame.get()};
    for (int mb = 0; mb < macroblocks && w.pos < kFrameBufSize * 8 - 64; ++mb) {
        w.Put(3, 2);
        for (int b = 0; b < 6; ++b) {
            w.Put(b < 4 ? 4 : 0, b < 4 ? 3 : 2);
            for (int k = 0; k < codes; ++k) put(w);
            w.Put(2, 2);
        }
    }
    return frame;
}

// Blocks of nothing but the longest run-0 codes, the most bits a block can charge before its
// 64th code fails: the fast path keeps no bit budget, so 63 of them then an end of block must
// decode, and a 64th code must fail, exactly as the budgeted walk does. 40 such macroblocks
// fill a tenth of the buffer; the picture then fails on the zeros. Then macroblocks of 62
// escapes per block run through the whole frame buffer: the fast reader must hand over to the
// plain one before its end, and the end behaviour (the last byte handed out again) must come
// out the same.
TEST(FastPicture, LongestCodesUpToTheirLimitAndPicturesToTheEndOfTheBuffer) {
    const CoeffCode* longest = nullptr;
    for (const CoeffCode& c : kCoeffCodes) {
        if (c.run == 0 && (!longest || c.length > longest->length)) longest = &c;
    }
    ASSERT_NE(longest, nullptr);
    std::mt19937 rng(1180);
    std::vector<std::unique_ptr<FrameBuffer>> frames;
    for (int codes : {62, 63, 64}) {
        const auto scale = static_cast<std::uint8_t>((codes - 61) * 7);
        frames.push_back(MacroblockFrame(scale << 3, 0, 40, codes, [&](BitWriter& w) {
            w.Put(longest->code, longest->length);
            w.Put(rng(), 1);
        }));
    }
    for (int variant = 0; variant < 3; ++variant) {
        frames.push_back(MacroblockFrame(4 << 3, variant == 2 ? 0xFF : 0x00, kFrameBufSize, 62,
                                         [variant](BitWriter& w) {
                                             w.Put(1, 6);
                                             w.Put(0, 6);
                                             w.Put(variant == 1 ? 0x80 : 0x05, 8);
                                             if (variant == 1) w.Put(0x38, 8);
                                         }));
    }
    for (std::uint8_t picFormat : {1, 2})
        CompareSequence(frames, picFormat, nullptr, "format " + std::to_string(picFormat));
}

struct FixtureFile {
    const char* name;
    std::uint8_t picFormat;
    int pictures;
    bool loadsMatrix;
};

class Fidelity : public testing::TestWithParam<FixtureFile> {};

// Every picture of every peer-encoded fixture: the planes against the peer's, then the
// whole-picture path against the plain one on the pictures whole, with bits flipped and cut short.
TEST_P(Fidelity, PlanesMatchThePeerDecoderAndTheFastPathThePlainOneWholeDamagedAndCut) {
    const FixtureFile& fx = GetParam();
    const Bytes stream = ReadBytes(Fixture(std::string(fx.name) + ".m1v"));
    const Bytes reference = ReadBytes(Fixture(std::string(fx.name) + ".yuv"));
    ASSERT_GE(stream.size(), 12u);
    ASSERT_EQ(fx.picFormat, PictureFormatFromHeader(stream.data()));
    const PictureFormatInfo& f = *FormatInfo(fx.picFormat);
    const auto luma = static_cast<std::size_t>(f.pixelCount);
    ASSERT_EQ(luma * 3 / 2 * static_cast<std::size_t>(fx.pictures), reference.size());

    Decoder d;
    const auto matrix = IntraMatrixFromSequenceHeader(stream.data(), stream.size());
    EXPECT_EQ(fx.loadsMatrix, matrix.has_value());
    EXPECT_FALSE(IntraMatrixFromSequenceHeader(stream.data(), 40).has_value()) << "cut short";
    d.SetIntraMatrix(matrix ? matrix->data() : nullptr);
    const auto payloads = SlicePayloads(stream);
    ASSERT_EQ(static_cast<std::size_t>(fx.pictures), payloads.size());
    std::vector<std::uint8_t> picBuf(luma * 3);
    for (int p = 0; p < fx.pictures; ++p) {
        ASSERT_TRUE(d.AssemblePicture(*FrameOf(payloads[p]), fx.picFormat, picBuf.data()))
            << "picture " << p;
        const auto ours = PicBufToYuv420p(picBuf.data(), fx.picFormat);
        const std::uint8_t* ref = reference.data() + luma * 3 / 2 * static_cast<std::size_t>(p);
        // Y, Cb and Cr each: PSNR of at least 50 dB and no sample off by more than 2.
        const std::size_t starts[4] = {0, luma, luma + luma / 4, luma * 3 / 2};
        for (int k = 0; k < 3; ++k) {
            double sq = 0;
            int maxDiff = 0;
            for (std::size_t i = starts[k]; i < starts[k + 1]; ++i) {
                sq += (ours[i] - ref[i]) * (ours[i] - ref[i]);
                maxDiff = std::max(maxDiff, std::abs(ours[i] - ref[i]));
            }
            EXPECT_LE(sq / static_cast<double>(starts[k + 1] - starts[k]), 255.0 * 255.0 / 1e5)
                << "plane " << k << " picture " << p;
            EXPECT_LE(maxDiff, 2) << "plane " << k << " picture " << p;
        }
    }
    std::mt19937 rng(11);
    std::vector<std::unique_ptr<FrameBuffer>> frames;
    for (const auto& slice : payloads) {
        frames.push_back(FrameOf(slice));
        frames.push_back(FrameOf(slice));
        for (int k = 0; k < 3; ++k)
            (*frames.back())[rng() % slice.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        frames.push_back(FrameOf(slice));
        std::fill(frames.back()->begin() + static_cast<std::ptrdiff_t>(slice.size() / 2),
                  frames.back()->end(), std::uint8_t{0x41});
    }
    int decoded = 0;
    CompareSequence(frames, fx.picFormat, matrix ? matrix->data() : nullptr, fx.name, &decoded);
    EXPECT_GE(decoded,
              fx.pictures);  // the whole pictures decode; the comparison is not all failures
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Fidelity,
                         testing::Values(FixtureFile{"vga_testsrc2_q2", 1, 1, false},
                                         FixtureFile{"vga_mandelbrot_q8", 1, 1, false},
                                         FixtureFile{"cif_testsrc2_q4", 2, 2, false},
                                         FixtureFile{"cif_smptehdbars_q16", 2, 1, false},
                                         FixtureFile{"cif_mandelbrot_q31", 2, 1, false},
                                         FixtureFile{"cif_matrix_q4", 2, 1, true}),
                         [](const testing::TestParamInfo<FixtureFile>& info) {
                             return std::string(info.param.name);
                         });

// ---- The plain reader where the comparisons cannot vouch for it ----

TEST(CoeffVlc, MatchesTheStandardTableFile) {
    std::ifstream in(std::string(DROSKAL_TEST_DATA) + "/mpeg1/mpeg1_dct_coeff_next.tsv");
    ASSERT_TRUE(in.good());
    std::string line;
    std::getline(in, line);
    Decoder d;
    int rows = 0;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string bits, run, level;
        int length;
        f >> bits >> length >> run >> level;
        const auto code = static_cast<std::int16_t>(std::stoi(bits, nullptr, 2));
        const auto it =
            std::find_if(d.CodeTable().begin(), d.CodeTable().end(),
                         [&](const VlcEntry& e) { return e.length == length && e.code == code; });
        ASSERT_NE(it, d.CodeTable().end()) << bits;
        const RunLevel rl = UnpackRunLevel(it->value);
        EXPECT_EQ(run == "ESC" ? "111" : run + " " + level,
                  it->value == 111 ? std::to_string(it->value)
                                   : std::to_string(rl.run) + " " + std::to_string(rl.level))
            << bits;
        ++rows;
    }
    EXPECT_EQ(112, rows);
}

TEST(GetBit, FailedLoadAtEndOfBufferRepeatsTheLastByte) {
    auto frame = std::make_unique<FrameBuffer>();  // zeros
    (*frame)[kFrameBufSize - 1] = 0xA5;
    Decoder d;
    d.StartPicture(*frame);
    d.SetState({.bitPos = kFrameBufSize - 1, .bitMask = 0});
    const bool a5[8] = {true, false, true, false, false, true, false, true};
    for (bool b : a5) EXPECT_EQ(b, d.GetBit());
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(d.GetBit()) << "failed load returns 0";
        for (bool b : a5) EXPECT_EQ(b, d.GetBit());
    }
}

// Only corrupt data can carry a DC predictor out of 16 bits; such a macroblock fails. Four
// DC-only luma blocks of differential +1 (or -1) each, from a predictor just inside or just
// outside, then two DC-only chroma blocks.
TEST(GetMacroBlock, DcSumsBeyondSixteenBitsFail) {
    const struct {
        std::uint32_t diff;  // size 1 ("00"), then the one bit
        std::int16_t pred;
        bool ok;
    } cases[] = {{1, 32763, true}, {1, 32764, false}, {0, -32764, true}, {0, -32765, false}};
    for (const auto& c : cases) {
        auto frame = std::make_unique<FrameBuffer>();
        (*frame)[0] = 1 << 3;  // quantiser scale 1
        BitWriter w{frame.get()};
        w.Put(3, 2);
        for (int b = 0; b < 6; ++b) {
            w.Put(b < 4 ? c.diff : 0, b < 4 ? 3 : 2);
            w.Put(2, 2);  // end of block
        }
        Decoder d;
        d.StartPicture(*frame);
        ReaderState at = d.State();
        at.dcPredY = c.pred;
        d.SetState(at);
        EXPECT_EQ(c.ok, d.GetMacroBlock()) << c.pred;
        EXPECT_TRUE(!c.ok || d.State().dcPredY == c.pred + (c.pred > 0 ? 4 : -4)) << c.pred;
    }
}

}  // namespace
}  // namespace droskal
