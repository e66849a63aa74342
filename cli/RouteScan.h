#pragma once

#include <string>
#include <vector>

#include "render/Route.h"

namespace droskal::cli {

// The route of a recording, or of every recording of a folder in trip order as one stream:
// one point per picture, valid or not, from the picture index (nothing decoded). Picture
// numbers run on across the files. False with a message when nothing can be opened.
struct ScannedRoute {
    std::vector<render::RoutePoint> points;
    std::int64_t unreadSentences = 0;
    bool stoppedEarly = false;
};
bool ScanRoute(const std::string& recordingOrFolder, ScannedRoute& route, std::string& error);

}  // namespace droskal::cli
