#include "render/IndexedRoute.h"

namespace droskal::render {

std::vector<RoutePoint> RouteOfPictures(const std::vector<IndexedPicture>& pictures,
                                        std::int64_t firstPicture) {
    std::vector<RoutePoint> route;
    route.reserve(pictures.size());
    for (const IndexedPicture& p : pictures) {
        RoutePoint point;
        point.picture = firstPicture++;
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

}  // namespace droskal::render
