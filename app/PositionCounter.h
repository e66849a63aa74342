#pragma once

#include <cstdint>
#include <string>

namespace droskal {

// What the position display shows for a read position: the width of the played part of
// the bar (twips) and the percentage caption. Kept free of Qt so the float steps are
// tested exactly.
struct CounterFigures {
    float playWidth = 0;
    std::string caption;
};

CounterFigures CounterAt(std::int64_t readPos, std::int64_t fileLength, float barWidth);

// Left of lblPlay so that its middle stands over the bar's right end.
inline float CounterLabelLeft(float playLeft, float playWidth, float labelWidth) {
    return playLeft + playWidth - labelWidth * 0.5f;
}

}  // namespace droskal
