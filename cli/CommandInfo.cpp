// info: what a recording holds, from a walk over its start codes and sentences; --check
// decodes every picture as well.
#include <cmath>
#include <cstdio>
#include <optional>

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

std::string JsonNumber(const std::optional<double>& v, int decimals) {
    return v ? Fixed(*v, decimals) : "null";
}

std::string Duration(double seconds) {
    const long long s = std::llround(seconds);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return buf;
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
    const std::string& input = a.positional[0];

    Walker walker;
    std::vector<std::string> files;
    if (!OpenInput(walker, input, a, files, error)) return FileError(io, "info", error);

    GpsTrack track;
    std::vector<BadPicture> bad;
    std::int64_t pictures = 0;
    {
        Progress progress(io.err, io.progress, "info");
        WalkedPicture pic;
        const bool check = a.has("--check");
        while (walker.next(pic, check ? Decode::Planes : Decode::None)) {
            ++pictures;
            if (!pic.read || (check && !pic.decoded))
                bad.push_back({pic.index, pic.picturePos, pic.read});
            track.add(pic);
            progress.update(static_cast<double>(walker.file().readPosition()) /
                            static_cast<double>(std::max<std::int64_t>(1, walker.length())));
        }
    }

    std::optional<double> duration;
    if (track.firstTimed()) {
        duration = track.lastTimed()->secondsSince2000() - track.firstTimed()->secondsSince2000();
    }
    const double share =
        pictures > 0 ? static_cast<double>(track.points().size()) / static_cast<double>(pictures)
                     : 0;
    const std::string firstTime = track.firstTimed() ? TimeText(*track.firstTimed(), time) : "";
    const std::string lastTime = track.lastTimed() ? TimeText(*track.lastTimed(), time) : "";
    const PictureFormatInfo& f = *FormatInfo(walker.picFormat());

    const std::string unit = std::string(" ") + SpeedUnitName(time.unit);
    std::string key = UnitWord(time);  // averageSpeedKmh, averageSpeedMph, averageSpeedKn
    key[0] = static_cast<char>(key[0] - 'a' + 'A');
    const auto inUnit = [&](const std::optional<double>& kmh) -> std::optional<double> {
        if (!kmh) return std::nullopt;
        return SpeedFromKmh(*kmh, time.unit);
    };
    if (a.has("--json")) {
        std::ostream& o = io.out;
        o << "{\n  \"file\": " << JsonString(input) << ",\n  \"format\": \""
          << FormatName(walker.picFormat()) << "\",\n  \"width\": " << f.width
          << ",\n  \"height\": " << f.height << ",\n  \"fileBytes\": " << walker.length()
          << ",\n  \"pictures\": " << pictures
          << ",\n  \"decoded\": " << (a.has("--check") ? "true" : "false")
          << ",\n  \"unreadablePictures\": [";
        for (std::size_t i = 0; i < bad.size(); ++i) {
            o << (i ? ", " : "") << "{\"index\": " << bad[i].index
              << ", \"position\": " << bad[i].position << ", \"reason\": \""
              << (bad[i].read ? "decode" : "read") << "\"}";
        }
        o << "],\n  \"firstGpsTime\": " << (firstTime.empty() ? "null" : JsonString(firstTime))
          << ",\n  \"lastGpsTime\": " << (lastTime.empty() ? "null" : JsonString(lastTime))
          << ",\n  \"durationSeconds\": " << JsonNumber(duration, 3)
          << ",\n  \"validFixShare\": " << Fixed(share, 4)
          << ",\n  \"validFixes\": " << track.points().size()
          << ",\n  \"distanceKm\": " << Fixed(track.distanceKm(), 3) << ",\n  \"averageSpeed" << key
          << "\": " << JsonNumber(inUnit(track.averageSpeedKmh()), 1) << ",\n  \"topSpeed" << key
          << "\": " << JsonNumber(inUnit(track.topSpeedKmh()), 1) << "\n}\n";
    } else {
        std::ostream& o = io.out;
        o << "file:           " << input << "\n"
          << "format:         " << FormatName(walker.picFormat()) << "\n"
          << "size:           " << walker.length() << " bytes\n"
          << "pictures:       " << pictures << "\n"
          << "unreadable:     " << bad.size()
          << (a.has("--check") ? "" : " (not decoded; --check decodes them)") << "\n";
        for (const auto& b : bad) {
            o << "  picture " << b.index << " at position " << b.position
              << (b.read ? ": cannot be decoded" : ": cannot be read") << "\n";
        }
        o << "first GPS time: " << (firstTime.empty() ? "-" : firstTime) << "\n"
          << "last GPS time:  " << (lastTime.empty() ? "-" : lastTime) << "\n"
          << "duration:       "
          << (duration ? Duration(*duration) + " (" + Fixed(*duration, 1) + " s)" : "-") << "\n"
          << "valid fix:      " << Fixed(share * 100, 1) << "% of pictures ("
          << track.points().size() << ")\n"
          << "distance:       " << Fixed(track.distanceKm(), 3) << " km\n"
          << "average speed:  "
          << (track.averageSpeedKmh() ? SpeedValue(*track.averageSpeedKmh(), time, 1) + unit : "-")
          << "\n"
          << "top speed:      "
          << (track.topSpeedKmh() ? SpeedValue(*track.topSpeedKmh(), time, 1) + unit : "-") << "\n";
    }
    if (track.badChecksums() > 0) {
        io.err << "droskal-cli info: " << track.badChecksums()
               << " sentences with a bad checksum ignored\n";
    }
    if (walker.stoppedEarly()) {
        io.err << "droskal-cli info: no picture start code within 299,999 bytes after position "
               << walker.file().readPosition() << "; the rest of the file was not read\n";
    }
    return bad.empty() && !walker.stoppedEarly() ? kExitOk : kExitPartial;
}

}  // namespace droskal::cli
