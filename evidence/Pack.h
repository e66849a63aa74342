#pragma once

// The evidence pack: a marked stretch of a recording as a folder a recipient can check.
//   original.m1v  the fragment, byte for byte as the fragment save writes it
//   video.mp4     H.264 clip with the caption band (and the map inset), every picture once
//   track.gpx, track.csv, report.html (events, route map, speed graph), route.png,
//   picture-N.png (first, last, each event, every 10 s), SHA256SUMS
// The folder is built under a temporary name beside the target and renamed when complete; a
// failure or a cancel leaves nothing behind, and an existing folder is never replaced.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/GpsTrack.h"
#include "cli/TimeOptions.h"
#include "evidence/Band.h"
#include "evidence/PackFolder.h"
#include "recording/PictureIndex.h"
#include "timeline/Events.h"

namespace droskal::evidence {

// Map pictures of the stretch (QtMap.h draws them from the map sources). Made and used on the
// thread that builds the pack.
class PackMaps {
  public:
    virtual ~PackMaps() = default;
    // The stretch's route as a PNG, with a line for the report under it (the map's source and
    // licence); false with the line that says why there is no map.
    virtual bool routePicture(const std::vector<IndexedPicture>& stretch,
                              std::vector<std::uint8_t>& png, std::string& note) = 0;
    // Readies the inset of `place`'s size for the stretch; false with the reason.
    virtual bool prepareInset(const std::vector<IndexedPicture>& stretch, InsetPlace place,
                              std::string& error) = 0;
    // The inset at the stretch's picture k: RGB, rows top-down, place.width x place.height.
    virtual void drawInset(std::size_t k, std::uint8_t* rgb) = 0;
};

struct PackRequest {
    std::string recording;  // a recording, or a folder of them
    int trip = 0;           // with a folder: its Nth trip (from 1); 0: all its recordings as one
    // The window's marks: the start picture's picture start code, the last byte of the end picture.
    std::int64_t cutStart = 0;
    std::int64_t cutEnd = 0;
    std::string parentFolder;  // the pack's folder is made in here
    BandPainter band;
    cli::TimeOptions time;  // zone and speed unit of the band, the report and track.csv
    EventSettings events;   // what counts as an event, as the timeline finds them
    // Where map pictures come from. Unset: no map source is set up, and the report says so.
    std::function<std::unique_ptr<PackMaps>()> maps;
    bool minimap = false;  // the inset map in the clip's top-right corner; needs `maps`
    std::string programName = "Droskal";
};

struct PackResult {
    enum class Status { Done, Failed, Cancelled };
    Status status = Status::Failed;
    // Failures the window words itself; the rest it words from `error`.
    enum class Why { Other, FolderExists, NoPositionForInset };
    Why why = Why::Other;
    std::string folder;  // the finished pack, or the one that already exists
    std::string error;
    std::int64_t pictures = 0;
    std::int64_t undecoded = 0;
};

// progress: fraction done, 0..1 (called from the calling thread). cancel: checked between
// pictures; may be nullptr.
PackResult BuildEvidencePack(const PackRequest& request, PackFolder& folder,
                             const std::function<void(double)>& progress,
                             const std::atomic<bool>* cancel);

// The marks for pictures `from` to `to` (1-based, both included, counted through the trip), as
// the window would set them. trip as in PackRequest.
bool MarksForPictures(const std::string& recording, int trip, std::int64_t from, std::int64_t to,
                      std::int64_t& cutStart, std::int64_t& cutEnd, std::string& error);

// "2024-09-16_14-05-01_incident" from the stretch's first dated sentence, in the zone chosen.
std::string PackFolderName(const std::optional<RmcSentence>& start, std::int64_t firstPicture,
                           const cli::TimeOptions& time = {});

const char* ProgramVersion();

}  // namespace droskal::evidence
