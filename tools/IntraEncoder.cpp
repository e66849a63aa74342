#include "tools/IntraEncoder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "decoder/CoeffCodes.h"
#include "extlib/Mpeg1Tables.h"

namespace droskal {

namespace {

class BitWriter {
  public:
    void Put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc_ = static_cast<std::uint8_t>(acc_ << 1 | ((value >> i) & 1));
            if (++fill_ == 8) {
                bytes_.push_back(acc_);
                acc_ = 0;
                fill_ = 0;
            }
        }
    }
    std::vector<std::uint8_t> Finish() {
        if (fill_ > 0) Put(0, 8 - fill_);
        return std::move(bytes_);
    }

  private:
    std::vector<std::uint8_t> bytes_;
    std::uint8_t acc_ = 0;
    int fill_ = 0;
};

// dct_dc_size codes by size 0..8: {bits, length}.
constexpr std::uint8_t kDcSizeLumaCode[9][2] = {{0b100, 3},   {0b00, 2},     {0b01, 2},
                                                {0b101, 3},   {0b110, 3},    {0b1110, 4},
                                                {0b11110, 5}, {0b111110, 6}, {0b1111110, 7}};
constexpr std::uint8_t kDcSizeChromaCode[9][2] = {{0b00, 2},     {0b01, 2},      {0b10, 2},
                                                  {0b110, 3},    {0b1110, 4},    {0b11110, 5},
                                                  {0b111110, 6}, {0b1111110, 7}, {0b11111110, 8}};

struct CodeLookup {
    // Index: packed (run, level) value; {code, length}.
    std::uint16_t code[111];
    std::uint8_t length[111];
    std::uint16_t escapeCode;
    std::uint8_t escapeLength;
};

const CodeLookup& Codes() {
    static const CodeLookup lookup = [] {
        CodeLookup l{};
        for (const CoeffCode& c : kCoeffCodes) {
            if (c.run == kEscapeRun) {
                l.escapeCode = c.code;
                l.escapeLength = c.length;
            } else {
                const int v = PackRunLevel(c.run, c.level);
                l.code[v] = c.code;
                l.length[v] = c.length;
            }
        }
        return l;
    }();
    return lookup;
}

struct DctBasis {
    double c[8][8];  // c[k][n] = C(k) / 2 * cos((2n + 1) k pi / 16)
};

const DctBasis& Basis() {
    static const DctBasis basis = [] {
        DctBasis b{};
        for (int k = 0; k < 8; ++k) {
            for (int n = 0; n < 8; ++n) {
                const double ck = k == 0 ? std::sqrt(0.5) : 1.0;
                b.c[k][n] = ck / 2.0 * std::cos((2 * n + 1) * k * std::numbers::pi / 16.0);
            }
        }
        return b;
    }();
    return basis;
}

// Orthonormal 2-D DCT of samples (row-major) into coefficients (row = vertical frequency).
void ForwardDct(const double in[64], double out[64]) {
    const DctBasis& b = Basis();
    double tmp[64];
    for (int y = 0; y < 8; ++y) {
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int x = 0; x < 8; ++x) s += b.c[u][x] * in[y * 8 + x];
            tmp[y * 8 + u] = s;
        }
    }
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y) s += b.c[v][y] * tmp[y * 8 + u];
            out[v * 8 + u] = s;
        }
    }
}

int BitsFor(int magnitude) {
    int size = 0;
    while (magnitude > 0) {
        ++size;
        magnitude >>= 1;
    }
    return size;
}

class SliceEncoder {
  public:
    SliceEncoder(int scale, const std::uint8_t* matrix) : scale_(scale), matrix_(matrix) {}

