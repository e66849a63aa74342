// Decoding peer-encoded streams (ffmpeg, see tests/data/make-fixtures.sh) must match the peer's
// own decode: the planes may differ only by IDCT rounding.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "decoder/Decoder.h"
#include "decoder/PictureFormat.h"
#include "decoder/SequenceHeader.h"
#include "decoder/YuvPlanes.h"

namespace droskal {
namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Slice payloads of every picture, each ending with a sequence end code as the recorder
// writes them. Fails the test if a picture has more than one slice.
std::vector<std::vector<std::uint8_t>> SlicePayloads(const std::vector<std::uint8_t>& s) {
    std::vector<std::vector<std::uint8_t>> out;
    std::vector<std::uint8_t>* current = nullptr;
    std::size_t start = 0;
    for (std::size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) continue;
        const std::uint8_t code = s[i + 3];
        if (current) {
            current->assign(s.begin() + static_cast<std::ptrdiff_t>(start),
                            s.begin() + static_cast<std::ptrdiff_t>(i));
            current = nullptr;
        }
        if (code == 0x01) {
            out.emplace_back();
            current = &out.back();
            start = i + 4;
        } else {
            EXPECT_FALSE(code > 0x01 && code <= 0xAF) << "picture with several slices";
        }
        i += 3;
    }
    if (current) current->assign(s.begin() + static_cast<std::ptrdiff_t>(start), s.end());
    for (auto& p : out) p.insert(p.end(), {0x00, 0x00, 0x01, 0xB7});
    return out;
}

struct PlaneStats {
    double psnr;
    int maxDiff;
};

PlaneStats Compare(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    double sq = 0;
    int maxDiff = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int d = a[i] - b[i];
        sq += d * d;
        maxDiff = std::max(maxDiff, std::abs(d));
    }
    const double mse = sq / static_cast<double>(n);
    return {mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse), maxDiff};
}

struct Fixture {
    const char* name;
    std::uint8_t picFormat;
    int pictures;
    bool loadsMatrix;
};

void PrintTo(const Fixture& f, std::ostream* os) {
    *os << f.name;
}

class Fidelity : public testing::TestWithParam<Fixture> {};

TEST_P(Fidelity, PlanesMatchThePeerDecoder) {
    const Fixture& fx = GetParam();
    const std::string base = std::string(DROSKAL_TEST_DATA) + "/fixtures/" + fx.name;
    const auto stream = ReadFile(base + ".m1v");
    const auto reference = ReadFile(base + ".yuv");
    ASSERT_GE(stream.size(), 12u);
    ASSERT_EQ(fx.picFormat, PictureFormatFromHeader(stream.data()));
    const PictureFormatInfo& f = *FormatInfo(fx.picFormat);
    const std::size_t frameSize = static_cast<std::size_t>(f.pixelCount) * 3 / 2;
    ASSERT_EQ(frameSize * static_cast<std::size_t>(fx.pictures), reference.size());

    Decoder d;
    const auto matrix = IntraMatrixFromSequenceHeader(stream.data(), stream.size());
    EXPECT_EQ(fx.loadsMatrix, matrix.has_value());
    d.SetIntraMatrix(matrix ? matrix->data() : nullptr);

    const auto payloads = SlicePayloads(stream);
    ASSERT_EQ(static_cast<std::size_t>(fx.pictures), payloads.size());
    auto frame = std::make_unique<FrameBuffer>();
    std::vector<std::uint8_t> picBuf(static_cast<std::size_t>(f.pixelCount) * 3);
    for (int p = 0; p < fx.pictures; ++p) {
        ASSERT_LE(payloads[p].size(), frame->size());
        std::copy(payloads[p].begin(), payloads[p].end(), frame->begin());
        ASSERT_TRUE(d.AssemblePicture(*frame, fx.picFormat, picBuf.data())) << "picture " << p;
        const auto ours = PicBufToYuv420p(picBuf.data(), fx.picFormat);
        const std::uint8_t* ref = reference.data() + frameSize * static_cast<std::size_t>(p);
        const std::size_t lumaSize = static_cast<std::size_t>(f.pixelCount);
        const std::size_t chromaSize = lumaSize / 4;
        const PlaneStats planes[3] = {
            Compare(ours.data(), ref, lumaSize),
            Compare(ours.data() + lumaSize, ref + lumaSize, chromaSize),
            Compare(ours.data() + lumaSize + chromaSize, ref + lumaSize + chromaSize, chromaSize)};
        const char* names[3] = {"Y", "Cb", "Cr"};
        for (int k = 0; k < 3; ++k) {
            EXPECT_GE(planes[k].psnr, 50.0) << names[k] << " picture " << p;
            EXPECT_LE(planes[k].maxDiff, 2) << names[k] << " picture " << p;
            RecordProperty(
                std::string(fx.name) + "_" + std::to_string(p) + "_" + names[k] + "_psnr",
                std::to_string(planes[k].psnr));
        }
        std::printf("%-22s picture %d  PSNR Y %.2f Cb %.2f Cr %.2f dB, max diff %d/%d/%d\n",
                    fx.name, p, planes[0].psnr, planes[1].psnr, planes[2].psnr, planes[0].maxDiff,
                    planes[1].maxDiff, planes[2].maxDiff);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Fidelity,
                         testing::Values(Fixture{"vga_testsrc2_q2", 1, 1, false},
                                         Fixture{"vga_mandelbrot_q8", 1, 1, false},
                                         Fixture{"cif_testsrc2_q4", 2, 2, false},
                                         Fixture{"cif_smptehdbars_q16", 2, 1, false},
                                         Fixture{"cif_mandelbrot_q31", 2, 1, false},
                                         Fixture{"cif_matrix_q4", 2, 1, true}),
                         [](const testing::TestParamInfo<Fixture>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace droskal
