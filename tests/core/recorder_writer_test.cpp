#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/RecorderWriter.h"

namespace droskal {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Slice(const Bytes& all, std::int64_t from1, std::size_t n) {
    const auto begin = all.begin() + (from1 - 1);
    return Bytes(begin, begin + static_cast<std::ptrdiff_t>(n));
}

TEST(RecorderWriter, HeaderBytesAndPositions) {
    const struct {
        const char* name;
        int width, height;
        bool matrix;
        Bytes sizeBytes;
        std::size_t sequenceLength;
    } cases[] = {
        {"640x480", 640, 480, false, {0x28, 0x01, 0xE0}, 12},
        {"320x240", 320, 240, false, {0x14, 0x00, 0xF0}, 12},
        {"640x480 with intra matrix", 640, 480, true, {0x28, 0x01, 0xE0}, 76},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SequenceHeader h;
        h.width = c.width;
        h.height = c.height;
        if (c.matrix) {
            std::array<std::uint8_t, 64> m{};
            for (int i = 0; i < 64; ++i) m[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(8 + i);
            h.intraMatrix = m;
        }
        RecorderWriter w(h);
        RecorderPicture pic;
        pic.temporalReference = 5;
        pic.userData.push_back({'a', 'b'});
        pic.slice = {0x0A, 0x0B, 0x0C};
        pic.junkAfter = {0xEE, 0xEE};
        const PicturePositions p = w.addPicture(pic);
        const Bytes& b = w.bytes();

        // Size, aspect 1, rate 3, bit rate 0x3FFFF, marker, vbv 20 (low bits 10100), constrained 0,
        // intra flag, then the non-intra flag or the matrix.
        EXPECT_EQ(Slice(b, 1, 12), (Bytes{0x00, 0x00, 0x01, 0xB3, c.sizeBytes[0], c.sizeBytes[1],
                                          c.sizeBytes[2], 0x13, 0xFF, 0xFF, 0xE0, std::uint8_t(c.matrix ? 0xA2 : 0xA0)}));
        if (c.matrix) {
            // 64 values starting on the last bit of byte 11; the final bit is the non-intra flag.
            EXPECT_EQ(b[12], (8 << 1) | (9 >> 7));
            EXPECT_EQ(b[75] & 0x01, 0);
            EXPECT_EQ(b[75] >> 1, (8 + 63) & 0x7F);
        }
        const std::size_t gop = c.sequenceLength;
        EXPECT_EQ(Slice(b, static_cast<std::int64_t>(gop) + 1, 4), (Bytes{0x00, 0x00, 0x01, 0xB8}));
        EXPECT_EQ(b[gop + 7] & 0x40, 0x40) << "closed GOP";

        // Picture code with temporal reference 5, type I, vbv_delay FFFF; user data, slice,
        // end code and junk, each where the positions say.
        const std::int64_t pictureCode = static_cast<std::int64_t>(gop) + 9;
        EXPECT_EQ(p.headersStart, 1);
        EXPECT_EQ(p.picturePos, pictureCode + 3);
        EXPECT_EQ(p.userDataPos, pictureCode + 12);
        EXPECT_EQ(p.slicePos, pictureCode + 17);
        EXPECT_EQ(p.endCodePos, pictureCode + 24);
        EXPECT_EQ(Slice(b, pictureCode, 27),
                  (Bytes{0, 0, 1, 0x00, 0x01, 0x4F, 0xFF, 0xF8, 0, 0, 1, 0xB2, 'a', 'b', 0, 0, 1, 0x01,
                         0x0A, 0x0B, 0x0C, 0, 0, 1, 0xB7, 0xEE, 0xEE}));
        EXPECT_EQ(b.size(), static_cast<std::size_t>(pictureCode + 26));
    }
}

TEST(RecorderWriter, OptionalPartsAndOffsets) {
    RecorderWriter w;
    w.setBaseOffset(1000);
    RecorderPicture bare;
    bare.sequenceHeader = false;
    bare.gopHeader = false;
    bare.endCode = false;
    const PicturePositions p = w.addPicture(bare);
    EXPECT_EQ(p.headersStart, 1001);
    EXPECT_EQ(p.picturePos, 1004);
    EXPECT_EQ(p.userDataPos, 0);
    EXPECT_EQ(p.slicePos, 1012);
    EXPECT_EQ(p.endCodePos, 0);
    EXPECT_EQ(w.bytes().size(), 12u);
}

TEST(RecorderWriter, SentenceBuilder) {
    RmcFields f;
    const std::string s = BuildGprmc(f);
    EXPECT_EQ(s, "$GPRMC,223416.000,A,5212.3456,N,02101.2345,E,12.3,45.6,300306,,*00");
    f.checksum = false;
    EXPECT_EQ(BuildGprmc(f).back(), ',');

    const struct {
        std::string got, expected;
    } formats[] = {
        {FormatLatitude(52.20576), "5212.3456"},   {FormatLongitude(21.020575), "02101.2345"},
        {FormatLatitude(0.0), "0000.0000"},        {FormatLongitude(179.99999999), "18000.0000"},
        {FormatRmcTime(81256.0), "223416.000"},    {FormatRmcTime(0.0015), "000000.002"},
        {FormatRmcTime(86399.9999), "000000.000"},
    };
    for (const auto& c : formats) EXPECT_EQ(c.got, c.expected);

    EXPECT_EQ(RecorderUserData("$GP"), (Bytes{'$', 'G', 'P', '\r'}));
    EXPECT_EQ(RecorderUserData("$GP", '\n'), (Bytes{'$', 'G', 'P', '\n'}));
}

}  // namespace
}  // namespace droskal
