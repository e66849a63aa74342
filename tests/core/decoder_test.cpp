// Bit reader, code table, macroblock decoding and frame assembly.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <fstream>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/CoeffCodes.h"
#include "decoder/Decoder.h"
#include "decoder/PictureFormat.h"
#include "decoder/SequenceHeader.h"
#include "decoder/YuvPlanes.h"
#include "tools/IntraEncoder.h"

namespace droskal {
namespace {

// A frame buffer whose macroblock data (from bit 1 of byte 0 on) are the given bits;
// the top five bits carry quantiser scale 1. Spaces are ignored.
std::unique_ptr<FrameBuffer> FrameWithBits(const std::string& bits) {
    auto frame = std::make_unique<FrameBuffer>();
    frame->fill(0);
    (*frame)[0] = 1 << 3;
    int pos = 6;
    for (char ch : bits) {
        if (ch == ' ') continue;
        if (ch == '1') (*frame)[pos / 8] |= static_cast<std::uint8_t>(0x80 >> (pos % 8));
        ++pos;
    }
    return frame;
}

// Bits handed out since the start of the picture.
int BitsConsumed(const Decoder& d) {
    if (d.bitPos == 0) return 0;
    const int left = d.bitMask == 0 ? 0 : std::countr_zero(d.bitMask) + 1;
    return (d.bitPos - 1) * 8 + (8 - left) - 6;
}

struct Reader {
    std::unique_ptr<FrameBuffer> frame;
    Decoder d;
    explicit Reader(const std::string& bits) : frame(FrameWithBits(bits)) {
        d.Attach(*frame);
        d.bitPos = 0;
    }
};

// ---- Code table ----

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
        const auto it = std::find_if(d.coeffVlc.begin(), d.coeffVlc.end(), [&](const VlcEntry& e) {
            return e.length == length && e.code == code;
        });
        ASSERT_NE(it, d.coeffVlc.end()) << bits;
        if (run == "ESC") {
            EXPECT_EQ(111, it->value) << bits;
        } else {
            ASSERT_LT(it->value, 111) << bits;
            const RunLevel rl = UnpackRunLevel(it->value);
            EXPECT_EQ(std::stoi(run), rl.run) << bits;
            EXPECT_EQ(std::stoi(level), rl.level) << bits;
        }
        ++rows;
    }
    EXPECT_EQ(112, rows);
}

TEST(CoeffVlc, PackedValuesRoundTripRunLevel) {
    for (int v = 0; v < 111; ++v) {
        const RunLevel rl = UnpackRunLevel(v);
        EXPECT_EQ(v, PackRunLevel(rl.run, rl.level)) << v;
    }
    EXPECT_EQ(-1, PackRunLevel(2, 6));
    EXPECT_EQ(-1, PackRunLevel(0, 41));
    EXPECT_EQ(-1, PackRunLevel(32, 1));
}

// ---- Bit reader ----

TEST(GetBit, StartsAtBitOneOfTheFirstByte) {
    auto frame = std::make_unique<FrameBuffer>();
    frame->fill(0);
    (*frame)[0] = 0b11111010;  // quantiser bits above bit 1 must be skipped
    (*frame)[1] = 0b10000000;
    Decoder d;
    d.Attach(*frame);
    d.bitMask = 0x40;  // left over from an earlier picture: ignored on a new start
    for (bool bit : {true, false, true, false}) EXPECT_EQ(bit, d.GetBit());
    EXPECT_EQ(2, d.bitPos);
}

TEST(GetBit, FailedLoadAtEndOfBufferRepeatsTheLastByte) {
    auto frame = std::make_unique<FrameBuffer>();
    frame->fill(0);
    (*frame)[kFrameBufSize - 1] = 0xA5;
    Decoder d;
    d.Attach(*frame);
    d.bitPos = kFrameBufSize - 1;
    d.bitMask = 0;
    const bool a5[8] = {true, false, true, false, false, true, false, true};
    for (bool b : a5) EXPECT_EQ(b, d.GetBit());
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(d.GetBit()) << "failed load returns 0";
        EXPECT_EQ(kFrameBufSize, d.bitPos);
        EXPECT_EQ(128, d.bitMask);
        EXPECT_EQ(0xA5, d.bitByte);
        for (bool b : a5) EXPECT_EQ(b, d.GetBit());
    }
}

