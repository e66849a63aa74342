// The whole-picture path (64-bit reader, lookup tables, fused dequantisation, planes and the
// row-wise colour conversion) against the plain one built from the public bit-serial calls,
// bit for bit: results, picture buffer, reader state, predictors and block buffers.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/CoeffCodes.h"
#include "decoder/Decoder.h"
#include "decoder/PictureFormat.h"
#include "decoder/SequenceHeader.h"
#include "extlib/KorvanMpeg.h"
#include "tools/IntraEncoder.h"
#include "tests/core/PlainPicture.h"

namespace droskal {
namespace {

void ExpectSameState(const Decoder& fast, const Decoder& plain, const std::string& what) {
    EXPECT_EQ(plain.bitPos, fast.bitPos) << what;
    EXPECT_EQ(plain.bitMask, fast.bitMask) << what;
    EXPECT_EQ(plain.bitByte, fast.bitByte) << what;
    EXPECT_EQ(plain.dcPredY, fast.dcPredY) << what;
    EXPECT_EQ(plain.dcPredCb, fast.dcPredCb) << what;
    EXPECT_EQ(plain.dcPredCr, fast.dcPredCr) << what;
    EXPECT_TRUE(std::equal(plain.coeffBuf, plain.coeffBuf + 64, fast.coeffBuf)) << what;
    const std::int16_t* const pb[6] = {plain.blkY0, plain.blkY1, plain.blkY2, plain.blkY3, plain.blkCb, plain.blkCr};
    const std::int16_t* const fb[6] = {fast.blkY0, fast.blkY1, fast.blkY2, fast.blkY3, fast.blkCb, fast.blkCr};
    for (int b = 0; b < 6; ++b) EXPECT_TRUE(std::equal(pb[b], pb[b] + 64, fb[b])) << what << " block " << b;
}

// Decodes `frames` one after another with both paths on two long-lived decoders (state and
// picture buffers carry over, as in the window) and compares after every picture.
void CompareSequence(const std::vector<std::unique_ptr<FrameBuffer>>& frames, std::uint8_t picFormat,
                     const std::uint8_t* matrix, const std::string& name, int* decodedCount = nullptr) {
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
            if ((value >> i) & 1) (*frame)[byte] |= mask; else (*frame)[byte] &= static_cast<std::uint8_t>(~mask);
            ++pos;
        }
    }
};

// Plausible-looking macroblocks from every kind of code: all table codes with both signs,
// escapes with every level form, patterns without an entry, runs past 63, DC sizes of every
// length, now and then a wrong header bit. Random bytes fill whatever is left.
std::unique_ptr<FrameBuffer> RandomCodedFrame(std::mt19937& rng, int macroblocks, bool garbageTail) {
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
                    if (c.run == kEscapeRun) {
                        w.Put(rng(), 14);
                    } else {
                        w.Put(rng(), 1);
                    }
                }
            }
            if (pick(30) != 0) w.Put(2, 2);  // end of block, mostly
        }
    }
    if (!garbageTail) {
        for (std::size_t i = static_cast<std::size_t>(w.pos / 8 + 1); i < frame->size(); ++i) (*frame)[i] = 0;
    }
    return frame;
}

TEST(FastPicture, RandomCodedMacroblocksBothFormats) {
    std::mt19937 rng(20240611);
    for (std::uint8_t fmt : {std::uint8_t{1}, std::uint8_t{2}}) {
        std::vector<std::unique_ptr<FrameBuffer>> frames;
        for (int i = 0; i < 60; ++i) frames.push_back(RandomCodedFrame(rng, 1 + static_cast<int>(rng() % 1200), i % 2 == 0));
        CompareSequence(frames, fmt, nullptr, "random coded fmt " + std::to_string(fmt));
    }
}

