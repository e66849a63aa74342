#include "timeline/Units.h"

#include <cmath>
#include <cstdio>

namespace droskal {

namespace {
constexpr double kKmPerNauticalMile = 1.852;
constexpr double kKmPerMile = 1.609344;
}  // namespace

std::optional<SpeedUnit> ParseSpeedUnit(std::string_view text) {
    if (text == "km/h") return SpeedUnit::Kmh;
    if (text == "mph") return SpeedUnit::Mph;
    if (text == "kn") return SpeedUnit::Knots;
    return std::nullopt;
}

const char* SpeedUnitName(SpeedUnit unit) {
    switch (unit) {
        case SpeedUnit::Kmh:
            return "km/h";
        case SpeedUnit::Mph:
            return "mph";
        case SpeedUnit::Knots:
            return "kn";
    }
    return "km/h";
}

double SpeedFromKmh(double kmh, SpeedUnit unit) {
    switch (unit) {
        case SpeedUnit::Kmh:
            return kmh;
        case SpeedUnit::Mph:
            return kmh / kKmPerMile;
        case SpeedUnit::Knots:
            return kmh / kKmPerNauticalMile;
    }
    return kmh;
}

double SpeedFromKnots(double knots, SpeedUnit unit) {
    return unit == SpeedUnit::Knots ? knots : SpeedFromKmh(knots * kKmPerNauticalMile, unit);
}

std::string SpeedText(double knots, SpeedUnit unit) {
    double value = std::floor(SpeedFromKnots(knots, unit) + 0.5);
    if (!std::isfinite(value)) value = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%.0f %s", value, SpeedUnitName(unit));
    return text;
}

}  // namespace droskal
