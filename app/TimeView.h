#pragma once

#include <memory>
#include <vector>

#include "app/PictureScan.h"
#include "timeline/Events.h"
#include "timeline/Samples.h"
#include "timeline/Units.h"
#include "zone/DisplayZone.h"

namespace droskal {

// What the window knows of time: the zone and unit shown, the trip's samples and events, and
// whether the timeline strip is on.
struct TimeView {
    DisplayZone zone;
    SpeedUnit unit = SpeedUnit::Kmh;
    bool timelineOn = false;
    EventSettings eventSettings;

    // The time of the last sentence with a valid fix, shown (greyed) while the fix is lost.
    bool haveLastValid = false;
    double lastValidUtc = 0;

    PictureSamples samples;  // grows while the scan runs
    std::vector<TripEvent> events;
    double scanned = 0;  // share of the recording scanned, 0 to 1
    bool complete = false;
    std::unique_ptr<PictureScan> scan;
};

}  // namespace droskal
