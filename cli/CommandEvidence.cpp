// evidence: a marked stretch as an evidence pack (fragment, clip with captions, track, report,
// checksums) in a new folder.
#include <QGuiApplication>

#include <memory>

#include "cli/Args.h"
#include "cli/Progress.h"
#include "cli/Usage.h"
#include "evidence/Pack.h"
#include "evidence/QtBand.h"

namespace droskal::cli {

namespace {

const char* const kEvidenceUsage =
    "usage: droskal-cli evidence FILE --from A --to B OUTDIR [--minimap]\n"
    "  Makes a new folder in OUTDIR, named after the stretch's start time, holding pictures\n"
    "  A to B (counted from 1, both included) as original.m1v (byte for byte as `cut` writes\n"
    "  it), video.mp4 (H.264 with date, time, speed, position, file and picture burned in),\n"
    "  track.gpx, track.csv, report.html with key pictures, and SHA256SUMS; a recipient\n"
    "  checks the folder with `sha256sum -c SHA256SUMS`. Nothing is left behind on failure\n"
    "  and an existing folder is never replaced.\n"
    "  --minimap  a map inset (needs map sources, which this build does not have yet)\n";

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
    if (!ParseArgs(args, {"--from", "--to"}, {"--minimap"}, a, error)) {
        return UsageError(io, "evidence", error, kEvidenceUsage);
    }
    if (a.help) {
        io.out << kEvidenceUsage;
        return kExitOk;
    }
    if (a.positional.size() != 2)
        return UsageError(io, "evidence", "needs FILE and OUTDIR", kEvidenceUsage);
    std::int64_t from = 0, to = 0;
    if (!a.has("--from") || !a.has("--to"))
        return UsageError(io, "evidence", "needs --from and --to", kEvidenceUsage);
    if (!ParseCount(a.value("--from", ""), from) || !ParseCount(a.value("--to", ""), to) ||
        from < 1 || to < 1) {
        return UsageError(io, "evidence", "--from and --to are picture numbers from 1",
                          kEvidenceUsage);
    }
    if (from > to)
        return UsageError(io, "evidence", "--from must not lie behind --to", kEvidenceUsage);
    if (a.values.count("--minimap")) {
        return FileError(io, "evidence",
                         "--minimap needs the map sources, which this build does not have yet");
    }

    evidence::PackRequest request;
    request.recording = a.positional[0];
    request.parentFolder = a.positional[1];
    if (!evidence::MarksForPictures(request.recording, from, to, request.cutStart, request.cutEnd,
                                    error)) {
        return FileError(io, "evidence", error);
    }
    const auto app = EnsureGuiApplication();
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
