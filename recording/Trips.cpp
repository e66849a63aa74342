#include "recording/Trips.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "gps/RmcFields.h"
#include "recording/Recording.h"
#include "stream/Searches.h"

namespace droskal {

namespace {

// How many pictures at either end of a file are looked at for a sentence with a time: a
// receiver needs a while for its first fix, and a drive may end indoors.
constexpr int kPicturesLookedAt = 250;

struct Quiet final : StreamObserver {
    void SetPlayCounter(bool) override {}
    void ShowNmea() override {}
};

std::optional<double> FixTime(const std::string& nmeaText) {
    RmcSentence rmc;
    if (ParseRmcFields(nmeaText, rmc) != RmcResult::Ok) return std::nullopt;
    if (!rmc.validFix() || !rmc.hasDate || !rmc.hasTime) return std::nullopt;
    return rmc.secondsSince2000();
}

}  // namespace

std::vector<std::string> Trip::paths() const {
    std::vector<std::string> out;
    for (const auto& f : files) out.push_back(f.path);
    return out;
}

bool IsRecordingName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".m1v";
}

RecordingSummary SummariseRecording(const std::string& path) {
    RecordingSummary summary;
    summary.path = path;
    StreamFile file;
    if (file.open(path) != 0) return summary;
    summary.length = file.length();
    summary.picFormat = CheckRecording(file).picFormat;
    if (summary.picFormat == 0) return summary;

    Quiet quiet;
    std::string nmea;
    std::int64_t picturePos = 0;
    for (int i = 0; i < kPicturesLookedAt && FindStartUp(file, picturePos, quiet); ++i) {
        if (!FindPicStart(file, nmea, quiet)) continue;
        if ((summary.firstTime = FixTime(nmea))) break;
    }
    if (!summary.firstTime) return summary;  // nothing near the start: the end is no better
    picturePos = file.length() + 1;
    for (int i = 0; i < kPicturesLookedAt && FindStartDown(file, picturePos, quiet); ++i) {
        nmea.clear();
        if (!FindPicStart(file, nmea, quiet)) continue;
        if ((summary.lastTime = FixTime(nmea))) break;
    }
    return summary;
}

bool ScanFolder(const std::string& folder, std::vector<RecordingSummary>& recordings, int& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::string> names;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string name = it->path().filename().string();
        if (IsRecordingName(name) && name[0] != '.') names.push_back(it->path().string());
    }
    if (ec) {
        error = ec.value();
        return false;
    }
    std::sort(names.begin(), names.end());
    recordings.clear();
    for (const auto& name : names) recordings.push_back(SummariseRecording(name));
    error = 0;
    return true;
}

std::vector<Trip> GroupTrips(std::vector<RecordingSummary> recordings, double gapSeconds) {
    recordings.erase(std::remove_if(recordings.begin(), recordings.end(),
                                    [](const RecordingSummary& r) { return r.picFormat == 0; }),
                     recordings.end());
    std::stable_sort(
        recordings.begin(), recordings.end(),
        [](const RecordingSummary& a, const RecordingSummary& b) { return a.path < b.path; });
    // A file without a time sorts as the file before it in name order does.
    std::vector<std::pair<double, std::size_t>> keys;
    double key = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < recordings.size(); ++i) {
        if (recordings[i].firstTime) key = *recordings[i].firstTime;
        keys.emplace_back(key, i);
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<Trip> trips;
    const RecordingSummary* previous = nullptr;
    for (const auto& [unused, index] : keys) {
        const RecordingSummary& r = recordings[index];
        bool split = previous == nullptr || previous->picFormat != r.picFormat;
        if (!split && r.firstTime && (previous->lastTime || previous->firstTime)) {
            const double end = previous->lastTime ? *previous->lastTime : *previous->firstTime;
            split = std::abs(*r.firstTime - end) > gapSeconds;
        }
        if (split) trips.emplace_back();
        trips.back().files.push_back(r);
        previous = &r;
    }
    return trips;
}

bool FolderTrips(const std::string& folder, double gapSeconds, std::vector<Trip>& trips,
                 int& error) {
    std::vector<RecordingSummary> recordings;
    if (!ScanFolder(folder, recordings, error)) return false;
    trips = GroupTrips(std::move(recordings), gapSeconds);
    return true;
}

}  // namespace droskal