// The size code, then that many bits of differential.
TEST(DcDiff, DifferentialsFromSizeAndBits) {
    const struct {
        const char* bits;
        bool luma;
        int diff;
    } cases[] = {
        {"100", true, 0},
        {"00 0", true, -1},
        {"00 1", true, 1},
        {"101 010", true, -5},
        {"101 111", true, 7},
        {"101 000", true, -7},
        {"101 100", true, 4},
        {"11111111 0000000000", true, -1023},
        {"01 0", false, -1},
        {"110 011", false, -4},
        {"11111111 111111111", false, 511},
        {"1110 00000", true, -31},
        {"1111110 11111111", true, 255},
        {"00", false, 0},
        {"10 01", false, -2},
        {"11111110 00000000", false, -255},
    };
    for (const auto& c : cases) {
        std::string bits = c.bits;
        std::erase(bits, ' ');
        Reader r(bits + "1111111111");
        EXPECT_EQ(c.diff, c.luma ? r.d.GetDcDiffY() : r.d.GetDcDiffC()) << c.bits;
        EXPECT_EQ(static_cast<int>(bits.size()), BitsConsumed(r.d)) << c.bits;
    }
}

TEST(GetCoef, CodesBudgetAndEndOfBlock) {
    const struct {
        const char* bits;
        std::int16_t budget;
        int value;
        int budgetAfter;
        int consumed;
    } cases[] = {
        {"11", 100, 0, 98, 2},
        {"0100", 100, 32, 96, 4},
        {"00100001", 100, 63, 92, 8},
        {"00000000011110", 100, 85, 86, 14},
        {"00000000011111", 100, 83, 86, 14},
        {"0000000000010000", 100, 88, 84, 16},
        {"000001", 100, 111, 94, 6},
        {"10", 100, -1, 100, 2},               // end of block is not charged
        {"0000000000010000", 1, 88, -15, 16},  // a budget of 1 still decodes a long code
        {"11", 0, -1, 0, 0},                   // spent budget: nothing read
        {"11", -15, -1, -15, 0},
        {"0000000000000000", 100, 0, 100, 16},  // no entry: 0 after the 16-bit codes
    };
    for (const auto& c : cases) {
        Reader r(std::string(c.bits) + "1");
        std::int16_t budget = c.budget;
        EXPECT_EQ(c.value, r.d.GetCoef(budget)) << c.bits;
        EXPECT_EQ(c.budgetAfter, budget) << c.bits;
        EXPECT_EQ(c.consumed, BitsConsumed(r.d)) << c.bits;
    }
}

// ---- Blocks and macroblocks ----

TEST(GetBlock, LevelsRunsEscapesAndLimits) {
    const struct {
        const char* name;
        const char* bits;
        bool ok;
        std::vector<std::pair<int, int>> levels;  // position, level
    } cases[] = {
        {"end at once", "10", true, {}},
        {"run 0 level 1 both signs", "11 0 11 1 10", true, {{1, 1}, {2, -1}}},
        {"packed 63 then 66", "00100001 1 0000000010101 1 10", true, {{1, -6}, {3, -7}}},
        {"escape 0x80 0x38", "000001 000000 10000000 00111000 10", true, {{1, -200}}},
        {"escape 0x00 0xC8", "000001 000011 00000000 11001000 10", true, {{4, 200}}},
        {"escape 0xFF", "000001 000000 11111111 10", true, {{1, -1}}},
        {"escape 0x7F", "000001 000001 01111111 10", true, {{2, 127}}},
        {"run to exactly 63", "000001 111110 00000101 10", true, {{63, 5}}},
        {"run past 63", "000001 111111 00000101 10", false, {}},
        {"past 63 via codes", "000001 111110 00000101 11 0 10", false, {{63, 5}}},
    };
    for (const auto& c : cases) {
        Reader r(c.bits);
        r.d.coeffBuf[0] = 77;
        std::fill(r.d.coeffBuf + 1, r.d.coeffBuf + 64, std::int16_t{9});
        EXPECT_EQ(c.ok, r.d.GetBlock()) << c.name;
        std::vector<int> want(64, 0);
        want[0] = 77;
        for (auto [pos, level] : c.levels) want[pos] = level;
        EXPECT_EQ(want, std::vector<int>(r.d.coeffBuf, r.d.coeffBuf + 64)) << c.name;
    }
}

// Six DC-only blocks with the given differential codes.
std::string DcOnlyMacroblock(const std::string& y, const std::string& c) {
    std::string s = "11";
    for (int i = 0; i < 4; ++i) s += y + "10";
    return s + c + "10" + c + "10";
}

