#include "tools/generators/DemoRoute.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "config/IniFile.h"
#include "tools/RecorderWriter.h"

namespace droskal {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Metres(MapPoint a, MapPoint b) {
    return std::hypot((b.x - a.x) * kMetresPerColumn, (b.y - a.y) * kMetresPerRow);
}

double WrapAngle(double a) {
    while (a > kPi) a -= 2 * kPi;
    while (a < -kPi) a += 2 * kPi;
    return a;
}

struct Waypoint {
    MapPoint p;
    double holdSeconds = 0.0;  // > 0: stop here
    double limit = 0.0;        // metres per second on the leg that starts here
};

constexpr double kLocalLimit = 40.0 / 3.6;
constexpr double kMainLimit = 56.0 / 3.6;
constexpr double kTurnSpeed = 16.0 / 3.6;
constexpr double kComfortBraking = 1.8;
constexpr double kHardestBraking = 3.0;
// The hard braking for the car pulling out: 6.5 m/s2, down to 20 km/h.
constexpr double kEmergencyBraking = 6.5;
constexpr double kEmergencySpeed = 20.0 / 3.6;

double Acceleration(double v) {
    return 2.0 - 0.08 * v;
}

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

DemoTrack::DemoTrack(std::vector<MapPoint> points) : points_(std::move(points)) {
    cumulative_.push_back(0.0);
    for (std::size_t i = 1; i < points_.size(); ++i)
        cumulative_.push_back(cumulative_.back() + Metres(points_[i - 1], points_[i]));
}

MapPoint DemoTrack::at(double s) const {
    s = std::clamp(s, 0.0, length());
    const auto it = std::upper_bound(cumulative_.begin(), cumulative_.end(), s);
    std::size_t i = static_cast<std::size_t>(it - cumulative_.begin());
    if (i >= points_.size()) return points_.back();
    if (i == 0) return points_.front();
    const double span = cumulative_[i] - cumulative_[i - 1];
    const double t = span > 0 ? (s - cumulative_[i - 1]) / span : 0.0;
    const MapPoint a = points_[i - 1], b = points_[i];
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

double DemoTrack::heading(double s, double half) const {
    MapPoint a = at(s - half), b = at(s + half);
    if (Metres(a, b) < 1e-6) {  // a track of one point
        a = points_.front();
        b = points_.back();
    }
    return std::atan2((b.x - a.x) * kMetresPerColumn, -(b.y - a.y) * kMetresPerRow);
}

MapPoint DemoTrack::beside(double s, double metres) const {
    const MapPoint p = at(s);
    const double h = heading(s, 1.0);
    // Right of a heading h (clockwise from north) points along h + 90 degrees.
    return {p.x + metres * std::cos(h) / kMetresPerColumn,
            p.y + metres * std::sin(h) / kMetresPerRow};
}

DemoDrive PlanDemoDrive(const DemoMapLayout& layout) {
    const double g = layout.gridSpacing;
    const auto at = [&](int i, int j) -> MapPoint {
        return {layout.centre.x + g * i, layout.centre.y + g * j};
    };
    // North up a side street to the avenue, east over the bridge, then through the blocks of
    // the east bank.
    const std::vector<Waypoint> plan = {
        {at(9, 1), 3.0, kLocalLimit},    {at(9, 0), 12.0, kMainLimit},  // red light onto the avenue
        {at(13, 0), 5.0, kLocalLimit},   {at(13, -4), 0.0, kLocalLimit},
        {at(17, -4), 3.0, kLocalLimit},  {at(17, -9), 0.0, kLocalLimit},
        {at(22, -9), 4.0, kLocalLimit},  {at(22, -14), 0.0, kLocalLimit},
        {at(26, -14), 0.0, kLocalLimit},
    };
    std::vector<MapPoint> points;
    for (const Waypoint& w : plan) points.push_back(w.p);
    DemoDrive drive{DemoTrack(points), {}};
    const DemoTrack& track = drive.track;

    // The speed each waypoint asks for when reached: 0 at a stop and at the end, walking
    // pace round a corner, nothing otherwise.
    std::vector<double> wanted(plan.size(), std::numeric_limits<double>::infinity());
    for (std::size_t k = 1; k < plan.size(); ++k) {
        if (plan[k].holdSeconds > 0 || k + 1 == plan.size()) {
            wanted[k] = 0.0;
            continue;
        }
        const double in = track.heading(track.lengthTo(k) - 1.0, 1.0);
        const double out = track.heading(track.lengthTo(k) + 1.0, 1.0);
        if (std::fabs(WrapAngle(out - in)) > kPi / 6) wanted[k] = kTurnSpeed;
        wanted[k] = std::min(wanted[k], plan[k].limit);
    }

    double s = 0.0, v = 0.0, hold = plan[0].holdSeconds;
    std::size_t next = 1;  // the first waypoint not yet passed
    bool emergency = false;
    for (int i = 0; i < kDemoPictures; ++i) {
        RouteState st;
        st.position = track.at(s);
        st.travelled = s;
        st.speed = v;
        double course = track.heading(s) * 180.0 / kPi;
        if (course < 0) course += 360.0;
        st.course = course;
        st.curvature = WrapAngle(track.heading(s + 2.5) - track.heading(s - 2.5)) / 5.0;
        st.fix = i < kDemoNoFixFirst || i >= kDemoNoFixEnd;
        drive.states.push_back(st);

        if (hold > 0) {
            hold -= kDemoPictureSeconds;
            continue;
        }
        while (next < plan.size() && s >= track.lengthTo(next)) ++next;
        if (next >= plan.size()) continue;  // parked at the end
        const std::size_t leg = next - 1;
        double allowed = plan[leg].limit;
        for (std::size_t k = next; k < plan.size(); ++k) {
            const double d = std::max(0.0, track.lengthTo(k) - s);
            const double w = wanted[k];
            if (std::isfinite(w))
                allowed = std::min(allowed, std::sqrt(w * w + 2 * kComfortBraking * d));
            if (w == 0.0) break;
        }
        if (i == kDemoHardBrakingPicture) emergency = v > kEmergencySpeed;
        if (emergency) {
            v = std::max(kEmergencySpeed, v - kEmergencyBraking * kDemoPictureSeconds);
            emergency = v > kEmergencySpeed;
        } else if (v < allowed)
            v = std::min(allowed, v + Acceleration(v) * kDemoPictureSeconds);
        else
            v = std::max(allowed, v - kHardestBraking * kDemoPictureSeconds);
        const double target = track.lengthTo(next);
        if (wanted[next] == 0.0 && s + v * kDemoPictureSeconds >= target) {
            s = target;
            v = 0.0;
            hold = plan[next].holdSeconds;
            ++next;
        } else {
            s += v * kDemoPictureSeconds;
        }
    }
    return drive;
}

std::vector<std::string> DemoSentences(const std::vector<RouteState>& states) {
    const MapCalibration cal = DefaultCalibration();
    const double start = 14 * 3600 + 5 * 60;  // 14:05:00
    std::vector<std::string> sentences;
    sentences.reserve(states.size());
    for (std::size_t i = 0; i < states.size(); ++i) {
        const RouteState& st = states[i];
        RmcFields f;
        f.time = FormatRmcTime(start + static_cast<double>(i) * kDemoPictureSeconds);
        f.status = st.fix ? "A" : "V";
        f.lat = FormatLatitude(static_cast<double>(cal.mapLat1) - st.position.y / cal.latScale);
        f.lon = FormatLongitude(static_cast<double>(cal.mapLon1) + st.position.x / cal.lonScale);
        f.speedKnots = Fixed(st.speed * 3.6 / 1.852, 2);
        f.course = Fixed(st.course, 1);
        f.date = "160924";
        sentences.push_back(BuildGprmc(f));
    }
    return sentences;
}

}  // namespace droskal
