#pragma once

#include <cstdint>
#include <vector>

#include "recording/PictureIndex.h"
#include "render/Route.h"

namespace droskal::render {

// The route of indexed pictures, one point per picture, numbered on from `firstPicture`.
std::vector<RoutePoint> RouteOfPictures(const std::vector<IndexedPicture>& pictures,
                                        std::int64_t firstPicture = 0);

}  // namespace droskal::render
