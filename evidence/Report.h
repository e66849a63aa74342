#pragma once

// report.html: one self-contained page (inline CSS and SVG) that prints well.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/GpsTrack.h"
#include "evidence/ClipWriter.h"

namespace droskal::evidence {

struct KeyPicture {
    std::string file;            // PNG beside the report
    std::int64_t pictureNumber;  // 1-based in the recording
    double clipSeconds;          // where it stands in video.mp4
    std::string utc;             // its sentence's date and time, empty without one
};

struct ReportData {
    std::string programName;
    std::string programVersion;
    std::string recordingName;
    std::int64_t firstPicture = 0;  // 1-based, both included
    std::int64_t lastPicture = 0;
    std::int64_t pictures = 0;
    std::int64_t undecoded = 0;  // shown as the picture before them
    PictureRate rate;
    bool rateAssumed = false;  // the header's code was reserved
    std::string encoder;
    std::optional<RmcSentence> start;  // first and last sentences with date and time
    std::optional<RmcSentence> end;
    std::vector<cli::TrackPoint> points;
    double distanceKm = 0;
    std::optional<double> topSpeedKmh;
    std::optional<double> averageSpeedKmh;
    std::vector<KeyPicture> keys;
    std::string routePicture;        // file of the route map beside the report; empty: none
    std::vector<std::string> files;  // every file of the pack, for the checksum note
};

std::string ReportHtml(const ReportData& data);

// The speed over the stretch as an SVG line graph (km/h against seconds from the start).
std::string SpeedGraphSvg(const std::vector<cli::TrackPoint>& points);

}  // namespace droskal::evidence
