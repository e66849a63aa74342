// track: the GPS track of a recording as GPX, KML or CSV.
#include <filesystem>
#include <sstream>

#include "cli/Args.h"
#include "cli/Input.h"
#include "cli/Geo.h"
#include "cli/GpsTrack.h"
#include "cli/OutputFile.h"
#include "cli/Progress.h"
#include "cli/Text.h"
#include "cli/TimeOptions.h"
#include "cli/Usage.h"
#include "recording/Walker.h"

namespace droskal::cli {

namespace {

const char* const kTrackUsage =
    "usage: droskal-cli track FILE [--trip N] [--format gpx|kml|csv] [-o OUT] [--tz ZONE] [--units UNIT]\n"
    "  One point per picture with a valid fix. A new segment starts where the fix is lost\n"
    "  or the time jumps by more than 2 seconds. Sentences are read field by field:\n"
    "  hemispheres are honoured, a bad checksum drops the point (counted on stderr).\n"
    "  --format  gpx (default), kml or csv\n"
    "  -o OUT    write to OUT instead of standard output\n";


std::string Coordinate(double degrees) { return Fixed(degrees, 7); }

std::string TrackName(const std::string& input) {
    return std::filesystem::path(input).filename().string();
}

void WriteGpx(std::ostream& o, const std::string& name, const std::vector<TrackPoint>& points) {
    o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<gpx version=\"1.1\" creator=\"droskal-cli\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
         "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
         "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
         "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
         "  <trk>\n    <name>"
      << XmlEscape(name) << "</name>\n";
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].newSegment) {
            if (i > 0) o << "    </trkseg>\n";
            o << "    <trkseg>\n";
        }
        const RmcSentence& f = points[i].fix;
        o << "      <trkpt lat=\"" << Coordinate(f.latitude) << "\" lon=\"" << Coordinate(f.longitude) << "\">";
        if (const std::string time = IsoUtc(f); !time.empty()) o << "<time>" << time << "</time>";
        o << "<name>" << points[i].index << "</name></trkpt>\n";
    }
    if (!points.empty()) o << "    </trkseg>\n";
    o << "  </trk>\n</gpx>\n";
}

void WriteKml(std::ostream& o, const std::string& name, const std::vector<TrackPoint>& points) {
    o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
         "  <Document>\n    <name>"
      << XmlEscape(name) << "</name>\n    <Placemark>\n      <name>" << XmlEscape(name)
      << "</name>\n      <MultiGeometry>\n";
    // A LineString needs two points; a lone fix between gaps becomes a Point.
    for (std::size_t i = 0; i < points.size();) {
        std::size_t end = i + 1;
        while (end < points.size() && !points[end].newSegment) ++end;
        const bool line = end - i > 1;
        o << (line ? "        <LineString><coordinates>" : "        <Point><coordinates>");
        for (std::size_t k = i; k < end; ++k) {
            o << (k > i ? " " : "") << Coordinate(points[k].fix.longitude) << ","
              << Coordinate(points[k].fix.latitude);
        }
        o << (line ? "</coordinates></LineString>\n" : "</coordinates></Point>\n");
        i = end;
    }
    o << "      </MultiGeometry>\n    </Placemark>\n  </Document>\n</kml>\n";
}

void WriteCsv(std::ostream& o, const std::vector<TrackPoint>& points, const TimeOptions& time) {
    o << "picture,position," << (time.zoneGiven ? "time" : "utc") << ",latitude,longitude,speed_"
      << UnitWord(time) << ",course,status\n";
    for (const auto& p : points) {
        const RmcSentence& f = p.fix;
        o << p.index << "," << p.picturePos << "," << TimeText(f, time) << "," << Coordinate(f.latitude) << ","
          << Coordinate(f.longitude) << "," << (f.hasSpeed ? SpeedValue(f.speedKnots * kKmPerNauticalMile, time, 2) : "")
          << "," << (f.hasCourse ? Fixed(f.course, 1) : "") << "," << f.status << "\n";
    }
}

}  // namespace

int RunTrack(const std::vector<std::string>& args, const Io& io) {
    ParsedArgs a;
    std::string error;
    std::vector<std::string> normalised;
    // "-o" is the one short option; treat it as "--output".
    for (const auto& arg : args) normalised.push_back(arg == "-o" ? "--output" : arg);
    const std::string usage = std::string(kTrackUsage) + kTimeOptionsUsage +
                              "  (GPX and KML times stay UTC, as those formats require)\n";
    if (!ParseArgs(normalised, WithTimeOptions({"--format", "--output", kTripOption}), {}, a, error)) {
        return UsageError(io, "track", error, usage.c_str());
    }
    TimeOptions time;
    if (!a.help && !ReadTimeOptions(a, time, error)) return UsageError(io, "track", error, usage.c_str());
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
    if (a.has("--output") && output.empty()) return UsageError(io, "track", "-o needs a file name", usage.c_str());
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
    if (format == "gpx") WriteGpx(text, TrackName(input), track.points());
    else if (format == "kml") WriteKml(text, TrackName(input), track.points());
    else WriteCsv(text, track.points(), time);
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
    return track.badChecksums() > 0 || track.unreadSentences() > 0 || walker.stoppedEarly() ? kExitPartial
                                                                                            : kExitOk;
}

}  // namespace droskal::cli
