#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

#include <cstdint>
#include <optional>
#include <vector>

#include "render/Projection.h"
#include "timeline/Units.h"

namespace droskal::render {

// One picture's fix, in trip order. The route is plain data, so whatever lists the pictures
// (a walk of the file, the picture index) can hand it over.
struct RoutePoint {
    double lat = 0;  // degrees, south negative
    double lon = 0;  // degrees, west negative
    double speedKmh = 0;
    bool valid = false;         // status A with a position
    double time = -1;           // seconds (any fixed origin); negative when unknown
    std::int64_t picture = 0;   // picture number in the trip
    std::int64_t position = 0;  // where the picture lies (the last byte of its start code)
};

// Index ranges [first, last] of the stretches drawn as one line: valid fixes in order, broken
// where a fix is missing or the time jumps by more than `maxGapSeconds`.
struct RouteStretch {
    std::size_t first = 0;
    std::size_t last = 0;
};
inline constexpr double kRouteMaxGapSeconds = 2.0;
std::vector<RouteStretch> RouteStretches(const std::vector<RoutePoint>& route,
                                         double maxGapSeconds = kRouteMaxGapSeconds);

// Speed bands of the legend, slowest first: upper limits in km/h, the last open-ended.
struct SpeedBand {
    double below = 0;  // km/h; the last band has no limit
    QColor colour;
};
const std::vector<SpeedBand>& SpeedBands();
QColor SpeedColour(double kmh);

struct RouteStyle {
    std::optional<QColor> colour;  // one colour instead of the speed bands
    double width = 4.0;
};

// Draws the route over a view (world pixels of `projection`, the view's top-left corner at the
// painter's origin).
void DrawRoute(QPainter& painter, const std::vector<RoutePoint>& route,
               const Projection& projection, const QRectF& view, const RouteStyle& style = {});
// The bands' labels in `unit`, limits rounded to whole numbers: "< 20", "20-40", ... "100+".
std::vector<QString> SpeedBandLabels(SpeedUnit unit);
// The speed legend in the bottom-left corner of `area`, in `unit`.
void DrawSpeedLegend(QPainter& painter, const QRectF& area, SpeedUnit unit = SpeedUnit::Kmh);
// A small text in the bottom-right corner (map licences).
void DrawAttribution(QPainter& painter, const QRectF& area, const QString& text);

// The valid fix nearest to `world` within `radius` world pixels. Where the route passes there
// several times, the pass nearest in time to `currentPicture` wins: each pass offers its own
// nearest fix, and the one whose picture number is closest to the current picture is taken.
std::optional<std::size_t> NearestFix(const std::vector<RoutePoint>& route,
                                      const Projection& projection, QPointF world, double radius,
                                      std::int64_t currentPicture);

// Bounding box of the valid fixes in `projection`'s world pixels; empty when there are none.
QRectF RouteBounds(const std::vector<RoutePoint>& route, const Projection& projection);

}  // namespace droskal::render
