// The tools that build test recordings and the demo: the intra encoder (checked through our own
// decoder), the recorder-stream writer, and the demo drive and map generators.
#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestRecordings.h"
#include "config/IniFile.h"
#include "config/ValNumber.h"
#include "decoder/Decoder.h"
#include "decoder/YuvPlanes.h"
#include "gps/MapGeometry.h"
#include "gps/Nmea.h"

namespace droskal {
namespace {

using RgbPattern = std::function<void(int x, int y, std::uint8_t rgb[3])>;

std::vector<std::uint8_t> MakeRgb(int w, int h, const RgbPattern& pattern) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w * h * 3));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pattern(x, y, &rgb[static_cast<std::size_t>((y * w + x) * 3)]);
    return rgb;
}

std::uint8_t B(double v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    double sq = 0;
    for (std::size_t i = 0; i < n; ++i) sq += (a[i] - b[i]) * (a[i] - b[i]);
    return sq == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(n) / sq);
}

struct RoundTrip {
    bool decoded;
    int bitsRead;
    double psnr[3];
};

// Encodes, decodes with our decoder and compares the planes with the encoder's input.
RoundTrip EncodeDecode(const YuvPicture& pic, std::uint8_t picFormat, int scale) {
    const auto frame = test::FrameOf(EncodeIntraSlice(pic, scale));
    const PictureFormatInfo& f = *FormatInfo(picFormat);
    std::vector<std::uint8_t> picBuf(static_cast<std::size_t>(f.pixelCount) * 3);
    Decoder d;
    RoundTrip rt{};
    rt.decoded = d.AssemblePicture(*frame, picFormat, picBuf.data());
    const ReaderState at = d.State();
    const int left = at.bitMask == 0 ? 0 : std::countr_zero(at.bitMask) + 1;
    rt.bitsRead = at.bitPos * 8 - left;
    const auto yuv = PicBufToYuv420p(picBuf.data(), picFormat);
    const std::size_t n = pic.y.size();
    rt.psnr[0] = Psnr(yuv.data(), pic.y.data(), n);
    rt.psnr[1] = Psnr(yuv.data() + n, pic.cb.data(), n / 4);
    rt.psnr[2] = Psnr(yuv.data() + n + n / 4, pic.cr.data(), n / 4);
    return rt;
}

void Circles(int x, int y, std::uint8_t* p) {
    const double r = std::hypot(x - 150.0, y - 110.0);
    p[0] = B(128 + 120 * std::sin(r / 6));
    p[1] = B(128 + 100 * std::cos(x / 17.0));
    p[2] = B(60 + (y % 90));
}

// A smooth picture at scale 2 in both formats; noise at scale 1 drives AC levels past 127 in
// both directions (16-bit escapes) and leaves many (run, level) pairs without a code of their
// own (8-bit escapes).
TEST(IntraEncoder, RoundTripsSmoothPicturesAndNoiseWithEscapes) {
    std::mt19937 rng(7);
    for (std::uint8_t picFormat : {1, 2}) {
        const PictureFormatInfo& f = *FormatInfo(picFormat);
        const auto rgb = MakeRgb(f.width, f.height, Circles);
        const RoundTrip rt =
            EncodeDecode(RgbToYuvPicture(rgb.data(), f.width, f.height), picFormat, 2);
        ASSERT_TRUE(rt.decoded);
        for (double p : rt.psnr) EXPECT_GE(p, 38.0) << f.width;
    }
    YuvPicture noise{320, 240, std::vector<std::uint8_t>(76800), std::vector<std::uint8_t>(19200),
                     std::vector<std::uint8_t>(19200)};
    for (auto* plane : {&noise.y, &noise.cb, &noise.cr})
        for (auto& v : *plane) v = static_cast<std::uint8_t>(16 + rng() % 220);
    const RoundTrip rt = EncodeDecode(noise, 2, 1);
    ASSERT_TRUE(rt.decoded);
    for (double p : rt.psnr) EXPECT_GE(p, 40.0);
}

