#pragma once

#include <QPointF>

#include "config/IniFile.h"
#include "render/TileMath.h"

namespace droskal::render {

// How places become pixels of a drawn map ("world pixels"): either a calibrated picture at a
// scale (screen pixels per map pixel), or Web Mercator at a tile zoom level. The point, the
// route and clicks all go through the same projection.
struct Projection {
    enum class Kind { Calibrated, Mercator };
    Kind kind = Kind::Mercator;
    MapCalibration calibration;  // Calibrated
    double scale = 1.0;          // Calibrated
    int zoom = 0;                // Mercator

    static Projection Calibrated(const MapCalibration& calibration, double scale = 1.0);
    static Projection Mercator(int zoom);

    QPointF toWorld(double lat, double lon) const;
    LatLon toLatLon(QPointF world) const;
    // Map pixel of a calibrated picture (before the scale): the window's arithmetic, which
    // reads the recorder's fields without hemisphere, so a picture is calibrated in
    // unsigned degrees and a place is taken there by its absolute values.
    static QPointF CalibratedPixel(const MapCalibration& calibration, double lat, double lon);
};

}  // namespace droskal::render
