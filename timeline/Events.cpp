#include "timeline/Events.h"

#include <algorithm>

namespace droskal {

namespace {

// Speeds below this count as standing: receivers report a little drift at rest.
constexpr double kStandingKmh = 1.0;
// Sentence times are whole seconds or finer; a little slack keeps "within one second" whole.
constexpr double kSecondSlack = 1e-3;

struct Point {
    std::size_t sample;
    double t;
    double v;
};

std::vector<Point> UsablePoints(const PictureSamples& samples) {
    std::vector<Point> points;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const PictureSample& s = samples[i];
        if (!s.timeValid || !s.fixValid || !s.speedValid) continue;
        // Many pictures share one sentence; a clock stepping back starts nothing new.
        if (!points.empty() && s.utcSeconds < points.back().t) continue;
        points.push_back({i, s.utcSeconds, s.speedKmh});
    }
    return points;
}

// Changes of speed of more than `threshold` within one second, rising or falling; overlapping
// windows make one event from the first speed to the last one of the change.
void FindChanges(const std::vector<Point>& p, double threshold, bool falling, EventKind kind,
                 std::vector<TripEvent>& events) {
    std::optional<TripEvent> open;
    for (std::size_t j = 0; j < p.size(); ++j) {
        for (std::size_t i = j; i-- > 0;) {
            if (p[j].t - p[i].t > 1.0 + kSecondSlack) break;
            const double change = falling ? p[i].v - p[j].v : p[j].v - p[i].v;
            if (change <= threshold) continue;
            if (open && p[i].t <= open->endUtc) {
                open->last = p[j].sample;
                open->endUtc = p[j].t;
                open->value = std::max(open->value, change);
            } else {
                if (open) events.push_back(*open);
                open = TripEvent{kind, p[i].sample, p[j].sample, p[i].t, p[j].t, change};
            }
            break;
        }
    }
    if (open) events.push_back(*open);
}

// Stretches that satisfy `inside`, kept when `keep` says so for their start and end.
template <typename Inside, typename Keep>
void FindStretches(const std::vector<Point>& p, EventKind kind, Inside inside, Keep keep,
                   std::vector<TripEvent>& events) {
    std::size_t i = 0;
    while (i < p.size()) {
        if (!inside(p[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        double top = p[i].v;
        while (j + 1 < p.size() && inside(p[j + 1])) top = std::max(top, p[++j].v);
        if (keep(p[i], p[j]))
            events.push_back({kind, p[i].sample, p[j].sample, p[i].t, p[j].t,
                              kind == EventKind::Stop ? p[j].t - p[i].t : top});
        i = j + 1;
    }
}

}  // namespace

std::vector<TripEvent> FindEvents(const PictureSamples& samples, const EventSettings& settings) {
    const std::vector<Point> p = UsablePoints(samples);
    std::vector<TripEvent> events;
    FindChanges(p, settings.brakingKmh, true, EventKind::HardBraking, events);
    FindChanges(p, settings.accelerationKmh, false, EventKind::HardAcceleration, events);
    FindStretches(
        p, EventKind::Stop, [](const Point& q) { return q.v < kStandingKmh; },
        [&](const Point& a, const Point& b) { return b.t - a.t > settings.stopSeconds; }, events);
    if (settings.speedLimitKmh) {
        const double limit = *settings.speedLimitKmh;
        FindStretches(
            p, EventKind::Speeding, [limit](const Point& q) { return q.v > limit; },
            [](const Point&, const Point&) { return true; }, events);
    }
    std::stable_sort(events.begin(), events.end(), [](const TripEvent& a, const TripEvent& b) {
        return a.startUtc < b.startUtc;
    });
    return events;
}

const char* EventName(EventKind kind) {
    switch (kind) {
        case EventKind::HardBraking:
            return "Gwałtowne hamowanie";
        case EventKind::HardAcceleration:
            return "Gwałtowne przyspieszenie";
        case EventKind::Stop:
            return "Postój";
        case EventKind::Speeding:
            return "Przekroczenie prędkości";
    }
    return "";
}

}  // namespace droskal
