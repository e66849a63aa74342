// Decoder speed: bit reader and code decoding, whole pictures in both formats, the library's
// IDCT and colour conversion.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "decoder/Decoder.h"
#include "decoder/PictureFormat.h"
#include "extlib/IdctFast.h"
#include "extlib/KorvanMpeg.h"
#include "tools/IntraEncoder.h"

namespace {

using droskal::Decoder;
using droskal::FrameBuffer;

// A busy synthetic picture so that blocks carry many AC codes.
std::unique_ptr<FrameBuffer> EncodedFrame(int width, int height, int scale) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width * height * 3));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[static_cast<std::size_t>((y * width + x) * 3)];
            const double r = std::hypot(x - width / 3.0, y - height / 2.0);
            p[0] = static_cast<std::uint8_t>(128 + 120 * std::sin(r / 5));
            p[1] = static_cast<std::uint8_t>(((x / 7 + y / 9) % 2) ? 200 : 40);
            p[2] = static_cast<std::uint8_t>(128 + 100 * std::cos(x / 11.0) * std::sin(y / 13.0));
        }
    const auto payload =
        droskal::EncodeIntraSlice(droskal::RgbToYuvPicture(rgb.data(), width, height), scale);
    auto frame = std::make_unique<FrameBuffer>();
    frame->fill(0);
    if (payload.size() > frame->size()) return nullptr;
    std::copy(payload.begin(), payload.end(), frame->begin());
    return frame;
}

void BM_GetBit(benchmark::State& state) {
    auto frame = std::make_unique<FrameBuffer>();
    std::mt19937 rng(1);
    for (auto& b : *frame) b = static_cast<std::uint8_t>(rng());
    Decoder d;
    for (auto _ : state) {
        d.StartPicture(*frame);
        int ones = 0;
        for (int i = 0; i < 80000; ++i) ones += d.GetBit();
        benchmark::DoNotOptimize(ones);
    }
    state.SetItemsProcessed(state.iterations() * 80000);
}
BENCHMARK(BM_GetBit);

// Macroblock decoding without placement: codes, IZZQ and IDCT of a real picture.
void BM_GetMacroBlock(benchmark::State& state) {
    auto frame = EncodedFrame(640, 480, static_cast<int>(state.range(0)));
    if (!frame) return state.SkipWithError("picture too large");
    Decoder d;
    for (auto _ : state) {
        d.StartPicture(*frame);
        for (int i = 0; i < 1200; ++i) benchmark::DoNotOptimize(d.GetMacroBlock());
    }
    state.SetItemsProcessed(state.iterations() * 1200);
}
BENCHMARK(BM_GetMacroBlock)->Arg(2)->Arg(8);