// Blocks of nothing but the longest run-0 codes, the most bits a block can charge before its
// 64th code fails: the fast path keeps no bit budget, so 63 of them then an end of block must
// decode, and a 64th code must fail, exactly as the budgeted walk does (both compared after
// every picture: results, buffers, reader state and the last block's levels).
TEST(FastPicture, BlocksOfTheLongestCodesUpToTheirLimit) {
    const CoeffCode* longest = nullptr;
    for (const CoeffCode& c : kCoeffCodes) {
        if (c.run == 0 && (!longest || c.length > longest->length)) longest = &c;
    }
    ASSERT_NE(longest, nullptr);
    std::mt19937 rng(1180);
    for (int codes : {62, 63, 64}) {
        std::vector<std::unique_ptr<FrameBuffer>> frames;
        for (int i = 0; i < 3; ++i) {
            auto frame = std::make_unique<FrameBuffer>();
            (*frame)[0] = static_cast<std::uint8_t>((1 + i * 7) << 3);
            BitWriter w{frame.get()};
            for (int mb = 0; mb < 40; ++mb) {
                w.Put(3, 2);
                for (int b = 0; b < 6; ++b) {
                    w.Put(b < 4 ? 4 : 0, b < 4 ? 3 : 2);  // DC size 0
                    for (int k = 0; k < codes; ++k) {
                        w.Put(longest->code, longest->length);
                        w.Put(rng(), 1);
                    }
                    w.Put(2, 2);
                }
            }
            frames.push_back(std::move(frame));
        }
        // 40 such macroblocks fill a tenth of the buffer; the picture then fails on the zeros.
        for (std::uint8_t picFormat : {1, 2}) {
            CompareSequence(frames, picFormat, nullptr, "longest codes x" + std::to_string(codes));
        }
    }
}

TEST(FastPicture, RandomBytesAndUnusableFormats) {
    std::mt19937 rng(7);
    std::vector<std::unique_ptr<FrameBuffer>> frames;
    for (int i = 0; i < 40; ++i) {
        auto f = std::make_unique<FrameBuffer>();
        for (auto& b : *f) b = static_cast<std::uint8_t>(rng() | rng());  // mostly ones: headers pass
        frames.push_back(std::move(f));
    }
    CompareSequence(frames, 1, nullptr, "random bytes vga");
    CompareSequence(frames, 2, nullptr, "random bytes cif");
    CompareSequence(frames, 0, nullptr, "format 0");
    CompareSequence(frames, 3, nullptr, "format 3");
}

// Macroblocks of 62 escapes per block run through the whole frame buffer: the fast reader
// must hand over to the plain one before its end, and the end behaviour (the last byte
// handed out again) must come out the same.
TEST(FastPicture, PicturesThatReachTheEndOfTheFrameBuffer) {
    std::vector<std::unique_ptr<FrameBuffer>> frames;
    for (int variant = 0; variant < 3; ++variant) {
        auto frame = std::make_unique<FrameBuffer>();
        frame->fill(variant == 2 ? 0xFF : 0x00);
        (*frame)[0] = 4 << 3;
        BitWriter w{frame.get()};
        while (w.pos < static_cast<std::int64_t>(frame->size()) * 8 - 64) {
            w.Put(3, 2);
            for (int b = 0; b < 6; ++b) {
                w.Put(b < 4 ? 0b100 : 0b00, b < 4 ? 3 : 2);  // DC size 0
                for (int k = 0; k < 62; ++k) {
                    w.Put(1, 6);
                    w.Put(0, 6);
                    w.Put(variant == 1 ? 0x80 : 0x05, 8);
                    if (variant == 1) w.Put(0x38, 8);
                }
                w.Put(2, 2);
            }
        }
        frames.push_back(std::move(frame));
    }
    CompareSequence(frames, 1, nullptr, "to the end");
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every picture of every peer-encoded fixture, whole and with bits flipped and cut short.
TEST(FastPicture, EveryFixtureWholeDamagedAndCut) {
    const std::string dir = std::string(DROSKAL_TEST_DATA) + "/fixtures";
    int files = 0;
    int decoded = 0;
    std::mt19937 rng(11);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".m1v") continue;
        ++files;
        const auto bytes = ReadFile(entry.path().string());
        ASSERT_GE(bytes.size(), 7u);
        const std::uint8_t picFormat = PictureFormatFromHeader(bytes.data());
        ASSERT_NE(0, picFormat) << entry.path();
        const auto matrix = IntraMatrixFromSequenceHeader(bytes.data(), bytes.size());
        std::vector<std::unique_ptr<FrameBuffer>> frames;
        for (std::size_t i = 0; i + 3 < bytes.size(); ++i) {
            if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1 || bytes[i + 3] != 0x01) continue;
            std::size_t end = i + 4;
            while (end + 3 < bytes.size() &&
                   !(bytes[end] == 0 && bytes[end + 1] == 0 && bytes[end + 2] == 1 && bytes[end + 3] != 0x01))
                ++end;
            if (end + 3 >= bytes.size()) end = bytes.size();
            auto whole = std::make_unique<FrameBuffer>();
            whole->fill(0);
            std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(i + 4), bytes.begin() + static_cast<std::ptrdiff_t>(end),
                      whole->begin());
            auto damaged = std::make_unique<FrameBuffer>(*whole);
            for (int k = 0; k < 3; ++k) (*damaged)[rng() % (end - i - 4)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            auto cut = std::make_unique<FrameBuffer>(*whole);
            std::fill(cut->begin() + static_cast<std::ptrdiff_t>((end - i - 4) / 2), cut->end(), std::uint8_t{0x41});
            frames.push_back(std::move(whole));
            frames.push_back(std::move(damaged));
            frames.push_back(std::move(cut));
        }
        ASSERT_FALSE(frames.empty()) << entry.path();
        CompareSequence(frames, picFormat, matrix ? matrix->data() : nullptr, entry.path().filename().string(),
                        &decoded);
    }
    EXPECT_GE(files, 6);
    EXPECT_GE(decoded, files);  // the whole pictures decode; the comparison is not all failures
}

