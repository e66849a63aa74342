// cut: pictures A to B as a new recording, byte for byte what the window's fragment save
// writes for marks set on those pictures.
#include "cli/Args.h"
#include "cli/Input.h"
#include "cli/OutputFile.h"
#include "cli/Progress.h"
#include "cli/Usage.h"
#include "recording/Walker.h"
#include "stream/Fragment.h"

namespace droskal::cli {

namespace {

const char* const kCutUsage =
    "usage: droskal-cli cut FILE [--trip N] --from A --to B OUT\n"
    "  Saves pictures A to B (counted from 1, both included) as a new recording: the\n"
    "  recording's first 20 bytes, then the stretch from the group header before picture A\n"
    "  to the sequence end code of picture B. OUT is replaced only once it is complete.\n";

const std::string kCutHelp = std::string(kCutUsage) + kFolderUsage;

}  // namespace

int RunCut(const std::vector<std::string>& args, const Io& io) {
    ParsedArgs a;
    std::string error;
    if (!ParseArgs(args, {"--from", "--to", kTripOption}, {}, a, error))
        return UsageError(io, "cut", error, kCutUsage);
    if (a.help) {
        io.out << kCutHelp;
        return kExitOk;
    }
    if (a.positional.size() != 2) return UsageError(io, "cut", "needs FILE and OUT", kCutUsage);
    std::int64_t from = 0, to = 0;
    if (!a.has("--from") || !a.has("--to"))
        return UsageError(io, "cut", "needs --from and --to", kCutUsage);
    if (!ParseCount(a.value("--from", ""), from) || !ParseCount(a.value("--to", ""), to) ||
        from < 1 || to < 1) {
        return UsageError(io, "cut", "--from and --to are picture numbers from 1", kCutUsage);
    }
    if (from > to) return UsageError(io, "cut", "--from must not lie behind --to", kCutUsage);
    const std::string& input = a.positional[0];
    const std::string& output = a.positional[1];
    std::vector<std::string> files;
    if (!InputFiles(input, a, files, error)) return FileError(io, "cut", error);
    if (WritesOverInput(files, output)) {
        return FileError(io, "cut", "refusing to write over the recording itself: " + output);
    }

    Walker walker;
    if (!OpenInput(walker, input, a, files, error)) return FileError(io, "cut", error);
    std::int64_t cutStart = -1, cutEnd = -1;
    {
        Progress progress(io.err, io.progress, "cut");
        WalkedPicture pic;
        while (walker.next(pic, Decode::None)) {
            if (pic.index == from - 1) cutStart = pic.picturePos;
            if (pic.index == to - 1) {
                if (!pic.read) {
                    return FileError(io, "cut",
                                     "picture " + std::to_string(to) + " at position " +
                                         std::to_string(pic.picturePos) +
                                         " cannot be read to its end code");
                }
                cutEnd = pic.endPos;
                break;
            }
            progress.update(static_cast<double>(pic.index) / static_cast<double>(to));
        }
        if (cutEnd < 0) {
            return FileError(
                io, "cut", "the recording has only " + std::to_string(pic.index + 1) + " pictures");
        }
    }

    OutputFile out;
    if (!out.open(output, error)) return FileError(io, "cut", error);
    const bool copied = CopyFragment(
        walker.file(), cutStart, cutEnd,
        [&out](const std::uint8_t* data, std::size_t size, std::string& sinkError) {
            return out.write(data, size, sinkError);
        },
        error);
    if (!copied || !out.commit(error)) return FileError(io, "cut", error);
    const FragmentPlan plan = PlanFragment(cutStart, cutEnd, walker.length());
    io.err << "droskal-cli cut: pictures " << from << " to " << to << ", "
           << plan.headerBytes + plan.count << " bytes written to " << output << "\n";
    return kExitOk;
}

}  // namespace droskal::cli
