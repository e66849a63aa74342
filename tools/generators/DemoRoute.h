#pragma once

#include <string>
#include <vector>

#include "tools/generators/DemoMap.h"

namespace droskal {

// The demo drive: 90 seconds at 10 pictures a second.
inline constexpr int kDemoPictures = 900;
inline constexpr double kDemoPictureSeconds = 0.1;
// The fix is lost for these pictures (status V), as under a viaduct.
inline constexpr int kDemoNoFixFirst = 530;
inline constexpr int kDemoNoFixEnd = 580;
// A car pulls out ahead on the avenue: the driver brakes hard from this picture on.
inline constexpr int kDemoHardBrakingPicture = 680;

// Ground size of a map pixel near 52.2 N with the default calibration.
inline constexpr double kMetresPerColumn = 9.312;
inline constexpr double kMetresPerRow = 10.444;

// A polyline on the map, measured in metres along its length.
class DemoTrack {
  public:
    explicit DemoTrack(std::vector<MapPoint> points);

    double length() const { return cumulative_.back(); }
    double lengthTo(std::size_t vertex) const { return cumulative_[vertex]; }
    const std::vector<MapPoint>& points() const { return points_; }

    MapPoint at(double s) const;  // clamped to the ends
    // Heading in radians, clockwise from north, of the chord from s - half to s + half;
    // the chord rounds the corners off the way a car takes them.
    double heading(double s, double half = 5.0) const;
    // The point `metres` to the right of the track at s (negative: to the left).
    MapPoint beside(double s, double metres) const;

  private:
    std::vector<MapPoint> points_;
    std::vector<double> cumulative_;
};

struct RouteState {
    MapPoint position;
    double travelled = 0.0;  // metres along the track
    double speed = 0.0;      // metres per second
    double course = 0.0;     // degrees clockwise from north
    double curvature = 0.0;  // radians per metre, positive turning right
    bool fix = true;
};

struct DemoDrive {
    DemoTrack track;
    std::vector<RouteState> states;  // one per picture
};

// Follows the demo map's streets from the west bank over the river bridge into the east
// side, stopping at junctions, speeding up and braking at a driver's pace.
DemoDrive PlanDemoDrive(const DemoMapLayout& layout);

// The $GPRMC sentence the recorder writes with each picture of the drive.
std::vector<std::string> DemoSentences(const std::vector<RouteState>& states);

}  // namespace droskal
