// Dequantisation for the whole-picture path: IZZQ's rule, tabled per level and scan position
// for the weights the library has in force, and the intra matrix pictures are decoded with.

#include <algorithm>

#include "decoder/Decoder.h"
#include "decoder/FastTables.h"
#include "extlib/IdctFast.h"
#include "extlib/Mpeg1Tables.h"

namespace droskal {

void FastTables::UpdateDequant() {
    const std::int32_t* const weight = extlib::QuantWeights();
    if (dequantValid && std::equal(weight, weight + 64, weights.begin())) return;
    std::copy(weight, weight + 64, weights.begin());
    for (int pos = 0; pos < 64; ++pos) {
        for (int level = 0; level < kTableLevels; ++level) {
            for (int negative = 0; negative < 2; ++negative) {
                const auto at = static_cast<std::size_t>(1 + (level * 2 + negative) * 64 + pos);
                dequant[at] = extlib::DequantAc(negative != 0 ? -level : level, weight[pos]);
            }
        }
    }
    dequantValid = true;
}

void Decoder::SetIntraMatrix(const std::uint8_t* naturalOrder) {
    if (naturalOrder) {
        std::copy(naturalOrder, naturalOrder + 64, intraMatrix_.begin());
    } else {
        intraMatrix_ = kDefaultIntraMatrix;
    }
}

}  // namespace droskal
