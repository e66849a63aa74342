#include "gps/MapGeometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "gps/LeadingNumber.h"

namespace droskal {

namespace {

// Degrees from the first `degreeDigits` characters plus minutes from the rest.
double DegreesMinutes(std::string_view field, std::size_t degreeDigits) {
    const std::string_view degrees = field.substr(0, std::min(degreeDigits, field.size()));
    const std::string_view minutes =
        field.size() > degreeDigits ? field.substr(degreeDigits) : std::string_view{};
    return LeadingNumber(degrees) + LeadingNumber(minutes) / 60.0;
}

std::string Label(std::string_view prefix, double degrees, std::string_view decimalSeparator) {
    std::string text(prefix);
    text += FormatMapDegrees(degrees, decimalSeparator);
    text += "\xC2\xB0";
    return text;
}

}  // namespace

double NmeaLatitude(std::string_view gpsLat) {
    return DegreesMinutes(gpsLat, 2);
}
double NmeaLongitude(std::string_view gpsLon) {
    return DegreesMinutes(gpsLon, 3);
}

std::int32_t RoundToMapPixel(double value) {
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(value)) return std::numeric_limits<std::int32_t>::min();
    // nearbyint follows the current rounding mode, which nothing here changes from
    // round-to-nearest-even.
    const double rounded = std::nearbyint(value);
    if (rounded <= lowest) return std::numeric_limits<std::int32_t>::min();
    if (rounded >= highest) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(rounded);
}

MapPlacement PlaceOnMap(std::int32_t x, std::int32_t y, bool mapLoaded, MapOrigin oldOrigin) {
    MapPlacement place;
    place.origin = oldOrigin;
    if (!mapLoaded || x < 0 || y < 0 || x > kMapSize - 1 || y > kMapSize - 1) return place;
    place.onMap = true;

    const std::int32_t oldX = oldOrigin.mapOriginX;
    const std::int32_t oldY = oldOrigin.mapOriginY;
    std::int32_t nx = oldX;
    std::int32_t ny = oldY;
    if (x - oldX < 160) nx = x - 320;
    if (y - oldY < 120) ny = y - 240;
    nx = std::max(nx, 0);
    ny = std::max(ny, 0);
    // The far edge is tested against the old origin too, not against the nx just moved.
    if (x - oldX > 480) nx = x - 320;
    if (y - oldY > 360) ny = y - 240;
    nx = std::min<std::int32_t>(nx, kMaxMapOriginX);
    ny = std::min<std::int32_t>(ny, kMaxMapOriginY);

    place.origin = {static_cast<std::int16_t>(nx), static_cast<std::int16_t>(ny)};
    place.redraw = place.origin != oldOrigin;
    place.pointLeft = x - nx - 6;
    place.pointTop = y - ny - 6;
    return place;
}

MapPosition LocateOnMap(std::string_view gpsLat, std::string_view gpsLon,
                        const MapCalibration& calibration, bool mapLoaded, MapOrigin oldOrigin) {
    MapPosition pos;
    pos.lat = NmeaLatitude(gpsLat);
    pos.lon = NmeaLongitude(gpsLon);
    pos.y = RoundToMapPixel((static_cast<double>(calibration.mapLat1) - pos.lat) *
                            static_cast<double>(calibration.latScale));
    pos.x = RoundToMapPixel((pos.lon - static_cast<double>(calibration.mapLon1)) *
                            static_cast<double>(calibration.lonScale));
    pos.placement = PlaceOnMap(pos.x, pos.y, mapLoaded, oldOrigin);
    return pos;
}

std::string FormatMapDegrees(double degrees, std::string_view decimalSeparator) {
    // to_chars, not printf: the window runs under the user's C locale, whose separator must
    // not sneak in twice.
    char digits[400];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, degrees, std::chars_format::fixed, 5);
    std::string text(digits, result.ec == std::errc{} ? result.ptr : digits);
    const std::size_t point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, decimalSeparator);
    return text;
}

std::string MapLatLabel(double lat, std::string_view decimalSeparator) {
    return Label("Lat: ", lat, decimalSeparator);
}

std::string MapLonLabel(double lon, std::string_view decimalSeparator) {
    return Label("Lon: ", lon, decimalSeparator);
}

PointColour MapPointColour(bool gpsValid) {
    return gpsValid ? PointColour{255, 0, 0} : PointColour{0, 0, 255};
}

}  // namespace droskal
