#include "cli/RouteScan.h"

#include <algorithm>
#include <filesystem>

#include "cli/Geo.h"
#include "cli/Walker.h"
#include "gps/RmcFields.h"

namespace droskal::cli {

namespace {

std::vector<std::string> TripFiles(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(path, ec)) return {path};
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(path, ec)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (ext == ".m1v" && entry.is_regular_file(ec)) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

bool ScanRoute(const std::string& recordingOrFolder, ScannedRoute& route, std::string& error) {
    const std::vector<std::string> files = TripFiles(recordingOrFolder);
    if (files.empty()) {
        error = recordingOrFolder + ": no .m1v recordings in this folder";
        return false;
    }
    std::int64_t picture = 0;
    std::int64_t offset = 0;
    for (const std::string& file : files) {
        Walker walker;
        if (!walker.open(file, error)) return false;
        WalkedPicture pic;
        while (walker.next(pic, Decode::None)) {
            render::RoutePoint point;
            point.picture = picture++;
            point.position = offset + pic.picturePos;
            RmcSentence s;
            if (!pic.sentenceRead) {
                ++route.unreadSentences;
            } else if (ParseRmcFields(*pic.nmeaText, s) == RmcResult::Ok) {
                point.lat = s.latitude;
                point.lon = s.longitude;
                point.valid = s.validFix();
                point.speedKmh = s.hasSpeed ? s.speedKnots * kKmPerNauticalMile : 0;
                if (s.hasTime) point.time = s.hasDate ? s.secondsSince2000() : s.secondsOfDay;
            }
            route.points.push_back(point);
        }
        route.stoppedEarly = route.stoppedEarly || walker.stoppedEarly();
        offset += walker.length();
    }
    return true;
}

}  // namespace droskal::cli
