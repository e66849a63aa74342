// evidence: a marked stretch as an evidence pack (fragment, clip with captions, track, report,
// checksums) in a new folder.
#include <QGuiApplication>

#include <memory>

#include "cli/Args.h"
#include "cli/Input.h"
#include "cli/MapEntries.h"
#include "cli/Progress.h"
#include "cli/TimeOptions.h"
#include "cli/Usage.h"
#include "evidence/Pack.h"
#include "evidence/QtBand.h"
#include "evidence/QtMap.h"

namespace droskal::cli {

namespace {

const char* const kEvidenceUsage =
    "usage: droskal-cli evidence FILE [--trip N] --from A --to B OUTDIR [--tz ZONE]\n"
    "                            [--units U] [--source FILE_OR_DIR_OR_URL] [--minimap]\n"
    "                            [--hard-braking KMH] [--hard-acceleration KMH]\n"
    "                            [--speed-limit KMH]\n"
    "  Makes a new folder in OUTDIR, named after the stretch's start time, holding pictures\n"
    "  A to B (counted from 1 through the recording or trip, both included) as original.m1v\n"
    "  (byte for byte as `cut` writes it), video.mp4 (H.264 with date, time, speed, position,\n"
    "  file and picture burned in), track.gpx, track.csv, report.html with the events, the\n"
    "  route map, the speed graph and key pictures, and SHA256SUMS; a recipient checks the\n"
    "  folder with `sha256sum -c SHA256SUMS`. Nothing is left behind on failure and an\n"
    "  existing folder is never replaced.\n"
    "  --source   the map for the route and the inset, as `map` takes it; without it:\n"
    "             map.gif beside the program, then the window's map sources\n"
    "  --minimap  a small map of the route with the current position in the clip's\n"
    "             top-right corner (needs a map source)\n"
    "  --hard-braking KMH, --hard-acceleration KMH  a drop or a rise of more than KMH\n"
    "             within one second is an event (default 12 each)\n"
    "  --speed-limit KMH  driving above KMH is an event (default: not looked for)\n";

// The band's text is drawn with Qt's fonts, which need an application object; the command
// line never shows a window, so the offscreen platform serves where no other is asked for.
std::unique_ptr<QGuiApplication> EnsureGuiApplication() {
    if (QCoreApplication::instance()) return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "droskal-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace

int RunEvidence(const std::vector<std::string>& args, const Io& io) {
    ParsedArgs a;
    std::string error;
    const std::string usage = std::string(kEvidenceUsage) + kTimeOptionsUsage;
    if (!ParseArgs(args,
                   WithTimeOptions({"--from", "--to", "--source", kTripOption, "--hard-braking",
                                    "--hard-acceleration", "--speed-limit"}),
                   {"--minimap"}, a, error)) {
        return UsageError(io, "evidence", error, usage.c_str());
    }
    evidence::PackRequest request;
    if (!a.help && !ReadTimeOptions(a, request.time, error))
        return UsageError(io, "evidence", error, usage.c_str());
    if (a.help) {
        io.out << usage << kFolderUsage;
        return kExitOk;
    }
    if (a.positional.size() != 2)
        return UsageError(io, "evidence", "needs FILE and OUTDIR", usage.c_str());
    std::int64_t from = 0, to = 0;
    if (!a.has("--from") || !a.has("--to"))
        return UsageError(io, "evidence", "needs --from and --to", usage.c_str());
    if (!ParseCount(a.value("--from", ""), from) || !ParseCount(a.value("--to", ""), to) ||
        from < 1 || to < 1) {
        return UsageError(io, "evidence", "--from and --to are picture numbers from 1",
                          usage.c_str());
    }
    if (from > to)
        return UsageError(io, "evidence", "--from must not lie behind --to", usage.c_str());
    // The thresholds in km/h, whatever unit the report shows.
    for (const auto& [option, value] :
         {std::pair{"--hard-braking", &request.events.brakingKmh},
          std::pair{"--hard-acceleration", &request.events.accelerationKmh}}) {
        if (a.has(option) && !ParsePositiveNumber(a.value(option, ""), *value))
            return UsageError(io, "evidence", std::string(option) + " needs a speed above 0",
                              usage.c_str());
    }
    if (a.has("--speed-limit")) {
        double limit = 0;
        if (!ParsePositiveNumber(a.value("--speed-limit", ""), limit))
            return UsageError(io, "evidence", "--speed-limit needs a speed above 0", usage.c_str());
        request.events.speedLimitKmh = limit;
    }
    std::int64_t trip = 0;
    if (a.has(kTripOption) && (!ParseCount(a.value(kTripOption, ""), trip) || trip < 1))
        return UsageError(io, "evidence", "--trip counts from 1", usage.c_str());

    // Fonts, pictures and the network need an application object.
    const auto app = EnsureGuiApplication();
    evidence::PackMapSetup maps;
    maps.unit = request.time.unit;
    if (a.has("--source")) {
        maps.chosen << QString::fromStdString(a.value("--source", ""));
    } else {
        maps.entries = DefaultMapEntries(maps.online);
    }
    QStringList problems;
    const bool anyMap = evidence::AnyMapSource(maps, problems);
    for (const QString& p : problems) io.err << "droskal-cli evidence: " << p.toStdString() << "\n";
    if (a.has("--source") && !anyMap) return kExitUsage;
    request.minimap = a.values.count("--minimap") > 0;
    if (request.minimap && !anyMap) {
        return UsageError(io, "evidence",
                          "--minimap needs a map source: give --source, or set map sources in "
                          "the window",
                          usage.c_str());
    }
    if (anyMap) request.maps = evidence::PackMapsFrom(maps);

    request.recording = a.positional[0];
    request.trip = static_cast<int>(trip);
    request.parentFolder = a.positional[1];
    if (!evidence::MarksForPictures(request.recording, request.trip, from, to, request.cutStart,
                                    request.cutEnd, error)) {
        return FileError(io, "evidence", error);
    }
    request.band = evidence::QtBandPainter();
    evidence::PackFolder folder;
    evidence::PackResult result;
    {
        Progress progress(io.err, io.progress, "evidence");
        result = evidence::BuildEvidencePack(
            request, folder, [&](double f) { progress.update(f); }, nullptr);
    }
    if (result.status != evidence::PackResult::Status::Done)
        return FileError(io, "evidence", result.error);
    io.err << "droskal-cli evidence: pictures " << from << " to " << to << " packed into "
           << result.folder << "\n";
    if (result.undecoded > 0) {
        io.err << "droskal-cli evidence: " << result.undecoded
               << " pictures could not be decoded; the clip shows the picture before them\n";
        return kExitPartial;
    }
    return kExitOk;
}

}  // namespace droskal::cli
