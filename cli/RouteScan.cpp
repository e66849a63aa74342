#include "cli/RouteScan.h"

#include "cli/Input.h"
#include "recording/PictureIndex.h"
#include "render/IndexedRoute.h"

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
            for (const IndexedPicture& p : batch) route.unreadSentences += p.status == 0;
            const auto points = render::RouteOfPictures(batch, picture);
            picture += static_cast<std::int64_t>(points.size());
            route.points.insert(route.points.end(), points.begin(), points.end());
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
