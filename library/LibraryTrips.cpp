#include "library/LibraryTrips.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "gps/GreatCircle.h"
#include "recording/Trips.h"

namespace droskal {

namespace {

// As the track of one recording: more than this between two fixes starts a new piece.
constexpr double kMaxGapSeconds = 2.0;

RecordingSummary Summary(const LibraryRecording& r) {
    RecordingSummary s;
    s.path = r.path;
    s.length = r.size;
    s.picFormat = r.picFormat;
    for (const LibraryFix& f : r.fixes) {
        if (!f.valid || !f.time) continue;
        if (!s.firstTime) s.firstTime = f.time;
        s.lastTime = f.time;
    }
    return s;
}

void AddRecording(LibraryTrip& trip, const LibraryRecording& r, bool& fixLost,
                  std::optional<double>& lastFixTime) {
    trip.files.push_back(r.path);
    trip.picFormat = r.picFormat;
    trip.pictures += r.pictures;
    std::int64_t expected = 0;  // the picture after the last one with a sentence
    for (const LibraryFix& f : r.fixes) {
        if (f.picture != expected) fixLost = true;  // pictures without a sentence between
        expected = f.picture + 1;
        if (f.time) {
            if (!trip.start) trip.start = f.time;
            trip.end = f.time;
        }
        if (!f.valid) {
            fixLost = true;
            continue;
        }
        if (!fixLost && lastFixTime && f.time && std::fabs(*f.time - *lastFixTime) > kMaxGapSeconds)
            fixLost = true;
        if (!trip.route.empty() && !trip.route.back().empty()) {
            const LatLon& prev = trip.route.back().back();
            trip.distanceKm += HaversineKm(prev.latitude, prev.longitude, f.latitude, f.longitude);
        }
        if (fixLost || trip.route.empty()) trip.route.emplace_back();
        trip.route.back().push_back({f.latitude, f.longitude});
        trip.routeTimes.push_back(f.time ? *f.time : std::numeric_limits<double>::quiet_NaN());
        fixLost = false;
        if (f.time) lastFixTime = f.time;
        ++trip.validFixes;
        if (f.speedKmh) trip.topSpeedKmh = std::max(trip.topSpeedKmh.value_or(0.0), *f.speedKmh);
    }
}

}  // namespace

std::vector<LibraryTrip> LibraryTrips(const std::vector<LibraryRecording>& recordings,
                                      double gapSeconds) {
    std::map<std::string, const LibraryRecording*> byPath;
    std::vector<RecordingSummary> summaries;
    for (const LibraryRecording& r : recordings) {
        if (!r.problem.empty()) continue;
        byPath[r.path] = &r;
        summaries.push_back(Summary(r));
    }
    std::vector<LibraryTrip> out;
    for (const Trip& trip : GroupTrips(std::move(summaries), gapSeconds)) {
        LibraryTrip t;
        bool fixLost = true;
        std::optional<double> lastFixTime;
        double speedSum = 0;
        std::int64_t speedCount = 0;
        for (const RecordingSummary& s : trip.files) {
            const LibraryRecording& r = *byPath.at(s.path);
            AddRecording(t, r, fixLost, lastFixTime);
            for (const LibraryFix& f : r.fixes) {
                if (f.valid && f.speedKmh) {
                    speedSum += *f.speedKmh;
                    ++speedCount;
                }
            }
        }
        if (speedCount > 0) t.averageSpeedKmh = speedSum / static_cast<double>(speedCount);
        out.push_back(std::move(t));
    }
    return out;
}

bool TripMatches(LibraryTrip& trip, const TripFilter& filter) {
    if (filter.since && (!trip.end || *trip.end < *filter.since)) return false;
    if (filter.until && (!trip.start || *trip.start > *filter.until)) return false;
    if (filter.minSpeedKmh && (!trip.topSpeedKmh || *trip.topSpeedKmh < *filter.minSpeedKmh))
        return false;
    if (filter.box) {
        const TripFilter::Box& b = *filter.box;
        bool inside = false;
        for (const auto& piece : trip.route) {
            for (const LatLon& p : piece) {
                const bool lonIn = b.west <= b.east
                                       ? p.longitude >= b.west && p.longitude <= b.east
                                       : p.longitude >= b.west || p.longitude <= b.east;
                if (p.latitude >= b.south && p.latitude <= b.north && lonIn) inside = true;
            }
        }
        if (!inside) return false;
    }
    if (filter.near) {
        double best = std::numeric_limits<double>::infinity();
        std::size_t bestIndex = 0, index = 0;
        for (const auto& piece : trip.route) {
            for (const LatLon& p : piece) {
                const double m = HaversineKm(p.latitude, p.longitude, filter.near->point.latitude,
                                             filter.near->point.longitude) *
                                 1000;
                if (m < best) {
                    best = m;
                    bestIndex = index;
                }
                ++index;
            }
        }
        if (!(best <= filter.near->metres)) return false;
        trip.closestMetres = best;
        if (!std::isnan(trip.routeTimes[bestIndex])) trip.closestTime = trip.routeTimes[bestIndex];
    }
    return true;
}

}  // namespace droskal
