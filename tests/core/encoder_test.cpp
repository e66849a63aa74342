// The intra encoder for test recordings, checked through our own decoder.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/Decoder.h"
#include "decoder/PictureFormat.h"
#include "decoder/YuvPlanes.h"
#include "tools/IntraEncoder.h"

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
    const auto payload = EncodeIntraSlice(pic, scale);
    auto frame = std::make_unique<FrameBuffer>();
    frame->fill(0);
    EXPECT_LE(payload.size() + 4, frame->size());
    std::copy(payload.begin(), payload.end(), frame->begin());
    const std::uint8_t end[4] = {0, 0, 1, 0xB7};
    std::copy(end, end + 4, frame->begin() + static_cast<std::ptrdiff_t>(payload.size()));

    const PictureFormatInfo& f = *FormatInfo(picFormat);
    std::vector<std::uint8_t> picBuf(static_cast<std::size_t>(f.pixelCount) * 3);
    Decoder d;
    RoundTrip rt{};
    rt.decoded = d.AssemblePicture(*frame, picFormat, picBuf.data());
    const int left = d.bitMask == 0 ? 0 : std::countr_zero(d.bitMask) + 1;
    rt.bitsRead = d.bitPos * 8 - left;
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

TEST(IntraEncoder, RoundTripAtScaleTwoInBothFormats) {
    for (std::uint8_t picFormat : {1, 2}) {
        const PictureFormatInfo& f = *FormatInfo(picFormat);
        const auto rgb = MakeRgb(f.width, f.height, Circles);
        const RoundTrip rt = EncodeDecode(RgbToYuvPicture(rgb.data(), f.width, f.height), picFormat, 2);
        ASSERT_TRUE(rt.decoded);
        for (double p : rt.psnr) EXPECT_GE(p, 38.0) << f.width;
    }
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

TEST(IntraEncoder, LargeLevelsUseBothEscapeForms) {
    // Noise at scale 1 drives AC levels past 127 in both directions (16-bit escapes) and
    // leaves many (run, level) pairs without a code of their own (8-bit escapes).
    std::mt19937 rng(7);
    YuvPicture pic{320, 240, {}, {}, {}};
    pic.y.resize(76800);
    pic.cb.resize(19200);
    pic.cr.resize(19200);
    for (auto& v : pic.y) v = static_cast<std::uint8_t>(16 + rng() % 220);
    for (auto& v : pic.cb) v = static_cast<std::uint8_t>(16 + rng() % 225);
    for (auto& v : pic.cr) v = static_cast<std::uint8_t>(16 + rng() % 225);
    const RoundTrip rt = EncodeDecode(pic, 2, 1);
    ASSERT_TRUE(rt.decoded);
    for (double p : rt.psnr) EXPECT_GE(p, 40.0);
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

}  // namespace
}  // namespace droskal
