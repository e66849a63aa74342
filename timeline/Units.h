#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace droskal {

enum class SpeedUnit { Kmh, Mph, Knots };

// "km/h", "mph" or "kn" (the settings' and the command line's spelling).
std::optional<SpeedUnit> ParseSpeedUnit(std::string_view text);
const char* SpeedUnitName(SpeedUnit unit);
double SpeedFromKmh(double kmh, SpeedUnit unit);
double SpeedFromKnots(double knots, SpeedUnit unit);
// A whole number, half up, then the unit: "54 mph". Never scientific notation.
std::string SpeedText(double knots, SpeedUnit unit);

}  // namespace droskal
