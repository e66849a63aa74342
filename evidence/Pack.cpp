#include "evidence/Pack.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>

#include "Version.h"
#include "cli/Input.h"
#include "cli/PngFile.h"
#include "cli/TrackFormats.h"
#include "decoder/PictureFormat.h"
#include "decoder/YuvPlanes.h"
#include "evidence/Checksums.h"
#include "evidence/ClipWriter.h"
#include "evidence/Report.h"
#include "recording/Walker.h"
#include "stream/Fragment.h"

namespace droskal::evidence {

namespace {

namespace fs = std::filesystem;

constexpr double kKeyPictureSeconds = 10;

struct StretchPicture {
    std::int64_t index;  // 0-based in the recording
    std::optional<RmcSentence> sentence;
};

// The temporary folder goes away unless the pack is finished.
class TempFolder {
  public:
    bool make(const std::string& parent, const std::string& name, std::string& error) {
        std::string pattern = (fs::path(parent) / ("." + name + ".partial-XXXXXX")).string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!::mkdtemp(buffer.data())) {
            error = "cannot create a folder in " + parent + ": " + std::strerror(errno);
            return false;
        }
        path_ = buffer.data();
        ::chmod(path_.c_str(), 0777 & ~CurrentUmask());
        return true;
    }
    // Gives the folder its final name; never replaces an existing one, even an empty one.
    bool commit(const std::string& target, std::string& error) {
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
            error = errno == EEXIST
                        ? target + " already exists"
                        : "cannot rename the pack to " + target + ": " + std::strerror(errno);
            return false;
        }
        path_.clear();
        return true;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

  private:
    static mode_t CurrentUmask() {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
    }
    std::string path_;
};

// The band's RGB rows into the picture's planes, and whole pictures into BGR for PNGs.
class Converter {
  public:
    Converter(int width, int height, BandPlace band) : width_(width), height_(height), band_(band) {
        toYuv_ = sws_getContext(width, band.height, AV_PIX_FMT_RGB24, width, band.height,
                                AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
        toBgr_ = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGR24,
                                SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                nullptr, nullptr);
    }
    ~Converter() {
        sws_freeContext(toYuv_);
        sws_freeContext(toBgr_);
    }
    bool ok() const { return toYuv_ && toBgr_; }

    // yuv: Y, then Cb, then Cr planes of the whole picture.
    void burnBand(const std::uint8_t* rgb, std::vector<std::uint8_t>& yuv) const {
        const int cw = width_ / 2;
        std::uint8_t* y = yuv.data();
        std::uint8_t* cb = y + static_cast<std::size_t>(width_) * height_;
        std::uint8_t* cr = cb + static_cast<std::size_t>(cw) * (height_ / 2);
        std::uint8_t* dst[3] = {y + static_cast<std::size_t>(band_.top) * width_,
                                cb + static_cast<std::size_t>(band_.top / 2) * cw,
                                cr + static_cast<std::size_t>(band_.top / 2) * cw};
        const int dstStride[3] = {width_, cw, cw};
        const std::uint8_t* src[1] = {rgb};
        const int srcStride[1] = {width_ * 3};
        sws_scale(toYuv_, src, srcStride, 0, band_.height, dst, dstStride);
    }
    // BGR rows bottom-up, as the PNG writer takes them.
    std::vector<std::uint8_t> toBgrBottomUp(const std::vector<std::uint8_t>& yuv) const {
        std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width_) * height_ * 3);
        const int cw = width_ / 2;
        const std::uint8_t* src[3] = {yuv.data(),
                                      yuv.data() + static_cast<std::size_t>(width_) * height_,
                                      yuv.data() + static_cast<std::size_t>(width_) * height_ +
                                          static_cast<std::size_t>(cw) * (height_ / 2)};
        const int srcStride[3] = {width_, cw, cw};
        std::uint8_t* dst[1] = {bgr.data() + static_cast<std::size_t>(height_ - 1) * width_ * 3};
        const int dstStride[1] = {-width_ * 3};
        sws_scale(toBgr_, src, srcStride, 0, height_, dst, dstStride);
        return bgr;
    }

  private:
    int width_, height_;
    BandPlace band_;
    SwsContext* toYuv_ = nullptr;
    SwsContext* toBgr_ = nullptr;
};

std::string TwoDigits(int v) {
    return (v < 10 ? "0" : "") + std::to_string(v);
}

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

PackResult Fail(std::string error) {
    PackResult r;
    r.status = PackResult::Status::Failed;
    r.error = std::move(error);
    return r;
}

PackResult Cancel() {
    PackResult r;
    r.status = PackResult::Status::Cancelled;
    return r;
}

}  // namespace

const char* ProgramVersion() {
    return kDroskalVersion;
}

std::string PackFolderName(const std::optional<RmcSentence>& start, std::int64_t firstPicture) {
    if (!start || !start->hasDate || !start->hasTime)
        return "picture-" + std::to_string(firstPicture) + "_incident";
    const int whole = static_cast<int>(std::floor(start->secondsOfDay));
    return std::to_string(start->year) + "-" + TwoDigits(start->month) + "-" +
           TwoDigits(start->day) + "_" + TwoDigits(whole / 3600) + "-" +
           TwoDigits(whole / 60 % 60) + "-" + TwoDigits(whole % 60) + "_incident";
}

