#pragma once

#include <cmath>

namespace droskal {

// The window's geometry is kept in twips, as the layout gives it; this is the one place
// that turns twips into screen pixels and back.
inline constexpr double kTwipsPerPixel = 15.0;

inline int TwipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}
inline double PixelsToTwips(double pixels) {
    return pixels * kTwipsPerPixel;
}

}  // namespace droskal
