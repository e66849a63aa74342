#pragma once

// The evidence pack: a marked stretch of a recording as a folder a recipient can check.
//   original.m1v  the fragment, byte for byte as the fragment save writes it
//   video.mp4     H.264 clip with the caption band, every picture once
//   track.gpx, track.csv, report.html, picture-N.png, SHA256SUMS
// The folder is built under a temporary name beside the target and renamed when complete; a
// failure or a cancel leaves nothing behind, and an existing folder is never replaced.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/GpsTrack.h"
#include "evidence/Band.h"
#include "evidence/PackFolder.h"

namespace droskal::evidence {

struct PackRequest {
    std::string recording;  // a recording, or a folder of them
    int trip = 0;           // with a folder: its Nth trip (from 1); 0: all its recordings as one
    // The window's marks: the start picture's picture start code, the last byte of the end picture.
    std::int64_t cutStart = 0;
    std::int64_t cutEnd = 0;
    std::string parentFolder;  // the pack's folder is made in here
    BandPainter band;
    // Where a route map comes from once map sources exist: PNG bytes of the stretch's route.
    // Unset: the report says the map is not included.
    std::function<bool(const std::vector<cli::TrackPoint>& points, std::vector<std::uint8_t>& png,
                       std::string& error)>
        routePicture;
    std::string programName = "Droskal";
};

struct PackResult {
    enum class Status { Done, Failed, Cancelled };
    Status status = Status::Failed;
    std::string folder;  // the finished pack
    std::string error;
    std::int64_t pictures = 0;
    std::int64_t undecoded = 0;
};

// progress: fraction done, 0..1 (called from the calling thread). cancel: checked between
// pictures; may be nullptr.
PackResult BuildEvidencePack(const PackRequest& request, PackFolder& folder,
                             const std::function<void(double)>& progress,
                             const std::atomic<bool>* cancel);

// The marks for pictures `from` to `to` (1-based, both included), as the window would set them.
bool MarksForPictures(const std::string& recording, std::int64_t from, std::int64_t to,
                      std::int64_t& cutStart, std::int64_t& cutEnd, std::string& error);

// "2024-09-16_14-05-01_incident" from the stretch's first dated sentence.
std::string PackFolderName(const std::optional<RmcSentence>& start, std::int64_t firstPicture);

const char* ProgramVersion();

}  // namespace droskal::evidence
