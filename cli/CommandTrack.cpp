// track: the GPS track of a recording as GPX, KML or CSV.
#include <sstream>

#include "cli/Args.h"
#include "cli/Geo.h"
#include "cli/GpsTrack.h"
#include "cli/Input.h"
#include "cli/OutputFile.h"
#include "cli/Progress.h"
#include "cli/Text.h"
#include "cli/TimeOptions.h"
#include "cli/TrackFormats.h"
#include "cli/Usage.h"
#include "recording/Walker.h"

namespace droskal::cli {

namespace {

const char* const kTrackUsage =
    "usage: droskal-cli track FILE [--trip N] [--format gpx|kml|csv] [-o OUT] [--tz ZONE] [--units "
    "UNIT]\n"
    "  One point per picture with a valid fix. A new segment starts where the fix is lost\n"
    "  or the time jumps by more than 2 seconds. Sentences are read field by field:\n"
    "  hemispheres are honoured, a bad checksum drops the point (counted on stderr).\n"
    "  --format  gpx (default), kml or csv\n"
    "  -o OUT    write to OUT instead of standard output\n";

}  // namespace

int RunTrack(const std::vector<std::string>& args, const Io& io) {
    ParsedArgs a;
    std::string error;
    std::vector<std::string> normalised;
    // "-o" is the one short option; treat it as "--output".
    for (const auto& arg : args) normalised.push_back(arg == "-o" ? "--output" : arg);
    const std::string usage = std::string(kTrackUsage) + kTimeOptionsUsage +
                              "  (GPX and KML times stay UTC, as those formats require)\n";
    if (!ParseArgs(normalised, WithTimeOptions({"--format", "--output", kTripOption}), {}, a,
                   error)) {
        return UsageError(io, "track", error, usage.c_str());
    }
    TimeOptions time;
    if (!a.help && !ReadTimeOptions(a, time, error))
        return UsageError(io, "track", error, usage.c_str());
    if (a.help) {
        io.out << usage << kFolderUsage;
        return kExitOk;
    }
    if (a.positional.size() != 1) return UsageError(io, "track", "needs one FILE", usage.c_str());
    const std::string& input = a.positional[0];
    const std::string format = a.value("--format", "gpx");
    if (format != "gpx" && format != "kml" && format != "csv") {
        return UsageError(io, "track", "unknown format '" + format + "'", usage.c_str());
    }
    const std::string output = a.value("--output", "");
    if (a.has("--output") && output.empty())
        return UsageError(io, "track", "-o needs a file name", usage.c_str());
    std::vector<std::string> files;
    if (!InputFiles(input, a, files, error)) return FileError(io, "track", error);
    if (!output.empty() && WritesOverInput(files, output)) {
        return FileError(io, "track", "refusing to write over the recording itself: " + output);
    }

    Walker walker;
    if (!OpenInput(walker, input, a, files, error)) return FileError(io, "track", error);
    GpsTrack track;
    {
        Progress progress(io.err, io.progress, "track");
        WalkedPicture pic;
        while (walker.next(pic, Decode::None)) {
            track.add(pic);
            progress.update(static_cast<double>(walker.file().readPosition()) /
                            static_cast<double>(std::max<std::int64_t>(1, walker.length())));
        }
    }

    std::ostringstream text;
    if (format == "gpx")
        WriteGpx(text, TrackName(input), track.points());
    else if (format == "kml")
        WriteKml(text, TrackName(input), track.points());
    else
        WriteCsv(text, track.points(), time);
    if (output.empty()) {
        io.out << text.str();
    } else {
        OutputFile out;
        if (!out.open(output, error) || !out.write(text.str(), error) || !out.commit(error)) {
            return FileError(io, "track", error);
        }
    }

    if (track.badChecksums() > 0) {
        io.err << "droskal-cli track: " << track.badChecksums()
               << " sentences with a bad checksum skipped\n";
    }
    if (track.unreadSentences() > 0) {
        io.err << "droskal-cli track: " << track.unreadSentences()
               << " pictures without a readable header (no slice within 8,192 bytes)\n";
    }
    if (walker.stoppedEarly()) {
        io.err << "droskal-cli track: no picture start code within 299,999 bytes after position "
               << walker.file().readPosition() << "; the rest of the file was not read\n";
    }
    return track.badChecksums() > 0 || track.unreadSentences() > 0 || walker.stoppedEarly()
               ? kExitPartial
               : kExitOk;
}

}  // namespace droskal::cli
