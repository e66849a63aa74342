// Inverse zig-zag scan with MPEG-1 intra dequantisation.

#include <algorithm>

#include "extlib/IdctFast.h"
#include "extlib/KorvanMpeg.h"
#include "extlib/Mpeg1Tables.h"

namespace {

// The only state of the library: scale x matrix weight, by scan position, so that IZZQ does
// one multiply per coefficient. Per thread, so pictures may be decoded on several threads.
struct QuantContext {
    std::int32_t weight[64];
};

constexpr QuantContext MakeQuant(std::int32_t scale, const std::uint8_t* natural) {
    QuantContext ctx{};
    for (int i = 0; i < 64; ++i) ctx.weight[i] = scale * natural[droskal::kZigZag[i]];
    return ctx;
}

thread_local QuantContext quant = MakeQuant(1, droskal::kDefaultIntraMatrix.data());

}  // namespace

extern "C" void SetQuant(std::int32_t quantiserScale, const std::uint8_t* intraMatrixNatural) {
    // Scale 0 is forbidden in a valid stream; clamping keeps corrupt data from zeroing all AC.
    const std::int32_t scale = std::clamp<std::int32_t>(quantiserScale, 1, 31);
    quant = MakeQuant(
        scale, intraMatrixNatural ? intraMatrixNatural : droskal::kDefaultIntraMatrix.data());
}

const std::int32_t* droskal::extlib::QuantWeights() {
    return quant.weight;
}

extern "C" void IZZQ(std::int16_t* block, const std::int16_t* coeffs) {
    std::fill(block, block + 64, std::int16_t{0});
    // Valid DC levels are 0..255; saturate so corrupt data cannot wrap.
    block[0] = static_cast<std::int16_t>(std::clamp(coeffs[0] * 8, -32768, 32767));
    for (int i = 1; i < 64; ++i) {
        const std::int32_t level = coeffs[i];
        if (level == 0) continue;
        // Integer division truncates toward zero, as the standard asks for negative levels;
        // odd-ification (mismatch control) and the 12-bit clamp live in DequantAc.
        block[droskal::kZigZag[i]] = droskal::extlib::DequantAc(level, quant.weight[i]);
    }
}