// A picture made by our own encoder at several scales decodes the same both ways.
TEST(FastPicture, EncodedPicturesAtSeveralScales) {
    for (int scale : {1, 2, 8, 31}) {
        std::vector<std::uint8_t> rgb(320 * 240 * 3);
        std::mt19937 rng(static_cast<unsigned>(scale));
        for (auto& b : rgb) b = static_cast<std::uint8_t>(rng() % 256);
        const auto payload = EncodeIntraSlice(RgbToYuvPicture(rgb.data(), 320, 240), scale);
        auto frame = std::make_unique<FrameBuffer>();
        frame->fill(0);
        ASSERT_LE(payload.size(), frame->size());
        std::copy(payload.begin(), payload.end(), frame->begin());
        std::vector<std::unique_ptr<FrameBuffer>> frames;
        frames.push_back(std::move(frame));
        int decoded = 0;
        CompareSequence(frames, 2, nullptr, "scale " + std::to_string(scale), &decoded);
        EXPECT_EQ(1, decoded);
    }
}

// The dequantisation table follows the weights from picture to picture: scales that change
// back and forth within one decoder, with the default and with a steep custom matrix.
TEST(FastPicture, ScaleChangesBetweenPicturesOfOneDecoder) {
    std::vector<std::unique_ptr<FrameBuffer>> frames;
    for (int scale : {2, 31, 2, 7, 7, 1}) {
        std::vector<std::uint8_t> rgb(320 * 240 * 3);
        std::mt19937 rng(static_cast<unsigned>(100 + scale));
        for (auto& b : rgb) b = static_cast<std::uint8_t>(rng() % 256);
        const auto payload = EncodeIntraSlice(RgbToYuvPicture(rgb.data(), 320, 240), scale);
        auto frame = std::make_unique<FrameBuffer>();
        frame->fill(0);
        ASSERT_LE(payload.size(), frame->size());
        std::copy(payload.begin(), payload.end(), frame->begin());
        frames.push_back(std::move(frame));
    }
    std::array<std::uint8_t, 64> steep{};
    for (int i = 0; i < 64; ++i) steep[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(1 + (i * 37) % 255);
    const std::uint8_t* const matrices[] = {nullptr, steep.data()};
    for (const std::uint8_t* matrix : matrices) {
        int decoded = 0;
        CompareSequence(frames, 2, matrix, matrix ? "steep matrix" : "default matrix", &decoded);
        EXPECT_EQ(6, decoded);
    }
}

}  // namespace
}  // namespace droskal
