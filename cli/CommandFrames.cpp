// frames: every picture of a recording as a BMP or PNG file, or all of them as raw yuv420p.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "cli/Args.h"
#include "cli/Input.h"
#include "cli/OutputFile.h"
#include "cli/ParallelWalk.h"
#include "cli/PngFile.h"
#include "cli/Progress.h"
#include "cli/Usage.h"
#include "decoder/PictureFormat.h"
#include "decoder/YuvPlanes.h"
#include "image/BmpFile.h"
#include "recording/Walker.h"

namespace droskal::cli {

namespace {

const char* const kFramesUsage =
    "usage: droskal-cli frames FILE OUT [--trip N] [--format bmp|png|yuv420p] [--first N] [--count "
    "N]\n"
    "                          [--jobs N]\n"
    "  bmp, png: one file per picture in folder OUT (created if missing), named by the\n"
    "            0-based picture index: 000000.bmp, 000001.bmp, ...\n"
    "  yuv420p:  all pictures into the file OUT (- for standard output) as raw planar\n"
    "            4:2:0 (Y, Cb, Cr), as ffmpeg -f rawvideo -pix_fmt yuv420p writes them\n"
    "  --first N  first picture index to export (default 0)\n"
    "  --count N  number of pictures to export (default: all)\n"
    "  --jobs N   pictures decoded at once (default: the number of cores); the output is\n"
    "             the same for every N\n"
    "Unreadable pictures are reported on stderr and skipped (exit status 1).\n";

const std::string kFramesHelp = std::string(kFramesUsage) + kFolderUsage;

enum class FrameFormat { Bmp, Png, Yuv };

// Everything to a descriptor that is not ours to close (standard output); false with the
// reason, a reader that went away (EPIPE) included.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, std::string& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot write to standard output: ") + std::strerror(errno);
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string IndexName(std::int64_t index, const char* extension) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%06lld.%s", static_cast<long long>(index), extension);
    return buf;
}

}  // namespace

