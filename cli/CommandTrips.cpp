// trips: a folder's recordings grouped into drives, one line (or JSON object) per trip.
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "cli/Args.h"
#include "cli/GpsTrack.h"
#include "cli/Progress.h"
#include "cli/Text.h"
#include "cli/TimeOptions.h"
#include "cli/Usage.h"
#include "recording/Trips.h"
#include "recording/Walker.h"

namespace droskal::cli {

namespace {

const char* const kTripsUsage =
    "usage: droskal-cli trips DIR [--gap SECONDS] [--json] [--tz ZONE] [--units UNIT]\n"
    "  Groups the recordings (*.m1v) of folder DIR into trips: files ordered by the time of\n"
    "  their first GPS fix (by name where a file has none), a new trip where the picture\n"
    "  format changes or more than SECONDS (default 120) pass between one file's last fix\n"
    "  and the next file's first. Prints one line per trip with its files, or with --json\n"
    "  one object {\"trips\": [...]} with the names and units of info --json.\n"
    "  Other commands read trip N of a folder with --trip N.\n";

struct TripFigures {
    std::int64_t pictures = 0;
    GpsTrack track;
};

TripFigures Measure(const Trip& trip) {
    TripFigures figures;
    Walker walker;
    int error = 0;
    if (!walker.open(trip.paths(), error)) return figures;
    WalkedPicture pic;
    while (walker.next(pic, Decode::None)) {
        ++figures.pictures;
        figures.track.add(pic);
    }
    return figures;
}

// Rounded as info --json writes them.
}  // namespace

int RunTrips(const std::vector<std::string>& args, const Io& io) {
    ParsedArgs a;
    std::string error;
    const std::string usage = std::string(kTripsUsage) + kTimeOptionsUsage;
    if (!ParseArgs(args, WithTimeOptions({"--gap"}), {"--json"}, a, error))
        return UsageError(io, "trips", error, usage.c_str());
    TimeOptions time;
    if (!a.help && !ReadTimeOptions(a, time, error))
        return UsageError(io, "trips", error, usage.c_str());
    if (a.help) {
        io.out << usage;
        return kExitOk;
    }
    // topSpeedKmh, topSpeedMph or topSpeedKn, as info --json names them.
    std::string speedKey = UnitWord(time);
    speedKey[0] = static_cast<char>(speedKey[0] - 'a' + 'A');
    speedKey = "topSpeed" + speedKey;
    if (a.positional.size() != 1)
        return UsageError(io, "trips", "needs one folder DIR", kTripsUsage);
    double gap = kDefaultTripGapSeconds;
    if (a.has("--gap") && !ParsePositiveNumber(a.value("--gap", ""), gap)) {
        return UsageError(io, "trips", "--gap needs a number of seconds above 0", kTripsUsage);
    }
    const std::string& folder = a.positional[0];
    std::vector<Trip> trips;
    int err = 0;
    if (!FolderTrips(folder, gap, trips, err))
        return FileError(io, "trips", folder + ": " + std::strerror(err));

    nlohmann::json list = nlohmann::json::array();
    Progress progress(io.err, io.progress, "trips");
    for (std::size_t i = 0; i < trips.size(); ++i) {
        const Trip& trip = trips[i];
        const TripFigures f = Measure(trip);
        progress.update(static_cast<double>(i + 1) / static_cast<double>(trips.size()));
        const GpsTrack& t = f.track;
        const std::string start = t.firstTimed() ? TimeText(*t.firstTimed(), time) : "";
        const std::string end = t.lastTimed() ? TimeText(*t.lastTimed(), time) : "";
        std::optional<double> duration;
        if (t.firstTimed())
            duration = t.lastTimed()->secondsSince2000() - t.firstTimed()->secondsSince2000();
        const double share = f.pictures > 0 ? static_cast<double>(t.points().size()) /
                                                  static_cast<double>(f.pictures)
                                            : 0;
        if (a.has("--json")) {
            nlohmann::json j;
            j["files"] = trip.paths();
            j["format"] = FormatName(trip.picFormat());
            j["pictures"] = f.pictures;
            j["start"] = start.empty() ? nlohmann::json() : nlohmann::json(start);
            j["end"] = end.empty() ? nlohmann::json() : nlohmann::json(end);
            j["durationSeconds"] =
                duration ? nlohmann::json(Rounded(*duration, 3)) : nlohmann::json();
            j["distanceKm"] = Rounded(t.distanceKm(), 3);
            j[speedKey] =
                t.topSpeedKmh()
                    ? nlohmann::json(Rounded(SpeedFromKmh(*t.topSpeedKmh(), time.unit), 1))
                    : nlohmann::json();
            j["validFixShare"] = Rounded(share, 4);
            list.push_back(std::move(j));
            continue;
        }
        progress.finish();
        io.out << "trip " << i + 1 << ": " << FormatName(trip.picFormat()) << ", "
               << trip.files.size() << (trip.files.size() == 1 ? " file, " : " files, ")
               << f.pictures << " pictures, "
               << (start.empty() ? "no GPS time" : start + " to " + end) << ", "
               << Fixed(t.distanceKm(), 3) << " km"
               << (t.topSpeedKmh() ? ", top " + SpeedValue(*t.topSpeedKmh(), time, 1) + " " +
                                         SpeedUnitName(time.unit)
                                   : std::string())
               << "\n";
        for (const auto& file : trip.files) io.out << "  " << file.path << "\n";
    }
    progress.finish();
    // A file name that is not UTF-8 is written with replacement characters, not refused.
    if (a.has("--json"))
        io.out << nlohmann::json{{"trips", list}}.dump(2, ' ', false,
                                                       nlohmann::json::error_handler_t::replace)
               << "\n";
    if (trips.empty()) io.err << "droskal-cli trips: no recordings (*.m1v) in " << folder << "\n";
    return kExitOk;
}

}  // namespace droskal::cli