TEST(IntraEncoder, DecoderReadsExactlyThePayloadAtEveryScale) {
    const auto rgb = MakeRgb(320, 240, Circles);
    const YuvPicture pic = RgbToYuvPicture(rgb.data(), 320, 240);
    double previous = 100;
    for (int scale : {1, 2, 4, 8, 16, 31}) {
        const auto payload = EncodeIntraSlice(pic, scale);
        ASSERT_EQ(scale, payload[0] >> 3);
        EXPECT_EQ(0, payload[0] & 0x04) << "extra_bit_slice";
        EXPECT_EQ(0x03, payload[0] & 0x03) << "first macroblock: increment 1, intra";
        const RoundTrip rt = EncodeDecode(pic, 2, scale);
        ASSERT_TRUE(rt.decoded) << scale;
        const int payloadBits = static_cast<int>(payload.size()) * 8;
        EXPECT_GT(rt.bitsRead, payloadBits - 8) << "scale " << scale;
        EXPECT_LE(rt.bitsRead, payloadBits) << "scale " << scale;
        EXPECT_LE(rt.psnr[0], previous + 0.5) << "coarser scale, lower fidelity";
        previous = rt.psnr[0];
    }
    EXPECT_EQ(1, EncodeIntraSlice(pic, 0)[0] >> 3);
    EXPECT_EQ(31, EncodeIntraSlice(pic, 40)[0] >> 3);
}

TEST(RgbToYuvPicture, Bt601StudioRange) {
    const struct {
        std::uint8_t r, g, b;
        int y, cb, cr;
    } cases[] = {
        {0, 0, 0, 16, 128, 128},  {255, 255, 255, 235, 128, 128}, {255, 0, 0, 81, 90, 240},
        {0, 255, 0, 145, 54, 34}, {0, 0, 255, 41, 240, 110},      {128, 128, 128, 126, 128, 128},
    };
    for (const auto& c : cases) {
        const auto rgb = MakeRgb(2, 2, [&](int, int, std::uint8_t* p) {
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        });
        const YuvPicture pic = RgbToYuvPicture(rgb.data(), 2, 2);
        EXPECT_NEAR(c.y, pic.y[3], 1) << int(c.r) << "," << int(c.g) << "," << int(c.b);
        EXPECT_NEAR(c.cb, pic.cb[0], 1);
        EXPECT_NEAR(c.cr, pic.cr[0], 1);
    }
    // Chroma is the 2x2 average; luma stays per pixel.
    const auto split = MakeRgb(2, 2, [](int x, int, std::uint8_t* p) {
        p[0] = p[1] = 0;
        p[2] = x ? 255 : 0;
    });
    const YuvPicture pic = RgbToYuvPicture(split.data(), 2, 2);
    EXPECT_NEAR(16, pic.y[0], 1);
    EXPECT_NEAR(41, pic.y[1], 1);
    EXPECT_NEAR(184, pic.cb[0], 1);
}

// ---- Recorder-stream writer ----

using test::Bytes;

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
            for (int i = 0; i < 64; ++i)
                m[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(8 + i);
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
        EXPECT_EQ(Slice(b, 1, 12),
                  (Bytes{0x00, 0x00, 0x01, 0xB3, c.sizeBytes[0], c.sizeBytes[1], c.sizeBytes[2],
                         0x13, 0xFF, 0xFF, 0xE0, std::uint8_t(c.matrix ? 0xA2 : 0xA0)}));
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
                  (Bytes{0, 0, 1, 0x00, 0x01, 0x4F, 0xFF, 0xF8, 0, 0, 1,    0xB2, 'a', 'b',
                         0, 0, 1, 0x01, 0x0A, 0x0B, 0x0C, 0,    0, 1, 0xB7, 0xEE, 0xEE}));
        EXPECT_EQ(b.size(), static_cast<std::size_t>(pictureCode + 26));
    }
}

}  // namespace
}  // namespace droskal
