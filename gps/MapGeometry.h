#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/IniFile.h"

namespace droskal {

// The map picture is taken as 4096 x 4096 pixels whatever its real size; the window onto it
// is the 640 x 480 picture area.
inline constexpr std::int32_t kMapSize = 4096;
inline constexpr std::int32_t kMapViewWidth = 640;
inline constexpr std::int32_t kMapViewHeight = 480;
inline constexpr std::int16_t kMaxMapOriginX = kMapSize - kMapViewWidth;   // 3456
inline constexpr std::int16_t kMaxMapOriginY = kMapSize - kMapViewHeight;  // 3616

// Top-left corner of the map window, in map pixels.
struct MapOrigin {
    std::int16_t mapOriginX = 0;
    std::int16_t mapOriginY = 0;
    bool operator==(const MapOrigin&) const = default;
};

// What the window does with one map position.
struct MapPlacement {
    bool onMap = false;          // false: hide Pic1 and show the coordinate labels
    MapOrigin origin;            // origin in force afterwards (unchanged when off the map)
    bool redraw = false;         // origin moved: draw the 640 x 480 part of the map at `origin`
    std::int32_t pointLeft = 0;  // shPoint's left and top in Pic1 pixels; on the map only
    std::int32_t pointTop = 0;
};

struct MapPosition {
    double lat = 0.0;  // degrees
    double lon = 0.0;
    std::int32_t x = 0;  // map column and row
    std::int32_t y = 0;
    MapPlacement placement;
};

// Degrees from the recorder's fields: "ddmm.mmmm" -> dd + mm.mmmm / 60, "dddmm.mmmm" ->
// ddd + mm.mmmm / 60. Both parts are read by the Droskal.ini number rule, so anything
// unreadable counts as 0 and an empty field gives 0 degrees.
double NmeaLatitude(std::string_view gpsLat);
double NmeaLongitude(std::string_view gpsLon);

// Rounds to the nearest integer, halves to the even neighbour. Values beyond 32 bits (and NaN)
// saturate instead of failing; every such value lies off the map anyway.
std::int32_t RoundToMapPixel(double value);

// Where map pixel (x, y) lies in the window that starts at `oldOrigin`. The window only moves
// when the point leaves the band 160..480 across or 120..360 down; it then recentres on the
// point along that axis, clamped to the map. Every test is made against the old origin.
MapPlacement PlaceOnMap(std::int32_t x, std::int32_t y, bool mapLoaded, MapOrigin oldOrigin);

// ShowPos's arithmetic: degrees from the fields, map pixels from the calibration, then the
// placement. Products are formed in double from the float calibration values, so a
// calibration read from Droskal.ini places a point exactly as the defaults do.
MapPosition LocateOnMap(std::string_view gpsLat, std::string_view gpsLon,
                        const MapCalibration& calibration, bool mapLoaded, MapOrigin oldOrigin);

// "##0.00000": at least one integer digit, five decimals, no grouping, a leading minus for
// negative values. The separator is the user's (locale) decimal separator, UTF-8.
std::string FormatMapDegrees(double degrees, std::string_view decimalSeparator);

// "Lat: 52.20576°" and "Lon: 21.02058°" (UTF-8 degree sign) for the labels beneath Pic1.
std::string MapLatLabel(double lat, std::string_view decimalSeparator);
std::string MapLonLabel(double lon, std::string_view decimalSeparator);

struct PointColour {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const PointColour&) const = default;
};

// shPoint is red for a valid fix, blue otherwise.
PointColour MapPointColour(bool gpsValid);

}  // namespace droskal
