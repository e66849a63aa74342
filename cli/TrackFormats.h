#pragma once

// The track file formats of `droskal-cli track`, shared with the evidence pack.
#include <ostream>
#include <string>
#include <vector>

#include "cli/GpsTrack.h"
#include "cli/TimeOptions.h"

namespace droskal::cli {

// The recording's file name, as the files name the track.
std::string TrackName(const std::string& input);

void WriteGpx(std::ostream& o, const std::string& name, const std::vector<TrackPoint>& points);
void WriteKml(std::ostream& o, const std::string& name, const std::vector<TrackPoint>& points);
// Times in the zone and speeds in the unit chosen (UTC and km/h by default).
void WriteCsv(std::ostream& o, const std::vector<TrackPoint>& points,
              const TimeOptions& time = TimeOptions{});

}  // namespace droskal::cli
