#pragma once

#include <string>
#include <vector>

#include "render/Route.h"

namespace droskal::cli {

// The route of a recording, or of every .m1v file of a folder in name order as one trip:
// one point per picture, valid or not, from a walk with the window's searches. Picture
// numbers run on across the files. False with a message when nothing can be opened.
struct ScannedRoute {
    std::vector<render::RoutePoint> points;
    std::int64_t unreadSentences = 0;
    bool stoppedEarly = false;
};
bool ScanRoute(const std::string& recordingOrFolder, ScannedRoute& route, std::string& error);

}  // namespace droskal::cli