TEST(GetMacroBlock, HeaderBitsAndPredictors) {
    {
        Reader r("10 11111111");
        EXPECT_FALSE(r.d.GetMacroBlock());
        EXPECT_EQ(2, BitsConsumed(r.d)) << "intra with quantiser change: nothing more read";
    }
    {
        Reader r("0 11111111");
        EXPECT_FALSE(r.d.GetMacroBlock());
        EXPECT_EQ(1, BitsConsumed(r.d));
    }
    {
        Reader r(DcOnlyMacroblock("100", "00"));  // all differentials 0
        ASSERT_TRUE(r.d.GetMacroBlock());
        EXPECT_EQ(128, r.d.dcPredY);
        EXPECT_EQ(0, r.d.dcPredCb);
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(128, r.d.blkY0[i]);
            ASSERT_EQ(0, r.d.blkCb[i]);
        }
    }
    {
        // Y0 +3, then Y1..Y3 0: the predictor carries across blocks; Cb -1, Cr +1.
        Reader r("11 01 11 10 100 10 100 10 100 10 01 0 10 01 1 10");
        ASSERT_TRUE(r.d.GetMacroBlock());
        EXPECT_EQ(131, r.d.dcPredY);
        EXPECT_EQ(-1, r.d.dcPredCb);
        EXPECT_EQ(1, r.d.dcPredCr);
        EXPECT_EQ(131, r.d.blkY3[0]);
        EXPECT_EQ(-1, r.d.blkCb[63]);
    }
    {
        Reader r(DcOnlyMacroblock("00 1", "00"));
        r.d.dcPredY = 32767;
        EXPECT_FALSE(r.d.GetMacroBlock()) << "DC sum beyond 16 bits";
    }
}

// ---- Picture assembly ----

struct BlockPicture {
    YuvPicture yuv;
    int ValueY(int bx, int by) const { return 16 + (bx * 7 + by * 13) % 200; }
    int ValueC(int bx, int by, int plane) const {
        return 40 + (bx * 11 + by * 5 + plane * 17) % 160;
    }
};

// A picture in which every 8x8 block (luma and chroma) is flat and has its own value, so
// that encoding is exact and every sample shows where its block went.
BlockPicture MakeBlockPicture(int width, int height) {
    BlockPicture p;
    p.yuv.width = width;
    p.yuv.height = height;
    p.yuv.y.resize(static_cast<std::size_t>(width * height));
    p.yuv.cb.resize(static_cast<std::size_t>(width * height / 4));
    p.yuv.cr.resize(p.yuv.cb.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.yuv.y[y * width + x] = static_cast<std::uint8_t>(p.ValueY(x / 8, y / 8));
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            p.yuv.cb[y * width / 2 + x] = static_cast<std::uint8_t>(p.ValueC(x / 8, y / 8, 0));
            p.yuv.cr[y * width / 2 + x] = static_cast<std::uint8_t>(p.ValueC(x / 8, y / 8, 1));
        }
    return p;
}

std::unique_ptr<FrameBuffer> FrameFromPayload(const std::vector<std::uint8_t>& payload) {
    auto frame = std::make_unique<FrameBuffer>();
    frame->fill(0);
    std::copy(payload.begin(), payload.end(), frame->begin());
    const std::uint8_t end[4] = {0, 0, 1, 0xB7};
    std::copy(end, end + 4, frame->begin() + static_cast<std::ptrdiff_t>(payload.size()));
    return frame;
}

TEST(AssemblePicture, EverySampleAtItsRowAndColumnInBothFormats) {
    for (std::uint8_t picFormat : {1, 2}) {
        const PictureFormatInfo& f = *FormatInfo(picFormat);
        SCOPED_TRACE(f.width);
        const BlockPicture p = MakeBlockPicture(f.width, f.height);
        auto frame = FrameFromPayload(EncodeIntraSlice(p.yuv, 8));
        std::vector<std::uint8_t> picBuf(static_cast<std::size_t>(f.rowBytes * f.height), 0xEE);
        Decoder d;
        ASSERT_TRUE(d.AssemblePicture(*frame, picFormat, picBuf.data()));
        for (int row = 0; row < f.height; ++row) {
            const int top = f.height - 1 - row;  // image line of this buffer row
            for (int x = 0; x < f.width; ++x) {
                const std::uint8_t* px =
                    &picBuf[static_cast<std::size_t>(row * f.rowBytes + x * 3)];
                ASSERT_EQ(p.ValueY(x / 8, top / 8), px[0]) << "row " << row << " x " << x;
                ASSERT_EQ(p.ValueC(x / 16, top / 16, 0) - 128, static_cast<std::int8_t>(px[1]));
                ASSERT_EQ(p.ValueC(x / 16, top / 16, 1) - 128, static_cast<std::int8_t>(px[2]));
            }
        }
        // The corners named for placement: top-left block at the top rows, bottom-right at row 0.
        EXPECT_EQ(p.ValueY(0, 0), picBuf[static_cast<std::size_t>((f.height - 8) * f.rowBytes)]);
        EXPECT_EQ(p.ValueY(f.width / 8 - 1, f.height / 8 - 1),
                  picBuf[static_cast<std::size_t>((f.width - 8) * 3)]);

        const auto yuv = PicBufToYuv420p(picBuf.data(), picFormat);
        std::vector<std::uint8_t> want = p.yuv.y;
        want.insert(want.end(), p.yuv.cb.begin(), p.yuv.cb.end());
        want.insert(want.end(), p.yuv.cr.begin(), p.yuv.cr.end());
        EXPECT_TRUE(yuv == want) << "planar export";
    }
}

