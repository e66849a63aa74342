// The route of the open recording or trip for map view, from the picture index: nothing is
// read again, and a route drawn while the index grows shows what has been found so far.
#include "app/Form1.h"
#include "app/RouteView.h"

namespace droskal {

std::vector<render::RoutePoint> RouteFromIndex(const PictureIndex& index) {
    const std::vector<IndexedPicture> pictures = index.snapshot();
    std::vector<render::RoutePoint> route;
    route.reserve(pictures.size());
    for (const IndexedPicture& p : pictures) {
        render::RoutePoint point;
        point.picture = static_cast<std::int64_t>(route.size());
        point.position = p.position;
        if (p.hasPosition) {
            point.lat = p.latitude;
            point.lon = p.longitude;
        }
        point.valid = p.status == 'A' && p.hasPosition;
        point.speedKmh = p.hasSpeed ? p.speedKmh : 0;
        if (p.hasTime) point.time = p.time;
        route.push_back(point);
    }
    return route;
}

}  // namespace droskal
