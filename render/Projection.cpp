#include "render/Projection.h"

#include <cmath>

namespace droskal::render {

Projection Projection::Calibrated(const MapCalibration& calibration, double scale) {
    Projection p;
    p.kind = Kind::Calibrated;
    p.calibration = calibration;
    p.scale = scale;
    return p;
}

Projection Projection::Mercator(int zoom) {
    Projection p;
    p.kind = Kind::Mercator;
    p.zoom = zoom;
    return p;
}

QPointF Projection::CalibratedPixel(const MapCalibration& c, double lat, double lon) {
    return {(std::fabs(lon) - static_cast<double>(c.mapLon1)) * static_cast<double>(c.lonScale),
            (static_cast<double>(c.mapLat1) - std::fabs(lat)) * static_cast<double>(c.latScale)};
}

QPointF Projection::toWorld(double lat, double lon) const {
    if (kind == Kind::Calibrated) return CalibratedPixel(calibration, lat, lon) * scale;
    const WorldPixel p = MercatorPixel(lat, lon, zoom);
    return {p.x, p.y};
}

LatLon Projection::toLatLon(QPointF world) const {
    if (kind == Kind::Calibrated) {
        const QPointF map = world / scale;
        return {static_cast<double>(calibration.mapLat1) -
                    map.y() / static_cast<double>(calibration.latScale),
                static_cast<double>(calibration.mapLon1) +
                    map.x() / static_cast<double>(calibration.lonScale)};
    }
    return MercatorLatLon({world.x(), world.y()}, zoom);
}

}  // namespace droskal::render
