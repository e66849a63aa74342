#include "app/PositionCounter.h"

#include <cmath>

namespace droskal {

CounterFigures CounterAt(std::int64_t readPos, std::int64_t fileLength, float barWidth) {
    CounterFigures figures;
    if (fileLength <= 0) {
        figures.caption = "0%";
        return figures;
    }
    const double pos = static_cast<double>(readPos);
    const double length = static_cast<double>(fileLength);
    figures.playWidth = static_cast<float>(pos / length * barWidth);
    // Single-precision steps: the 0.5 keeps small files below 100% at their last byte,
    // while for long files it is lost in the rounding and the end reads 100%.
    const float a = static_cast<float>(pos * 100.0);
    const float b = static_cast<float>(length + 0.5);
    const float q = a / b;
    figures.caption = std::to_string(static_cast<long long>(std::floor(q))) + "%";
    return figures;
}

}  // namespace droskal
