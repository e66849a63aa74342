#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "library/LibraryDb.h"

namespace droskal {

struct LatLon {
    double latitude = 0;
    double longitude = 0;
};

// One drive of the index with the figures a listing shows.
struct LibraryTrip {
    std::vector<std::string> files;
    std::uint8_t picFormat = 0;
    std::int64_t pictures = 0;
    std::int64_t validFixes = 0;
    std::optional<double> start;  // seconds since 2000 UTC: first and last sentence with a time
    std::optional<double> end;
    double distanceKm = 0;  // between successive valid fixes
    std::optional<double> topSpeedKmh;
    std::optional<double> averageSpeedKmh;
    // The route: a new piece wherever the fix is lost or the time jumps more than 2 s.
    std::vector<std::vector<LatLon>> route;
    std::vector<double> routeTimes;  // the time of every route point in order (NaN without one)
    // Filled by a --near filter: the time (or its absence) and distance of the closest fix.
    std::optional<double> closestTime;
    std::optional<double> closestMetres;
};

// The usable recordings (no problem) grouped into trips by the trips rule (time order,
// a new trip at a format change or a gap above `gapSeconds`), with their figures.
std::vector<LibraryTrip> LibraryTrips(const std::vector<LibraryRecording>& recordings,
                                      double gapSeconds);

struct TripFilter {
    std::optional<double> since;  // seconds since 2000 UTC: the trip must end at or after
    std::optional<double> until;  // and start at or before
    struct Near {
        LatLon point;
        double metres = 0;
    };
    std::optional<Near> near;  // a valid fix within `metres` of the point
    struct Box {
        double south = 0, west = 0, north = 0, east = 0;  // west > east crosses the 180th meridian
    };
    std::optional<Box> box;             // a valid fix inside
    std::optional<double> minSpeedKmh;  // top speed at least
};

// True when the trip passes every filter given; a near filter fills closestTime/Metres.
bool TripMatches(LibraryTrip& trip, const TripFilter& filter);

}  // namespace droskal
