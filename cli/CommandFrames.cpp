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

struct FramesOptions {
    FrameFormat format = FrameFormat::Bmp;
    std::string extension = "bmp";
    std::int64_t first = 0;
    std::int64_t count = std::numeric_limits<std::int64_t>::max();
    std::int64_t last = 0;  // exclusive
    int jobs = DefaultJobs();
};

// An empty answer when the options are usable, else what is wrong.
std::string ReadFramesOptions(const ParsedArgs& a, FramesOptions& o) {
    o.extension = a.value("--format", "bmp");
    if (o.extension == "bmp")
        o.format = FrameFormat::Bmp;
    else if (o.extension == "png")
        o.format = FrameFormat::Png;
    else if (o.extension == "yuv420p")
        o.format = FrameFormat::Yuv;
    else
        return "unknown format '" + o.extension + "'";
    if (a.has("--first") && !ParseCount(a.value("--first", ""), o.first))
        return "--first needs a whole number >= 0";
    if (a.has("--count") && !ParseCount(a.value("--count", ""), o.count))
        return "--count needs a whole number >= 0";
    if (a.has("--jobs") && !ParseJobs(a.value("--jobs", ""), o.jobs))
        return "--jobs needs a whole number from 1 to 256";
    o.last = o.count > std::numeric_limits<std::int64_t>::max() - o.first
                 ? std::numeric_limits<std::int64_t>::max()
                 : o.first + o.count;
    return {};
}

// Where the pictures go: one file each in a folder, or one yuv file, or standard output.
class FrameSink {
  public:
    FrameSink(const FramesOptions& o, const std::string& output)
        : options_(o), output_(output), toStdout_(o.format == FrameFormat::Yuv && output == "-") {}

    bool open(const std::vector<std::string>& inputs, std::string& error) {
        if (toStdout_) return true;  // written as it comes: a pipe has no file to replace
        if (options_.format == FrameFormat::Yuv) {
            if (WritesOverInput(inputs, output_)) {
                error = "refusing to write over the recording itself: " + output_;
                return false;
            }
            return yuv_.open(output_, error);
        }
        std::error_code ec;
        std::filesystem::create_directories(output_, ec);
        if (std::filesystem::is_directory(output_)) return true;
        error = "cannot create folder " + output_ + (ec ? ": " + ec.message() : std::string());
        return false;
    }

    bool write(std::int64_t index, const std::vector<std::uint8_t>& bytes, std::string& error) {
        if (options_.format == FrameFormat::Yuv) {
            return toStdout_ ? WriteAll(STDOUT_FILENO, bytes.data(), bytes.size(), error)
                             : yuv_.write(bytes.data(), bytes.size(), error);
        }
        if (bytes.empty()) {
            error = "cannot encode picture " + std::to_string(index);
            return false;
        }
        const std::string name =
            (std::filesystem::path(output_) / IndexName(index, options_.extension.c_str()))
                .string();
        return WriteWholeFile(name, bytes.data(), bytes.size(), error);
    }

    bool finish(std::string& error) {
        return options_.format != FrameFormat::Yuv || toStdout_ || yuv_.commit(error);
    }

  private:
    const FramesOptions& options_;
    std::string output_;
    bool toStdout_;
    OutputFile yuv_;
};

// Pictures are encoded on the decoding threads; PNG takes far longer than decoding.
void SetEncoder(ParallelWalk& walk, FrameFormat format, std::uint8_t picFormat) {
    walk.setEncoder([format, picFormat](const WalkedPicture& p) {
        const PictureFormatInfo& info = *FormatInfo(picFormat);
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
    FramesOptions o;
    if (const std::string wrong = ReadFramesOptions(a, o); !wrong.empty())
        return UsageError(io, "frames", wrong, kFramesUsage);

    Walker walker;
    std::vector<std::string> files;
    if (!OpenInput(walker, a.positional[0], a, files, error)) return FileError(io, "frames", error);
    FrameSink sink(o, a.positional[1]);
    if (!sink.open(files, error)) return FileError(io, "frames", error);

    Progress progress(io.err, io.progress, "frames");
    std::int64_t exported = 0;
    std::int64_t skipped = 0;
    WalkedPicture pic;
    bool rangeDone = false;
    const Decode decode = o.format == FrameFormat::Yuv ? Decode::Planes : Decode::Bitmap;
    ParallelWalk walk(walker, o.jobs);
    SetEncoder(walk, o.format, walker.picFormat());
    const auto decodeFor = [&](std::int64_t index) {
        return index >= o.first && index < o.last ? decode : Decode::None;
    };
    while (walk.next(pic, decodeFor, o.last - 1)) {
        progress.update(static_cast<double>(walker.file().readPosition()) /
                        static_cast<double>(std::max<std::int64_t>(1, walker.length())));
        if (pic.index < o.first) continue;
        if (!pic.read || !pic.decoded) {
            progress.finish();
            io.err << "droskal-cli frames: picture " << pic.index << " at position "
                   << pic.picturePos << (pic.read ? " cannot be decoded" : " cannot be read")
                   << ", skipped\n";
            ++skipped;
        } else if (!sink.write(pic.index, walk.encoded(), error)) {
            progress.finish();
            return FileError(io, "frames", error);
        } else {
            ++exported;
        }
        if (pic.index + 1 >= o.last) {
            rangeDone = true;
            break;
        }
    }
    progress.finish();
    if (!sink.finish(error)) return FileError(io, "frames", error);
    const bool stoppedEarly = !rangeDone && walker.stoppedEarly();
    if (stoppedEarly) {
        io.err << "droskal-cli frames: no picture start code within 299,999 bytes after position "
               << walker.file().readPosition() << "; the rest of the file was not read\n";
    }
    if (exported == 0 && skipped == 0 && o.count > 0) {
        io.err << "droskal-cli frames: no picture from index " << o.first << " on\n";
        return kExitPartial;
    }
    io.err << "droskal-cli frames: " << exported << " pictures exported";
    if (skipped > 0) io.err << ", " << skipped << " skipped";
    io.err << "\n";
    return skipped > 0 || stoppedEarly ? kExitPartial : kExitOk;
}

}  // namespace droskal::cli
