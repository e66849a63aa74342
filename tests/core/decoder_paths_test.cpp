// The decoder's direct path from coefficients to plane bytes, on every instruction-set unit:
// the IDCT of each block as the library's own Idct gives it, clamped as the block copies
// clamp (luma to 0..255, chroma to -128..127 as two's-complement bytes), and nothing written
// outside the two 8x8 places.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "extlib/IdctFast.h"

namespace droskal {
namespace {

TEST(DecoderPaths, PairToBytesEqualsIdctThenClampOnEveryUnitAndShape) {
    std::mt19937 rng(11);
    constexpr int kStride = 40;  // two places side by side with room around them
    for (int trial = 0; trial < 3000; ++trial) {
        // DC-only blocks, small and large AC (over the fixed-point limit), low and any positions.
        std::array<std::array<std::int16_t, 64>, 2> coeffs{};
        std::array<int, 2> sum{};
        std::array<std::uint64_t, 2> occupied{};
        for (int k = 0; k < 2; ++k) {
            coeffs[k][0] = static_cast<std::int16_t>(static_cast<int>(rng() % 4200) - 2100);
            const int count = (trial + k) % 5 == 0 ? 0 : static_cast<int>(rng() % 12);
            const int range = trial % 3 == 0 ? 2048 : 60;
            for (int n = 0; n < count; ++n) {
                const int at = trial % 2 ? static_cast<int>(1 + rng() % 63)
                                         : static_cast<int>(rng() % 3) * 8 + 1;
                coeffs[k][at] =
                    static_cast<std::int16_t>(static_cast<int>(rng() % (2 * range)) - range);
            }
            for (int i = 1; i < 64; ++i) {
                sum[k] += std::abs(coeffs[k][i]);
                if (coeffs[k][i] != 0) occupied[k] |= std::uint64_t{1} << i;
            }
        }
        const bool chroma = trial % 2 == 1;
        for (int simd = 0; simd <= static_cast<int>(extlib::BestSimd()); ++simd) {
            const auto unit = static_cast<extlib::Simd>(simd);
            std::vector<std::uint8_t> want(kStride * 10, 0xA5), got(kStride * 10, 0xA5);
            for (int k = 0; k < 2; ++k) {
                std::array<std::int16_t, 64> samples = coeffs[k];
                extlib::IdctWith(unit, samples.data());
                for (int i = 0; i < 64; ++i) {
                    const int v = samples[static_cast<std::size_t>(i)];
                    want[static_cast<std::size_t>((1 + i / 8) * kStride + 4 + 16 * k + i % 8)] =
                        static_cast<std::uint8_t>(chroma ? std::clamp(v, -128, 127) & 0xFF
                                                         : std::clamp(v, 0, 255));
                }
            }
            extlib::IdctDecodedPairToBytes(coeffs[0].data(), sum[0], occupied[0], coeffs[1].data(),
                                           sum[1], occupied[1], chroma, got.data() + kStride + 4,
                                           got.data() + kStride + 20, kStride, unit);
            ASSERT_EQ(want, got) << "trial " << trial << " unit " << simd;
        }
    }
}

}  // namespace
}  // namespace droskal
