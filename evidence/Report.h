#pragma once

// report.html: one self-contained page (inline CSS and SVG) that prints well.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/GpsTrack.h"
#include "cli/TimeOptions.h"
#include "evidence/ClipWriter.h"
#include "timeline/Events.h"

namespace droskal::evidence {

struct KeyPicture {
    std::string file;                 // PNG beside the report
    std::string picture;              // "r.m1v, obraz 12": its file and number there
    double clipSeconds = 0;           // where it stands in video.mp4
    std::optional<RmcSentence> when;  // its sentence, when it parsed
};

// The pictures of the stretch one recording holds, numbered from 1 in that file.
struct SourceRange {
    std::string file;
    std::int64_t first = 0;
    std::int64_t last = 0;
};

// An event of the timeline within the stretch, worded for the report.
struct ReportEvent {
    std::string kind;                  // its name
    std::string size;                  // "12.3 km/h w 1 s", "15 s", "najwyżej 98.0 km/h"
    std::optional<RmcSentence> start;  // the sentence where it starts
    std::string speeds;                // "54.0 → 30.1 km/h"
    std::string picture;               // where it starts: "r.m1v, obraz 12"
    std::string key;                   // its key picture beside the report
};

struct ReportData {
    std::string programName;
    std::string programVersion;
    std::string recordingName;  // what was packed: a recording or a folder
    std::vector<SourceRange> sources;
    std::int64_t pictures = 0;
    std::int64_t undecoded = 0;  // shown as the picture before them
    PictureRate rate;
    bool rateAssumed = false;  // the header's code was reserved
    std::string encoder;
    cli::TimeOptions time;             // zone and unit shown
    std::optional<RmcSentence> start;  // first and last sentences with date and time
    std::optional<RmcSentence> end;
    std::vector<cli::TrackPoint> points;
    double distanceKm = 0;
    std::optional<double> topSpeedKmh;
    std::optional<double> averageSpeedKmh;
    std::vector<ReportEvent> events;
    EventSettings eventSettings;  // what counted as an event, said under the list
    std::vector<KeyPicture> keys;
    std::string routePicture;  // file of the route map beside the report; empty: none
    std::string routeNote;     // under the map, or in its place why there is none
};

std::string ReportHtml(const ReportData& data);

// The speed over the stretch as an SVG line graph (in the unit chosen, against seconds from
// the start).
std::string SpeedGraphSvg(const std::vector<cli::TrackPoint>& points, const cli::TimeOptions& time);

}  // namespace droskal::evidence
