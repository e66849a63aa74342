#pragma once

#include <cstdint>

namespace droskal::render {

// Web Mercator as the tile servers use it: at zoom z the world is 256 * 2^z pixels square,
// x to the east from 180 W, y to the south from 85.0511 N; tile (x, y) covers pixels
// 256x .. 256x + 255 across and 256y .. 256y + 255 down.
inline constexpr int kTileSize = 256;
inline constexpr int kMaxTileZoom = 22;
inline constexpr double kMaxMercatorLatitude = 85.0511287798066;
inline constexpr double kEarthRadiusMetres = 6378137.0;  // EPSG:3857 sphere

struct WorldPixel {
    double x = 0;
    double y = 0;
};

struct LatLon {
    double lat = 0;
    double lon = 0;
};

struct TileId {
    int z = 0;
    std::int64_t x = 0;
    std::int64_t y = 0;
    bool operator==(const TileId&) const = default;
};

double WorldSize(int zoom);  // pixels across the world at `zoom`
// Latitudes beyond the Mercator limit are clamped to it.
WorldPixel MercatorPixel(double lat, double lon, int zoom);
LatLon MercatorLatLon(WorldPixel pixel, int zoom);
// The tile holding a place; longitudes wrap around the date line.
TileId TileAt(double lat, double lon, int zoom);
// The tile column brought into 0 .. 2^z - 1 (views that cross the date line).
std::int64_t WrapTileX(std::int64_t x, int zoom);
// EPSG:3857 metres of a world pixel at `zoom` (easting, northing).
double MercatorMetresX(double pixelX, int zoom);
double MercatorMetresY(double pixelY, int zoom);
// MBTiles number rows from the south (TMS): row = 2^z - 1 - y.
std::int64_t TmsRow(std::int64_t y, int zoom);

}  // namespace droskal::render
