#pragma once

#include <cstdint>
#include <vector>

#include "tools/generators/IndexedImage.h"

namespace droskal {

// The demo map: a made-up city on the default calibration's 4096 x 4096 pixels
// (52.41674 N at row 0, 10653 rows a degree; 20.79139 E at column 0, 7327 columns a degree),
// so one pixel is about 10 m.

struct MapPoint {
    double x = 0.0;  // map column
    double y = 0.0;  // map row
};

enum class StreetKind : std::uint8_t { Local, Main };

struct Street {
    StreetKind kind = StreetKind::Local;
    double width = 2.0;  // pixels
    std::vector<MapPoint> points;
};

// Palette indices; the demo recording reads them back to know what lines the road.
enum MapColour : std::uint8_t {
    kMapLand,
    kMapYard,
    kMapBuilding,
    kMapPark,
    kMapForest,
    kMapWater,
    kMapStreet,
    kMapStreetCasing,
    kMapMainRoad,
    kMapMainCasing,
    kMapGridLine,
    kMapLabelText,
    kMapLabelBack,
    kMapColourCount
};

struct Ellipse {
    MapPoint centre;
    double rx = 0.0, ry = 0.0;
    bool contains(double x, double y) const {
        const double dx = (x - centre.x) / rx, dy = (y - centre.y) / ry;
        return dx * dx + dy * dy <= 1.0;
    }
};

struct DemoMapLayout {
    MapPoint centre;           // the city centre
    double cityRadius = 0.0;   // built-up area
    double gridSpacing = 0.0;  // local streets every this many pixels, aligned on the centre
    std::vector<Ellipse> parks;
    std::vector<Ellipse> forests;
    std::vector<Street> streets;  // cut where they would run through water or parks

    // The river runs roughly north-south: its centre column at a row, and its width there.
    double riverX(double y) const;
    double riverWidth(double y) const;
    bool inWater(double x, double y, double margin = 0.0) const;
};

DemoMapLayout MakeDemoMapLayout();

// 4096 x 4096, palette indexed by MapColour: land, blocks, parks, river and streets.
IndexedImage RenderDemoMap(const DemoMapLayout& layout);

// The same with the dotted 0.01 degree lines and their labels on top, as map.gif shows it.
// Kept apart so the demo recording can read the ground beneath them.
IndexedImage AddDegreeGrid(IndexedImage map);

// Distance from a point to the nearest street's centre line, and that street's width.
struct StreetDistance {
    double distance = 1e300;
    double width = 0.0;
};
StreetDistance NearestStreet(const DemoMapLayout& layout, MapPoint p);

}  // namespace droskal
