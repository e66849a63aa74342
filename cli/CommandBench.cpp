// bench: how fast the window's road (searches, decoding, colour conversion) runs on a
// recording held in memory, so that the disk does not count.
#include <chrono>
#include <fstream>

#include "cli/Args.h"
#include "cli/Input.h"
#include "cli/ParallelWalk.h"
#include "cli/Progress.h"
#include "cli/Text.h"
#include "cli/Usage.h"
#include "recording/Walker.h"

namespace droskal::cli {

namespace {

const char* const kBenchUsage =
    "usage: droskal-cli bench FILE [--trip N] [--seconds S | --passes N] [--jobs N]\n"
    "  Reads FILE into memory and walks and decodes every picture again and again for\n"
    "  S seconds (default 3, at least one full pass), or exactly N times (for timing the\n"
    "  whole process from outside), decoding N pictures at once with --jobs (default: the\n"
    "  number of cores). The last line reads\n"
    "  \"bench: P pictures/s, M MB/s\" (MB = 1,000,000 bytes of the recording).\n";

const std::string kBenchHelp = std::string(kBenchUsage) + kFolderUsage;

// Appends the whole file to `bytes` in one read: byte-wise stream iterators would cost as
// much as decoding a picture.
bool AppendFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (!in || size < 0) return false;
    const std::size_t at = bytes.size();
    bytes.resize(at + static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data() + at), size);
    return in.gcount() == size;
}

}  // namespace

int RunBench(const std::vector<std::string>& args, const Io& io) {
    ParsedArgs a;
    std::string error;
    if (!ParseArgs(args, {"--seconds", "--passes", "--jobs", kTripOption}, {}, a, error))
        return UsageError(io, "bench", error, kBenchUsage);
    if (a.help) {
        io.out << kBenchHelp;
        return kExitOk;
    }
    if (a.positional.size() != 1) return UsageError(io, "bench", "needs one FILE", kBenchUsage);
    double seconds = 3;
    if (a.has("--seconds") && !ParsePositiveNumber(a.value("--seconds", ""), seconds)) {
        return UsageError(io, "bench", "--seconds needs a number above 0", kBenchUsage);
    }
    std::int64_t passLimit = 0;  // 0: run by the clock
    if (a.has("--passes")) {
        if (a.has("--seconds"))
            return UsageError(io, "bench", "--seconds and --passes exclude each other",
                              kBenchUsage);
        if (!ParseCount(a.value("--passes", ""), passLimit) || passLimit == 0)
            return UsageError(io, "bench", "--passes needs a whole number above 0", kBenchUsage);
    }
    int jobs = DefaultJobs();
    if (a.has("--jobs") && !ParseJobs(a.value("--jobs", ""), jobs))
        return UsageError(io, "bench", "--jobs needs a whole number from 1 to 256", kBenchUsage);
    const std::string& input = a.positional[0];

    std::vector<std::string> files;
    if (!InputFiles(input, a, files, error)) return FileError(io, "bench", error);
    // One file is mapped, not copied: copying a large recording costs more than decoding a
    // good share of it. A trip's files are laid end to end in one copy.
    Walker walker;
    bool opened = false;
    if (files.size() == 1) {
        int err = 0;
        opened = walker.openMapped(files[0], err);
        if (err != 0) return FileError(io, "bench", files[0] + ": cannot be read");
    } else {
        std::vector<std::uint8_t> bytes;
        for (const auto& file : files) {
            if (!AppendFile(file, bytes)) return FileError(io, "bench", file + ": cannot be read");
        }
        opened = walker.openMemory(std::move(bytes));
    }
    if (!opened) {
        return FileError(
            io, "bench",
            input + ": not a recording: no 640x480 or 320x240 sequence header at its start");
    }

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::int64_t pictures = 0, decoded = 0, passes = 0;
    double elapsed = 0;
    Progress progress(io.err, io.progress, "bench");
    ParallelWalk walk(walker, jobs);
    const auto decodeAll = [](std::int64_t) { return Decode::Bitmap; };
    do {
        walk.rewind();
        WalkedPicture pic;
        std::int64_t passPictures = 0;
        while (walk.next(pic, decodeAll)) {
            ++passPictures;
            decoded += pic.decoded ? 1 : 0;
        }
        if (passPictures == 0) return FileError(io, "bench", input + ": no pictures found");
        pictures += passPictures;
        ++passes;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        progress.update(passLimit > 0 ? static_cast<double>(passes) / static_cast<double>(passLimit)
                                      : elapsed / seconds);
    } while (passLimit > 0 ? passes < passLimit : elapsed < seconds);
    progress.finish();

    const double megabytes =
        static_cast<double>(walker.length()) * static_cast<double>(passes) / 1e6;
    io.out << "bench: " << passes << " passes, " << pictures << " pictures (" << decoded
           << " decoded) in " << Fixed(elapsed, 2) << " s, " << jobs
           << (jobs == 1 ? " job\n" : " jobs\n")
           << "bench: " << Fixed(static_cast<double>(pictures) / elapsed, 1) << " pictures/s, "
           << Fixed(megabytes / elapsed, 1) << " MB/s\n";
    return decoded == pictures ? kExitOk : kExitPartial;
}

}  // namespace droskal::cli