bool MarksForPictures(const std::string& recording, std::int64_t from, std::int64_t to,
                      std::int64_t& cutStart, std::int64_t& cutEnd, std::string& error) {
    Walker walker;
    std::vector<std::string> files;
    if (!cli::OpenInput(walker, recording, cli::ParsedArgs{}, files, error)) return false;
    cutStart = cutEnd = -1;
    WalkedPicture pic;
    while (walker.next(pic, Decode::None)) {
        if (pic.index == from - 1) cutStart = pic.picturePos;
        if (pic.index == to - 1) {
            if (!pic.read) {
                error = "picture " + std::to_string(to) + " cannot be read to its end code";
                return false;
            }
            cutEnd = pic.endPos;
            return cutStart > 0;
        }
    }
    error = "the recording has only " + std::to_string(pic.index + 1) + " pictures";
    return false;
}

// One piece: the steps share the walker, the temporary folder and the progress, and each
// failure must leave through the same cleanup.
PackResult BuildEvidencePack(const PackRequest& request, PackFolder& folder,
                             const std::function<void(double)>& progress,
                             const std::atomic<bool>* cancel) {
    const auto report = [&](double f) {
        if (progress) progress(std::clamp(f, 0.0, 1.0));
    };
    std::string error;
    Walker walker;
    std::vector<std::string> sources;
    cli::ParsedArgs input;
    if (request.trip > 0) input.values[cli::kTripOption] = std::to_string(request.trip);
    if (!cli::OpenInput(walker, request.recording, input, sources, error)) return Fail(error);
    const PictureFormatInfo& format = *FormatInfo(walker.picFormat());

    // First pass, searches only: which pictures, their sentences, the track.
    std::vector<StretchPicture> stretch;
    cli::GpsTrack track;
    std::int64_t lastEnd = -1;
    {
        WalkedPicture pic;
        while (walker.next(pic, Decode::None)) {
            if (pic.picturePos > request.cutEnd) break;
            if (pic.picturePos < request.cutStart) continue;
            StretchPicture sp{pic.index, std::nullopt};
            RmcSentence s;
            if (pic.sentenceRead && ParseRmcFields(*pic.nmeaText, s) == RmcResult::Ok)
                sp.sentence = s;
            stretch.push_back(sp);
            track.add(pic);
            lastEnd = pic.endPos;
            if (Cancelled(cancel)) return Cancel();
        }
    }
    if (stretch.empty() || lastEnd < request.cutEnd) {
        return Fail("the marked stretch does not match the pictures of the recording");
    }
    report(0.03);

    const std::string name = PackFolderName(track.firstTimed(), stretch.front().index + 1);
    const std::string target = (fs::path(request.parentFolder) / name).string();
    if (fs::exists(fs::symlink_status(target))) return Fail(target + " already exists");
    TempFolder temp;
    if (!temp.make(request.parentFolder, name, error)) return Fail(error);
    std::vector<std::string> files;

    // original.m1v: the fragment save's bytes.
    {
        auto out = folder.create(temp.path(), "original.m1v", error);
        if (!out) return Fail(error);
        const bool copied = CopyFragment(
            walker.file(), request.cutStart, request.cutEnd,
            [&out](const std::uint8_t* data, std::size_t size, std::string& sinkError) {
                return out->write(data, size, sinkError);
            },
            error);
        if (!copied || !out->close(error)) return Fail(error);
        files.push_back("original.m1v");
    }
    report(0.06);

    // The track as `droskal-cli track` writes it.
    const std::string recordingName = cli::TrackName(request.recording);
    {
        std::ostringstream gpx, csv;
        cli::WriteGpx(gpx, recordingName, track.points());
        cli::WriteCsv(csv, track.points());
        if (!WritePackFile(folder, temp.path(), "track.gpx", gpx.str(), error) ||
            !WritePackFile(folder, temp.path(), "track.csv", csv.str(), error)) {
            return Fail(error);
        }
        files.push_back("track.gpx");
        files.push_back("track.csv");
    }

    // The sequence header's picture_rate code: the low four bits of its eighth byte.
    std::uint8_t header[8] = {};
    walker.file().peek(1, 8, header);
    PictureRate rate = PictureRateFromCode(header[7] & 0x0F);
    const bool rateAssumed = rate.num == 0;
    if (rateAssumed) rate = {25, 1};

    // Second pass: decode, burn the band in, encode; key pictures on the way.
    const BandPlace band = BandFor(format.height);
    Converter convert(format.width, format.height, band);
    if (!convert.ok()) return Fail("cannot set up the picture conversion");
    auto clipOut = folder.create(temp.path(), "video.mp4", error);
    if (!clipOut) return Fail(error);
    ClipWriter clip;
    if (!clip.open(*clipOut, format.width, format.height, rate, error)) return Fail(error);

    const auto keyEvery = std::max<std::int64_t>(
        1, std::llround(kKeyPictureSeconds * rate.num / static_cast<double>(rate.den)));
    std::vector<std::uint8_t> yuv(static_cast<std::size_t>(format.pixelCount) * 3 / 2, 0);
    std::fill(yuv.begin() + format.pixelCount, yuv.end(), 128);
    std::vector<std::uint8_t> bandRgb(static_cast<std::size_t>(format.width) * band.height * 3);
    std::vector<KeyPicture> keys;
    std::int64_t undecoded = 0;
    const std::optional<RmcSentence> gpsClock = track.firstTimed();
    double nextKeySeconds = 0;
    walker.rewind();
    std::size_t k = 0;
    WalkedPicture pic;
    while (k < stretch.size() && walker.next(pic, Decode::Planes)) {
        if (pic.index < stretch[k].index) continue;
        if (pic.decoded) {
            yuv = PicBufToYuv420p(pic.picBuf, walker.picFormat());
        } else {
            ++undecoded;  // the previous picture stands in, so the clip keeps its timing
        }
        const PictureCaption caption{stretch[k].sentence, recordingName, pic.index + 1};
        std::fill(bandRgb.begin(), bandRgb.end(), 0);
        if (request.band)
            request.band(CaptionLines(caption), format.width, band.height, bandRgb.data());
        convert.burnBand(bandRgb.data(), yuv);
        const std::uint8_t* planes = yuv.data();
        const Yuv420 picture{planes, planes + format.pixelCount,
                             planes + format.pixelCount * 5 / 4};
        if (!clip.addPicture(picture, error)) return Fail(error);

        const auto i = static_cast<std::int64_t>(k);
        // Every 10 s of the drive by the GPS clock where the stretch has one, else of the clip.
        bool tenSeconds = !gpsClock && i % keyEvery == 0;
        if (gpsClock && stretch[k].sentence && stretch[k].sentence->hasDate &&
            stretch[k].sentence->hasTime) {
            const double elapsed =
                stretch[k].sentence->secondsSince2000() - gpsClock->secondsSince2000();
            if (elapsed >= nextKeySeconds) {
                tenSeconds = true;
                while (elapsed >= nextKeySeconds) nextKeySeconds += kKeyPictureSeconds;
            }
        }
        if (i == 0 || i + 1 == static_cast<std::int64_t>(stretch.size()) || tenSeconds) {
            const std::string file = "picture-" + std::to_string(pic.index + 1) + ".png";
            const auto png = cli::EncodePngFromBgrBottomUp(format.width, format.height,
                                                           convert.toBgrBottomUp(yuv).data());
            if (!WritePackFile(folder, temp.path(), file, png.data(), png.size(), error))
                return Fail(error);
            const std::optional<RmcSentence>& when = stretch[k].sentence;
            keys.push_back({file, pic.index + 1, static_cast<double>(i) * rate.den / rate.num,
                            when ? DateTimeText(*when) : std::string()});
            files.push_back(file);
        }
        ++k;
        if (Cancelled(cancel)) return Cancel();
        report(0.06 + 0.9 * static_cast<double>(k) / static_cast<double>(stretch.size()));
    }
    if (k < stretch.size()) return Fail("the recording changed while the pack was made");
    if (!clip.finish(error) || !clipOut->close(error)) return Fail(error);
    files.push_back("video.mp4");

    ReportData data;
    data.programName = request.programName;
    data.programVersion = ProgramVersion();
    data.recordingName = recordingName;
    data.firstPicture = stretch.front().index + 1;
    data.lastPicture = stretch.back().index + 1;
    data.pictures = static_cast<std::int64_t>(stretch.size());
    data.undecoded = undecoded;
    data.rate = rate;
    data.rateAssumed = rateAssumed;
    data.encoder = clip.encoderName();
    data.start = track.firstTimed();
    data.end = track.lastTimed();
    data.points = track.points();
    data.distanceKm = track.distanceKm();
    data.topSpeedKmh = track.topSpeedKmh();
    data.averageSpeedKmh = track.averageSpeedKmh();
    data.keys = keys;
    if (request.routePicture) {
        std::vector<std::uint8_t> png;
        if (!request.routePicture(track.points(), png, error) ||
            !WritePackFile(folder, temp.path(), "route.png", png.data(), png.size(), error)) {
            return Fail(error);
        }
        data.routePicture = "route.png";
        files.push_back("route.png");
    }
    if (!WritePackFile(folder, temp.path(), "report.html", ReportHtml(data), error))
        return Fail(error);
    files.push_back("report.html");
    std::sort(files.begin(), files.end());

    std::string sums;
    if (!Sha256SumsText(temp.path(), files, sums, error) ||
        !WritePackFile(folder, temp.path(), "SHA256SUMS", sums, error)) {
        return Fail(error);
    }
    if (Cancelled(cancel)) return Cancel();
    if (!temp.commit(target, error)) return Fail(error);
    report(1.0);
    PackResult result;
    result.status = PackResult::Status::Done;
    result.folder = target;
    result.pictures = data.pictures;
    result.undecoded = undecoded;
    return result;
}

}  // namespace droskal::evidence