    void Block(const std::uint8_t* plane, int stride, int x0, int y0, bool luma, int& dcPred) {
        double samples[64];
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) samples[y * 8 + x] = plane[(y0 + y) * stride + x0 + x];
        }
        double coef[64];
        ForwardDct(samples, coef);

        // Reconstructed DC is level x 8 and the DC coefficient is 8 x the block mean.
        const int dc = std::clamp(static_cast<int>(std::lround(coef[0] / 8.0)), 0, 255);
        PutDc(dc - dcPred, luma);
        dcPred = dc;

        int run = 0;
        for (int i = 1; i < 64; ++i) {
            const int j = kZigZag[i];
            // The decoder rebuilds level x q x W / 8; round to the nearest level.
            const double exact = coef[j] * 8.0 / (scale_ * matrix_[j]);
            const int level = std::clamp(static_cast<int>(std::lround(exact)), -255, 255);
            if (level == 0) {
                ++run;
                continue;
            }
            PutCoef(run, level);
            run = 0;
        }
        out_.Put(0b10, 2);  // end of block
    }

    BitWriter& Out() { return out_; }

  private:
    void PutDc(int diff, bool luma) {
        const int size = BitsFor(std::abs(diff));
        const auto& code = luma ? kDcSizeLumaCode[size] : kDcSizeChromaCode[size];
        out_.Put(code[0], code[1]);
        if (size > 0) {
            // Negative differentials are sent as diff + 2^size - 1 (leading bit 0).
            const int bits = diff > 0 ? diff : diff + (1 << size) - 1;
            out_.Put(static_cast<std::uint32_t>(bits), size);
        }
    }

    void PutCoef(int run, int level) {
        const CodeLookup& codes = Codes();
        const int magnitude = std::abs(level);
        const int packed = PackRunLevel(run, magnitude);
        if (packed >= 0) {
            out_.Put(codes.code[packed], codes.length[packed]);
            out_.Put(level < 0 ? 1 : 0, 1);
            return;
        }
        out_.Put(codes.escapeCode, codes.escapeLength);
        out_.Put(static_cast<std::uint32_t>(run), 6);
        if (magnitude < 128) {
            out_.Put(static_cast<std::uint8_t>(static_cast<std::int8_t>(level)), 8);
        } else if (level > 0) {
            out_.Put(0x00, 8);
            out_.Put(static_cast<std::uint32_t>(level), 8);
        } else {
            out_.Put(0x80, 8);
            out_.Put(static_cast<std::uint32_t>(level + 256), 8);
        }
    }

    int scale_;
    const std::uint8_t* matrix_;
    BitWriter out_;
};

std::uint8_t ClampByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::lround(v)), 0, 255));
}

}  // namespace

YuvPicture RgbToYuvPicture(const std::uint8_t* rgb, int width, int height) {
    YuvPicture pic;
    pic.width = width;
    pic.height = height;
    const auto n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    pic.y.resize(n);
    pic.cb.resize(n / 4);
    pic.cr.resize(n / 4);
    std::vector<double> cbFull(n);
    std::vector<double> crFull(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double r = rgb[i * 3];
        const double g = rgb[i * 3 + 1];
        const double b = rgb[i * 3 + 2];
        const double y = 0.299 * r + 0.587 * g + 0.114 * b;
        pic.y[i] = ClampByte(16.0 + y * 219.0 / 255.0);
        cbFull[i] = 128.0 + (b - y) / 1.772 * 224.0 / 255.0;
        crFull[i] = 128.0 + (r - y) / 1.402 * 224.0 / 255.0;
    }
    const int cw = width / 2;
    for (int cy = 0; cy < height / 2; ++cy) {
        for (int cx = 0; cx < cw; ++cx) {
            const std::size_t tl = static_cast<std::size_t>(2 * cy * width + 2 * cx);
            const std::size_t group[4] = {tl, tl + 1, tl + static_cast<std::size_t>(width),
                                          tl + static_cast<std::size_t>(width) + 1};
            double cb = 0;
            double cr = 0;
            for (std::size_t k : group) {
                cb += cbFull[k];
                cr += crFull[k];
            }
            pic.cb[static_cast<std::size_t>(cy * cw + cx)] = ClampByte(cb / 4.0);
            pic.cr[static_cast<std::size_t>(cy * cw + cx)] = ClampByte(cr / 4.0);
        }
    }
    return pic;
}

std::vector<std::uint8_t> EncodeIntraSlice(const YuvPicture& picture, int quantiserScale,
                                           const std::uint8_t* intraMatrixNatural) {
    const int scale = std::clamp(quantiserScale, 1, 31);
    SliceEncoder enc(scale, intraMatrixNatural ? intraMatrixNatural : kDefaultIntraMatrix.data());
    enc.Out().Put(static_cast<std::uint32_t>(scale), 5);
    enc.Out().Put(0, 1);  // extra_bit_slice

    // Predictors restart at 128 (standard units) at the start of the slice.
    int predY = 128;
    int predCb = 128;
    int predCr = 128;
    const int w = picture.width;
    const int cw = w / 2;
    for (int my = 0; my < picture.height / 16; ++my) {
        for (int mx = 0; mx < w / 16; ++mx) {
            enc.Out().Put(1, 1);  // macroblock_address_increment 1
            enc.Out().Put(1, 1);  // macroblock_type intra
            const int x = mx * 16;
            const int y = my * 16;
            enc.Block(picture.y.data(), w, x, y, true, predY);
            enc.Block(picture.y.data(), w, x + 8, y, true, predY);
            enc.Block(picture.y.data(), w, x, y + 8, true, predY);
            enc.Block(picture.y.data(), w, x + 8, y + 8, true, predY);
            enc.Block(picture.cb.data(), cw, mx * 8, my * 8, false, predCb);
            enc.Block(picture.cr.data(), cw, mx * 8, my * 8, false, predCr);
        }
    }
    return enc.Out().Finish();
}

}  // namespace droskal