int RunFrames(const std::vector<std::string>& args, const Io& io) {
    ParsedArgs a;
    std::string error;
    if (!ParseArgs(args, {"--format", "--first", "--count", "--jobs", kTripOption}, {}, a, error)) {
        return UsageError(io, "frames", error, kFramesUsage);
    }
    if (a.help) {
        io.out << kFramesHelp;
        return kExitOk;
    }
    if (a.positional.size() != 2)
        return UsageError(io, "frames", "needs FILE and OUT", kFramesUsage);
    const std::string& input = a.positional[0];
    const std::string& output = a.positional[1];

    const std::string formatText = a.value("--format", "bmp");
    FrameFormat format;
    if (formatText == "bmp")
        format = FrameFormat::Bmp;
    else if (formatText == "png")
        format = FrameFormat::Png;
    else if (formatText == "yuv420p")
        format = FrameFormat::Yuv;
    else
        return UsageError(io, "frames", "unknown format '" + formatText + "'", kFramesUsage);

    std::int64_t first = 0;
    std::int64_t count = std::numeric_limits<std::int64_t>::max();
    if (a.has("--first") && !ParseCount(a.value("--first", ""), first)) {
        return UsageError(io, "frames", "--first needs a whole number >= 0", kFramesUsage);
    }
    if (a.has("--count") && !ParseCount(a.value("--count", ""), count)) {
        return UsageError(io, "frames", "--count needs a whole number >= 0", kFramesUsage);
    }
    int jobs = DefaultJobs();
    if (a.has("--jobs") && !ParseJobs(a.value("--jobs", ""), jobs)) {
        return UsageError(io, "frames", "--jobs needs a whole number from 1 to 256", kFramesUsage);
    }
    const std::int64_t last = count > std::numeric_limits<std::int64_t>::max() - first
                                  ? std::numeric_limits<std::int64_t>::max()
                                  : first + count;  // exclusive

    Walker walker;
    std::vector<std::string> files;
    if (!OpenInput(walker, input, a, files, error)) return FileError(io, "frames", error);
    const PictureFormatInfo& info = *FormatInfo(walker.picFormat());

    OutputFile yuv;
    const bool toStdout = format == FrameFormat::Yuv && output == "-";
    if (toStdout) {
        // Written as it comes: a pipe has no file to replace.
    } else if (format == FrameFormat::Yuv) {
        if (WritesOverInput(files, output)) {
            return FileError(io, "frames",
                             "refusing to write over the recording itself: " + output);
        }
        if (!yuv.open(output, error)) return FileError(io, "frames", error);
    } else {
        std::error_code ec;
        std::filesystem::create_directories(output, ec);
        if (!std::filesystem::is_directory(output)) {
            return FileError(
                io, "frames",
                "cannot create folder " + output + (ec ? ": " + ec.message() : std::string()));
        }
    }

    Progress progress(io.err, io.progress, "frames");
    std::int64_t exported = 0;
    std::int64_t skipped = 0;
    WalkedPicture pic;
    bool rangeDone = false;
    const Decode decode = format == FrameFormat::Yuv ? Decode::Planes : Decode::Bitmap;
    ParallelWalk walk(walker, jobs);
    // Pictures are encoded on the decoding threads; PNG takes far longer than decoding.
    const std::uint8_t picFormat = walker.picFormat();
    walk.setEncoder([&info, format, picFormat](const WalkedPicture& p) {
        switch (format) {
            case FrameFormat::Bmp:
                return EncodeBmp24(info.width, info.height, p.picBuf, info.rowBytes);
            case FrameFormat::Png:
                return EncodePngFromBgrBottomUp(info.width, info.height, p.picBuf);
            case FrameFormat::Yuv:
                break;
        }
        return PicBufToYuv420p(p.picBuf, picFormat);
    });
    const auto decodeFor = [&](std::int64_t index) {
        return index >= first && index < last ? decode : Decode::None;
    };
    while (walk.next(pic, decodeFor, last - 1)) {
        progress.update(static_cast<double>(walker.file().readPosition()) /
                        static_cast<double>(std::max<std::int64_t>(1, walker.length())));
        if (pic.index < first) continue;
        if (!pic.read || !pic.decoded) {
            progress.finish();
            io.err << "droskal-cli frames: picture " << pic.index << " at position "
                   << pic.picturePos << (pic.read ? " cannot be decoded" : " cannot be read")
                   << ", skipped\n";
            ++skipped;
        } else if (format == FrameFormat::Yuv) {
            const std::vector<std::uint8_t>& planes = walk.encoded();
            const bool written = toStdout
                                     ? WriteAll(STDOUT_FILENO, planes.data(), planes.size(), error)
                                     : yuv.write(planes.data(), planes.size(), error);
            if (!written) {
                progress.finish();
                return FileError(io, "frames", error);
            }
            ++exported;
        } else {
            const std::vector<std::uint8_t>& bytes = walk.encoded();
            if (bytes.empty())
                return FileError(io, "frames",
                                 "cannot encode picture " + std::to_string(pic.index));
            const std::string name =
                (std::filesystem::path(output) / IndexName(pic.index, formatText.c_str())).string();
            if (!WriteWholeFile(name, bytes.data(), bytes.size(), error))
                return FileError(io, "frames", error);
            ++exported;
        }
        if (pic.index + 1 >= last) {
            rangeDone = true;
            break;
        }
    }
    progress.finish();
    if (format == FrameFormat::Yuv && !toStdout && !yuv.commit(error))
        return FileError(io, "frames", error);
    const bool stoppedEarly = !rangeDone && walker.stoppedEarly();
    if (stoppedEarly) {
        io.err << "droskal-cli frames: no picture start code within 299,999 bytes after position "
               << walker.file().readPosition() << "; the rest of the file was not read\n";
    }
    if (exported == 0 && skipped == 0 && count > 0) {
        io.err << "droskal-cli frames: no picture from index " << first << " on\n";
        return kExitPartial;
    }
    io.err << "droskal-cli frames: " << exported << " pictures exported";
    if (skipped > 0) io.err << ", " << skipped << " skipped";
    io.err << "\n";
    return skipped > 0 || stoppedEarly ? kExitPartial : kExitOk;
}

}  // namespace droskal::cli
