#include "render/TileMath.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace droskal::render {

double WorldSize(int zoom) {
    return std::ldexp(static_cast<double>(kTileSize), zoom);
}

WorldPixel MercatorPixel(double lat, double lon, int zoom) {
    const double clamped = std::clamp(lat, -kMaxMercatorLatitude, kMaxMercatorLatitude);
    const double phi = clamped * std::numbers::pi / 180.0;
    const double size = WorldSize(zoom);
    return {(lon + 180.0) / 360.0 * size,
            (1.0 - std::log(std::tan(phi) + 1.0 / std::cos(phi)) / std::numbers::pi) / 2.0 * size};
}

LatLon MercatorLatLon(WorldPixel pixel, int zoom) {
    const double size = WorldSize(zoom);
    const double n = std::numbers::pi * (1.0 - 2.0 * pixel.y / size);
    return {std::atan(std::sinh(n)) * 180.0 / std::numbers::pi, pixel.x / size * 360.0 - 180.0};
}

std::int64_t WrapTileX(std::int64_t x, int zoom) {
    const std::int64_t count = std::int64_t{1} << zoom;
    return ((x % count) + count) % count;
}

TileId TileAt(double lat, double lon, int zoom) {
    const WorldPixel p = MercatorPixel(lat, lon, zoom);
    const std::int64_t last = (std::int64_t{1} << zoom) - 1;
    const auto x = static_cast<std::int64_t>(std::floor(p.x / kTileSize));
    const auto y = static_cast<std::int64_t>(std::floor(p.y / kTileSize));
    return {zoom, WrapTileX(x, zoom), std::clamp<std::int64_t>(y, 0, last)};
}

double MercatorMetresX(double pixelX, int zoom) {
    return (pixelX / WorldSize(zoom) - 0.5) * 2.0 * std::numbers::pi * kEarthRadiusMetres;
}

double MercatorMetresY(double pixelY, int zoom) {
    return (0.5 - pixelY / WorldSize(zoom)) * 2.0 * std::numbers::pi * kEarthRadiusMetres;
}

std::int64_t TmsRow(std::int64_t y, int zoom) {
    return (std::int64_t{1} << zoom) - 1 - y;
}

}  // namespace droskal::render