void BM_DecodePicture(benchmark::State& state) {
    const auto picFormat = static_cast<std::uint8_t>(state.range(0));
    const droskal::PictureFormatInfo& f = *droskal::FormatInfo(picFormat);
    auto frame = EncodedFrame(f.width, f.height, static_cast<int>(state.range(1)));
    if (!frame) return state.SkipWithError("picture too large");
    std::vector<std::uint8_t> picBuf(static_cast<std::size_t>(f.pixelCount) * 3);
    Decoder d;
    for (auto _ : state) {
        if (!d.DecodePicture(*frame, picFormat, picBuf.data()))
            state.SkipWithError("decode failed");
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodePicture)
    ->Args({1, 2})
    ->Args({1, 8})
    ->Args({2, 2})
    ->Args({2, 8})
    ->Unit(benchmark::kMillisecond);

void BM_Idct(benchmark::State& state) {
    std::mt19937 rng(3);
    std::vector<std::int16_t> blocks(64 * 256);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        blocks[i] = (i % 64 < 12) ? static_cast<std::int16_t>(int(rng() % 401) - 200) : 0;
    }
    std::int16_t work[64];
    for (auto _ : state) {
        for (int b = 0; b < 256; ++b) {
            std::copy_n(&blocks[static_cast<std::size_t>(b) * 64], 64, work);
            Idct(work);
            benchmark::DoNotOptimize(work);
        }
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_Idct);

// The whole-picture path's transform, pairs of blocks, by instruction set (0 plain, 1 SSE2,
// 2 AVX2; a set the processor lacks runs as the best one it has).
void BM_IdctDecodedPair(benchmark::State& state) {
    std::mt19937 rng(3);
    std::vector<std::int16_t> blocks(64 * 256);
    std::vector<int> sums(256);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        // Natural positions of the first scan positions: what busy blocks carry.
        const std::size_t pos = i % 64;
        blocks[i] = (pos % 8 < 4 && pos < 32) ? static_cast<std::int16_t>(int(rng() % 61) - 30) : 0;
        if (pos != 0) sums[i / 64] += std::abs(blocks[i]);
    }
    const auto simd = static_cast<droskal::extlib::Simd>(state.range(0));
    alignas(16) std::int16_t out[2][64];
    for (auto _ : state) {
        for (int b = 0; b < 256; b += 2) {
            droskal::extlib::IdctDecodedPair(&blocks[static_cast<std::size_t>(b) * 64], out[0],
                                             sums[b], 0x0F0F0F0Full,
                                             &blocks[static_cast<std::size_t>(b + 1) * 64], out[1],
                                             sums[b + 1], 0x0F0F0F0Full, simd);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_IdctDecodedPair)->Arg(1)->Arg(2);

// Code decoding on its own: GetCoef over the AC codes of a real picture (bit-serial walk).
void BM_GetCoef(benchmark::State& state) {
    auto frame = EncodedFrame(640, 480, 2);
    if (!frame) return state.SkipWithError("picture too large");
    Decoder d;
    std::int64_t codes = 0;
    for (auto _ : state) {
        d.StartPicture(*frame);
        for (int i = 0; i < 20000; ++i) {
            std::int16_t budget = Decoder::kBlockBitBudget;
            benchmark::DoNotOptimize(d.GetCoef(budget));
        }
        codes += 20000;
    }
    state.SetItemsProcessed(codes);
}
BENCHMARK(BM_GetCoef);

// One macroblock through the whole-picture path: a picture of 1200 macroblocks assembled
// (fast reader, tables, dequantisation, IDCT, copies), reported per macroblock.
void BM_AssembleMacroblocks(benchmark::State& state) {
    auto frame = EncodedFrame(640, 480, static_cast<int>(state.range(0)));
    if (!frame) return state.SkipWithError("picture too large");
    std::vector<std::uint8_t> picBuf(307200 * 3);
    Decoder d;
    for (auto _ : state) {
        if (!d.AssemblePicture(*frame, 1, picBuf.data())) state.SkipWithError("decode failed");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1200);
}
BENCHMARK(BM_AssembleMacroblocks)->Arg(2)->Arg(8);

// Colour conversion from planes straight into the bitmap, as DecodePicture does.
void BM_PlanesToBgr(benchmark::State& state) {
    std::mt19937 rng(4);
    std::vector<std::uint8_t> y(307200), cb(76800), cr(76800), out(307200 * 3);
    for (auto& b : y) b = static_cast<std::uint8_t>(rng());
    for (auto& b : cb) b = static_cast<std::uint8_t>(rng());
    for (auto& b : cr) b = static_cast<std::uint8_t>(rng());
    const auto simd = static_cast<droskal::extlib::Simd>(state.range(0));
    for (auto _ : state) {
        droskal::extlib::PlanesToBgrWith(simd, y.data(), cb.data(), cr.data(), 640, 480,
                                         out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 307200);
}
// By instruction set: 0 plain, 1 SSE2, 2 AVX2.
BENCHMARK(BM_PlanesToBgr)->Arg(0)->Arg(1)->Arg(2);

void BM_YUVtoRGB(benchmark::State& state) {
    std::vector<std::uint8_t> buf(307200 * 3);
    std::mt19937 rng(2);
    for (auto& b : buf) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> work(buf.size());
    for (auto _ : state) {
        state.PauseTiming();
        work = buf;
        state.ResumeTiming();
        YUVtoRGB(work.data(), 307200);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 307200);
}
BENCHMARK(BM_YUVtoRGB);

}  // namespace
