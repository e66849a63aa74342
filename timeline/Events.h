#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "timeline/Samples.h"

namespace droskal {

enum class EventKind { HardBraking, HardAcceleration, Stop, Speeding };

struct EventSettings {
    double brakingKmh = 12;               // a drop of more than this within one second
    double accelerationKmh = 12;          // a rise of more than this within one second
    double stopSeconds = 10;              // standing still for longer than this
    std::optional<double> speedLimitKmh;  // none: speeding is not looked for
};

// Found from the recorded speeds alone: only timed samples with a valid fix and a speed count.
struct TripEvent {
    EventKind kind = EventKind::Stop;
    std::size_t first = 0;  // sample where it starts
    std::size_t last = 0;   // sample where it ends
    double startUtc = 0;
    double endUtc = 0;
    double value = 0;  // km/h lost or gained, seconds stood, or the top speed
};

// Events in the order they start.
std::vector<TripEvent> FindEvents(const PictureSamples& samples, const EventSettings& settings);

// Polish name of the kind, for the strip's tooltip.
const char* EventName(EventKind kind);

}  // namespace droskal
