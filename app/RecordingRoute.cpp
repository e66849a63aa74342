// The route of a recording for map view, by a walk with the window's own searches.
#include "app/RouteView.h"
#include "gps/RmcFields.h"
#include "stream/Searches.h"
#include "stream/StreamFile.h"

namespace droskal {

namespace {
struct QuietObserver final : StreamObserver {
    void SetPlayCounter(bool) override {}
    void ShowNmea() override {}
};
constexpr double kKmPerNauticalMile = 1.852;
constexpr std::int64_t kFormatBytes = 7;  // the size check's bytes; the first step starts behind them
}  // namespace

std::vector<render::RoutePoint> ScanRecordingRoute(const QString& path) {
    std::vector<render::RoutePoint> route;
    StreamFile file;
    std::string error;
    if (file.open(path.toStdString(), error) != OpenStatus::Ok) return route;
    file.setReadPosition(kFormatBytes);
    QuietObserver observer;
    std::int64_t picturePos = 0;
    std::string text;
    while (FindStartUp(file, picturePos, observer)) {
        render::RoutePoint point;
        point.picture = static_cast<std::int64_t>(route.size());
        point.position = picturePos;
        RmcSentence s;
        if (FindPicStart(file, text, observer) && ParseRmcFields(text, s) == RmcResult::Ok) {
            point.lat = s.latitude;
            point.lon = s.longitude;
            point.valid = s.validFix();
            point.speedKmh = s.hasSpeed ? s.speedKnots * kKmPerNauticalMile : 0;
            if (s.hasTime) point.time = s.hasDate ? s.secondsSince2000() : s.secondsOfDay;
        }
        route.push_back(point);
    }
    return route;
}

}  // namespace droskal