TEST(DecodePicture, ConvertsOnlyWhenEveryMacroblockDecoded) {
    const PictureFormatInfo& f = kVgaFormat;
    YuvPicture grey{f.width, f.height, std::vector<std::uint8_t>(307200, 128),
                    std::vector<std::uint8_t>(76800, 128), std::vector<std::uint8_t>(76800, 128)};
    const auto payload = EncodeIntraSlice(grey, 4);
    Decoder d;
    {
        auto frame = FrameFromPayload(payload);
        std::vector<std::uint8_t> picBuf(921600, 0xEE);
        ASSERT_TRUE(d.DecodePicture(*frame, 1, picBuf.data()));
        EXPECT_TRUE(
            std::all_of(picBuf.begin(), picBuf.end(), [](std::uint8_t v) { return v == 130; }));
    }
    {
        // With every differential 0 a macroblock is 30 bits; clear the last one's first bit.
        auto frame = FrameFromPayload(payload);
        const int bit = 6 + 1199 * 30;
        (*frame)[bit / 8] &= static_cast<std::uint8_t>(~(0x80 >> (bit % 8)));
        std::vector<std::uint8_t> picBuf(921600, 0xEE);
        EXPECT_FALSE(d.DecodePicture(*frame, 1, picBuf.data()));
        EXPECT_EQ(128, picBuf[0]) << "bottom-left macroblock placed but not converted";
        EXPECT_EQ(0, picBuf[1]);
        EXPECT_EQ(0xEE, picBuf[632 * 3]) << "bottom-right macroblock never placed";
    }
    for (std::uint8_t bad : {0, 3, 255}) {
        auto frame = FrameFromPayload(payload);
        std::vector<std::uint8_t> picBuf(921600, 0xEE);
        EXPECT_FALSE(d.DecodePicture(*frame, bad, picBuf.data()));
        EXPECT_TRUE(
            std::all_of(picBuf.begin(), picBuf.end(), [](std::uint8_t v) { return v == 0xEE; }));
    }
}

// ---- Headers ----

TEST(SequenceHeader, LoadedIntraMatrixOrDefault) {
    // Default matrix: flag bit (value 2 of byte 11) clear.
    const std::uint8_t plain[12] = {0, 0, 1, 0xB3, 0x28, 0x01, 0xE0, 0x13, 0xFF, 0xFF, 0xE0, 0x18};
    EXPECT_FALSE(IntraMatrixFromSequenceHeader(plain, sizeof plain).has_value());

    // Loaded matrix: zig-zag value i = 100 + i, shifted by one bit.
    std::vector<std::uint8_t> hdr(plain, plain + 12);
    hdr[11] = 0x1A;
    hdr.resize(12 + 64, 0);
    for (int i = 0; i < 64; ++i) {
        const int v = 100 + i;
        hdr[11 + i] = static_cast<std::uint8_t>(hdr[11 + i] | (v >> 7));
        hdr[12 + i] = static_cast<std::uint8_t>(v << 1);
    }
    const auto m = IntraMatrixFromSequenceHeader(hdr.data(), hdr.size());
    ASSERT_TRUE(m.has_value());
    const int scanOf[] = {0, 1, 5, 6, 14, 2, 4, 7, 13};  // natural 0,1,2,3,4,8,9,10,11
    const int natural[] = {0, 1, 2, 3, 4, 8, 9, 10, 11};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(100 + scanOf[k], (*m)[natural[k]]) << natural[k];
    EXPECT_FALSE(IntraMatrixFromSequenceHeader(hdr.data(), 40).has_value()) << "truncated";
}

}  // namespace
}  // namespace droskal
