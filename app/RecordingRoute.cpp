// The route of the open recording or trip for map view, from the picture index: nothing is
// read again, and a route drawn while the index grows shows what has been found so far.
#include "app/RouteView.h"
#include "recording/PictureIndex.h"
#include "render/IndexedRoute.h"

namespace droskal {

std::vector<render::RoutePoint> RouteFromIndex(const PictureIndex& index) {
    return render::RouteOfPictures(index.snapshot());
}

}  // namespace droskal
