#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace droskal {

// One recording of a folder, as far as grouping needs it.
struct RecordingSummary {
    std::string path;
    std::int64_t length = 0;
    std::uint8_t picFormat = 0;  // 0: not a recording the viewer can show
    // Seconds since 2000-01-01 UTC of the first and last sentence with a valid fix, date and
    // time, looked for near the file's start and end.
    std::optional<double> firstTime;
    std::optional<double> lastTime;
};

// Recordings played as one drive, in order.
struct Trip {
    std::vector<RecordingSummary> files;
    std::uint8_t picFormat() const { return files.empty() ? 0 : files.front().picFormat; }
    std::vector<std::string> paths() const;
};

inline constexpr double kDefaultTripGapSeconds = 120;

// "*.m1v" in any case.
bool IsRecordingName(const std::string& name);

// Reads what grouping needs from one file: its format and the times near its ends. Only a few
// pictures at either end are looked at, never the whole file.
RecordingSummary SummariseRecording(const std::string& path);

// The recordings of a folder (regular files named *.m1v in any case), in name order, each
// summarised. Returns false with errno in `error` when the folder cannot be listed.
bool ScanFolder(const std::string& folder, std::vector<RecordingSummary>& recordings, int& error);

// Orders recordings by the time of their first sentence (a file without one keeps its place
// behind the file before it in name order) and splits them where the picture format changes
// or where more than `gapSeconds` lie between the last sentence of one file and the first of
// the next. Files that are no recording are left out.
std::vector<Trip> GroupTrips(std::vector<RecordingSummary> recordings, double gapSeconds);

// A folder's trips in time order; false with errno when the folder cannot be listed.
bool FolderTrips(const std::string& folder, double gapSeconds, std::vector<Trip>& trips,
                 int& error);

}  // namespace droskal
