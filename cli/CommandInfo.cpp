// info: what a recording holds, from a walk over its start codes and sentences; --check
// decodes every picture as well.
#include <cmath>
#include <cstdio>
#include <optional>

#include <nlohmann/json.hpp>

#include "cli/Args.h"
#include "cli/GpsTrack.h"
#include "cli/Input.h"
#include "cli/Progress.h"
#include "cli/Text.h"
#include "cli/TimeOptions.h"
#include "cli/Usage.h"
#include "decoder/PictureFormat.h"
#include "recording/Walker.h"

namespace droskal::cli {

namespace {

const char* const kInfoUsage =
    "usage: droskal-cli info FILE [--trip N] [--check] [--json] [--tz ZONE] [--units UNIT]\n"
    "  Format, file size, picture count, pictures that cannot be read (0-based index and\n"
    "  file position), first and last GPS date/time, duration, share of pictures with a\n"
    "  valid fix, distance between successive valid fixes (great circle), average and top\n"
    "  recorded speed of the valid fixes. Only start codes and sentences are read, at the\n"
    "  disk's speed.\n"
    "  --check  decode every picture as well and list those that cannot be decoded\n"
    "  --json   one JSON object instead of text\n";

struct BadPicture {
    std::int64_t index;
    std::int64_t position;
    bool read;
};

// What the walk found, before it is worded.
struct InfoFigures {
    std::string input;
    std::uint8_t format = 0;
    std::int64_t bytes = 0;
    std::int64_t pictures = 0;
    bool checked = false;
    std::vector<BadPicture> bad;
    GpsTrack track;
    std::optional<double> duration;
    double fixShare = 0;
    std::string firstTime, lastTime;
};

std::string Duration(double seconds) {
    const long long s = std::llround(seconds);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

void WalkForInfo(Walker& walker, const Io& io, InfoFigures& f) {
    Progress progress(io.err, io.progress, "info");
    WalkedPicture pic;
    while (walker.next(pic, f.checked ? Decode::Planes : Decode::None)) {
        ++f.pictures;
        if (!pic.read || (f.checked && !pic.decoded))
            f.bad.push_back({pic.index, pic.picturePos, pic.read});
        f.track.add(pic);
        progress.update(static_cast<double>(walker.file().readPosition()) /
                        static_cast<double>(std::max<std::int64_t>(1, walker.length())));
    }
}

void SummariseTrack(InfoFigures& f, const TimeOptions& time) {
    const GpsTrack& track = f.track;
    if (track.firstTimed()) {
        f.duration = track.lastTimed()->secondsSince2000() - track.firstTimed()->secondsSince2000();
    }
    f.fixShare = f.pictures > 0
                     ? static_cast<double>(track.points().size()) / static_cast<double>(f.pictures)
                     : 0;
    f.firstTime = track.firstTimed() ? TimeText(*track.firstTimed(), time) : "";
    f.lastTime = track.lastTimed() ? TimeText(*track.lastTimed(), time) : "";
}

void WriteJson(std::ostream& o, const InfoFigures& f, const TimeOptions& time) {
    using nlohmann::ordered_json;
    const auto orNull = [](const std::string& text) {
        return text.empty() ? ordered_json() : ordered_json(text);
    };
    const auto speed = [&](const std::optional<double>& kmh) {
        return kmh ? ordered_json(Rounded(SpeedFromKmh(*kmh, time.unit), 1)) : ordered_json();
    };
    std::string key = UnitWord(time);  // averageSpeedKmh, averageSpeedMph, averageSpeedKn
    key[0] = static_cast<char>(key[0] - 'a' + 'A');
    const PictureFormatInfo& info = *FormatInfo(f.format);
    ordered_json j;
    j["file"] = f.input;
    j["format"] = FormatName(f.format);
    j["width"] = info.width;
    j["height"] = info.height;
    j["fileBytes"] = f.bytes;
    j["pictures"] = f.pictures;
    j["decoded"] = f.checked;
    j["unreadablePictures"] = ordered_json::array();
    for (const BadPicture& b : f.bad) {
        j["unreadablePictures"].push_back(
            {{"index", b.index}, {"position", b.position}, {"reason", b.read ? "decode" : "read"}});
    }
    j["firstGpsTime"] = orNull(f.firstTime);
    j["lastGpsTime"] = orNull(f.lastTime);
    j["durationSeconds"] = f.duration ? ordered_json(Rounded(*f.duration, 3)) : ordered_json();
    j["validFixShare"] = Rounded(f.fixShare, 4);
    j["validFixes"] = f.track.points().size();
    j["distanceKm"] = Rounded(f.track.distanceKm(), 3);
    j["averageSpeed" + key] = speed(f.track.averageSpeedKmh());
    j["topSpeed" + key] = speed(f.track.topSpeedKmh());
    // File names may hold bytes that are not UTF-8: those become U+FFFD.
    o << j.dump(2, ' ', false, ordered_json::error_handler_t::replace) << "\n";
}

void WriteText(std::ostream& o, const InfoFigures& f, const TimeOptions& time) {
    const GpsTrack& track = f.track;
    const std::string unit = std::string(" ") + SpeedUnitName(time.unit);
    o << "file:           " << f.input << "\n"
      << "format:         " << FormatName(f.format) << "\n"
      << "size:           " << f.bytes << " bytes\n"
      << "pictures:       " << f.pictures << "\n"
      << "unreadable:     " << f.bad.size()
      << (f.checked ? "" : " (not decoded; --check decodes them)") << "\n";
    for (const auto& b : f.bad) {
        o << "  picture " << b.index << " at position " << b.position
          << (b.read ? ": cannot be decoded" : ": cannot be read") << "\n";
    }
    o << "first GPS time: " << (f.firstTime.empty() ? "-" : f.firstTime) << "\n"
      << "last GPS time:  " << (f.lastTime.empty() ? "-" : f.lastTime) << "\n"
      << "duration:       "
      << (f.duration ? Duration(*f.duration) + " (" + Fixed(*f.duration, 1) + " s)" : "-") << "\n"
      << "valid fix:      " << Fixed(f.fixShare * 100, 1) << "% of pictures ("
      << track.points().size() << ")\n"
      << "distance:       " << Fixed(track.distanceKm(), 3) << " km\n"
      << "average speed:  "
      << (track.averageSpeedKmh() ? SpeedValue(*track.averageSpeedKmh(), time, 1) + unit : "-")
      << "\n"
      << "top speed:      "
      << (track.topSpeedKmh() ? SpeedValue(*track.topSpeedKmh(), time, 1) + unit : "-") << "\n";
}

}  // namespace

int RunInfo(const std::vector<std::string>& args, const Io& io) {
    ParsedArgs a;
    std::string error;
    const std::string usage = std::string(kInfoUsage) + kTimeOptionsUsage;
    if (!ParseArgs(args, WithTimeOptions({kTripOption}), {"--json", "--check"}, a, error))
        return UsageError(io, "info", error, usage.c_str());
    TimeOptions time;
    if (!a.help && !ReadTimeOptions(a, time, error))
        return UsageError(io, "info", error, usage.c_str());
    if (a.help) {
        io.out << usage << kFolderUsage;
        return kExitOk;
    }
    if (a.positional.size() != 1) return UsageError(io, "info", "needs one FILE", usage.c_str());

    InfoFigures f;
    f.input = a.positional[0];
    f.checked = a.has("--check");
    Walker walker;
    std::vector<std::string> files;
    if (!OpenInput(walker, f.input, a, files, error)) return FileError(io, "info", error);
    WalkForInfo(walker, io, f);
    f.format = walker.picFormat();
    f.bytes = walker.length();
    SummariseTrack(f, time);
    if (a.has("--json")) {
        WriteJson(io.out, f, time);
    } else {
        WriteText(io.out, f, time);
    }
    if (f.track.badChecksums() > 0) {
        io.err << "droskal-cli info: " << f.track.badChecksums()
               << " sentences with a bad checksum ignored\n";
    }
    if (walker.stoppedEarly()) {
        io.err << "droskal-cli info: no picture start code within 299,999 bytes after position "
               << walker.file().readPosition() << "; the rest of the file was not read\n";
    }
    return f.bad.empty() && !walker.stoppedEarly() ? kExitOk : kExitPartial;
}

}  // namespace droskal::cli
