#include "cli/RouteScan.h"

#include "cli/Input.h"
#include "recording/PictureIndex.h"

namespace droskal::cli {

bool ScanRoute(const std::string& recordingOrFolder, ScannedRoute& route, std::string& error) {
    std::vector<std::string> files;
    if (!InputFiles(recordingOrFolder, ParsedArgs{}, files, error)) return false;
    std::int64_t picture = 0;
    const std::atomic<bool> cancelled{false};
    std::optional<ReadFailure> failure;
    const bool complete = PictureIndex::Scan(
        files,
        [&](std::vector<IndexedPicture>& batch) {
            for (const IndexedPicture& p : batch) {
                render::RoutePoint point;
                point.picture = picture++;
                point.position = p.position;
                if (p.status == 0) ++route.unreadSentences;
                if (p.hasPosition) {
                    point.lat = p.latitude;
                    point.lon = p.longitude;
                }
                point.valid = p.status == 'A' && p.hasPosition;
                point.speedKmh = p.hasSpeed ? p.speedKmh : 0;
                if (p.hasTime) point.time = p.time;
                route.points.push_back(point);
            }
        },
        {}, cancelled, failure);
    route.stoppedEarly = !complete;
    if (route.points.empty() && failure) {
        error = recordingOrFolder + ": cannot be read";
        return false;
    }
    return true;
}

}  // namespace droskal::cli
