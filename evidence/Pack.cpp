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
#include <set>
#include <sstream>

#include "Version.h"
#include "cli/Input.h"
#include "cli/PngFile.h"
#include "cli/Text.h"
#include "cli/TrackFormats.h"
#include "decoder/PictureFormat.h"
#include "decoder/YuvPlanes.h"
#include "evidence/Checksums.h"
#include "evidence/ClipWriter.h"
#include "evidence/Report.h"
#include "recording/Walker.h"
#include "stream/FileSource.h"
#include "stream/Fragment.h"
#include "zone/DisplayZone.h"

namespace droskal::evidence {

namespace {

namespace fs = std::filesystem;

constexpr double kKeyPictureSeconds = 10;

constexpr double kSecondsFrom1970To2000 = 946684800.0;

struct StretchPicture {
    std::int64_t index;  // 0-based in the recording or trip
    std::optional<RmcSentence> sentence;
    std::size_t file = 0;           // the recording of the trip that holds it
    std::int64_t numberInFile = 0;  // 1-based there
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

// RGB pictures (the band, the inset) burned into a YUV 4:2:0 picture at an even place.
class RgbBurner {
  public:
    RgbBurner(int pictureWidth, int pictureHeight, int width, int height)
        : pictureWidth_(pictureWidth),
          pictureHeight_(pictureHeight),
          width_(width),
          height_(height) {
        context_ = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height,
                                  AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    }
    ~RgbBurner() { sws_freeContext(context_); }
    RgbBurner(const RgbBurner&) = delete;
    RgbBurner& operator=(const RgbBurner&) = delete;
    bool ok() const { return context_ != nullptr; }

    // yuv: Y, then Cb, then Cr planes of the whole picture.
    void burn(const std::uint8_t* rgb, int left, int top, std::vector<std::uint8_t>& yuv) const {
        const int cw = pictureWidth_ / 2;
        std::uint8_t* y = yuv.data();
        std::uint8_t* cb = y + static_cast<std::size_t>(pictureWidth_) * pictureHeight_;
        std::uint8_t* cr = cb + static_cast<std::size_t>(cw) * (pictureHeight_ / 2);
        const auto at = [](std::uint8_t* plane, int row, int stride, int column) {
            return plane + static_cast<std::size_t>(row) * stride + column;
        };
        std::uint8_t* dst[3] = {at(y, top, pictureWidth_, left), at(cb, top / 2, cw, left / 2),
                                at(cr, top / 2, cw, left / 2)};
        const int dstStride[3] = {pictureWidth_, cw, cw};
        const std::uint8_t* src[1] = {rgb};
        const int srcStride[1] = {width_ * 3};
        sws_scale(context_, src, srcStride, 0, height_, dst, dstStride);
    }

  private:
    int pictureWidth_, pictureHeight_, width_, height_;
    SwsContext* context_ = nullptr;
};

// Whole pictures into BGR for the key pictures' PNGs.
class BgrConverter {
  public:
    BgrConverter(int width, int height) : width_(width), height_(height) {
        context_ = sws_getContext(
            width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGR24,
            SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    }
    ~BgrConverter() { sws_freeContext(context_); }
    BgrConverter(const BgrConverter&) = delete;
    BgrConverter& operator=(const BgrConverter&) = delete;
    bool ok() const { return context_ != nullptr; }

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
        sws_scale(context_, src, srcStride, 0, height_, dst, dstStride);
        return bgr;
    }

  private:
    int width_, height_;
    SwsContext* context_ = nullptr;
};

std::string TwoDigits(int v) {
    return (v < 10 ? "0" : "") + std::to_string(v);
}

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

PackResult Fail(std::string error, PackResult::Why why = PackResult::Why::Other,
                std::string folder = {}) {
    PackResult r;
    r.status = PackResult::Status::Failed;
    r.why = why;
    r.error = std::move(error);
    r.folder = std::move(folder);
    return r;
}

PackResult Cancel() {
    PackResult r;
    r.status = PackResult::Status::Cancelled;
    return r;
}

// The window's timeline sample of a picture.
PictureSample SampleOf(const IndexedPicture& p, std::int64_t number) {
    PictureSample s;
    s.pictureNumber = number;
    s.streamPosition = p.position;
    s.timeValid = p.hasTime;
    s.utcSeconds = p.time + kSecondsFrom1970To2000;
    s.speedValid = p.hasSpeed;
    s.speedKmh = p.speedKmh;
    s.fixValid = p.status == 'A' && p.hasPosition;
    s.fileIndex = static_cast<int>(p.file);
    return s;
}

// How big the event was, in the report's words.
std::string EventSize(const TripEvent& e, const cli::TimeOptions& time) {
    switch (e.kind) {
        case EventKind::HardBraking:
            return "spadek o " + SpeedInUnit(e.value, time) + " w ciągu 1 s";
        case EventKind::HardAcceleration:
            return "wzrost o " + SpeedInUnit(e.value, time) + " w ciągu 1 s";
        case EventKind::Stop:
            return cli::Fixed(e.value, 0) + " s";
        case EventKind::Speeding:
            return "najwyżej " + SpeedInUnit(e.value, time);
    }
    return {};
}

std::string KeyFileName(const StretchPicture& p) {
    return "picture-" + std::to_string(p.index + 1) + ".png";
}

}  // namespace

const char* ProgramVersion() {
    return kDroskalVersion;
}

std::string PackFolderName(const std::optional<RmcSentence>& start, std::int64_t firstPicture,
                           const cli::TimeOptions& time) {
    if (!start || !start->hasDate || !start->hasTime)
        return "picture-" + std::to_string(firstPicture) + "_incident";
    if (time.zoneGiven && !time.zone.isUtc()) {
        // Named after the time the user reads, in the zone chosen.
        const QDateTime local =
            InZone(start->secondsSince2000() + kSecondsFrom1970To2000, time.zone);
        return local.toString("yyyy-MM-dd_HH-mm-ss").toStdString() + "_incident";
    }
    const int whole = static_cast<int>(std::floor(start->secondsOfDay));
    return std::to_string(start->year) + "-" + TwoDigits(start->month) + "-" +
           TwoDigits(start->day) + "_" + TwoDigits(whole / 3600) + "-" +
           TwoDigits(whole / 60 % 60) + "-" + TwoDigits(whole % 60) + "_incident";
}

bool MarksForPictures(const std::string& recording, int trip, std::int64_t from, std::int64_t to,
                      std::int64_t& cutStart, std::int64_t& cutEnd, std::string& error) {
    Walker walker;
    std::vector<std::string> files;
    cli::ParsedArgs input;
    if (trip > 0) input.values[cli::kTripOption] = std::to_string(trip);
    if (!cli::OpenInput(walker, recording, input, files, error)) return false;
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
    if (request.minimap && !request.maps) return Fail("the map inset needs a map source");
    Walker walker;
    std::vector<std::string> sources;
    cli::ParsedArgs input;
    if (request.trip > 0) input.values[cli::kTripOption] = std::to_string(request.trip);
    if (!cli::OpenInput(walker, request.recording, input, sources, error)) return Fail(error);
    const PictureFormatInfo& format = *FormatInfo(walker.picFormat());
    // A folder given as "trip/" is named by its last part, not by the empty one after it.
    fs::path named = fs::path(request.recording).lexically_normal();
    if (named.filename().empty()) named = named.parent_path();
    const std::string recordingName = named.filename().string();
    const std::vector<SourceFile>& tripFiles = walker.file().files();
    const auto fileName = [&](std::size_t file) {
        return file < tripFiles.size() ? fs::path(tripFiles[file].path).filename().string()
                                       : recordingName;
    };

    // First pass, searches only: which pictures, where, their sentences, the track.
    std::vector<StretchPicture> stretch;
    std::vector<IndexedPicture> indexed;  // the same pictures for the maps and the events
    cli::GpsTrack track;
    std::int64_t lastEnd = -1;
    {
        WalkedPicture pic;
        std::size_t file = 0;
        std::int64_t fileStart = 0;  // index of the file's first picture
        while (walker.next(pic, Decode::None)) {
            if (pic.picturePos > request.cutEnd) break;
            const auto place = Locate(tripFiles, pic.picturePos);
            if (place && place->file != file) {
                file = place->file;
                fileStart = pic.index;
            }
            if (pic.picturePos < request.cutStart) continue;
            StretchPicture sp{pic.index, std::nullopt, file, pic.index - fileStart + 1};
            IndexedPicture ip;
            ip.position = pic.picturePos;
            ip.file = static_cast<std::uint32_t>(file);
            RmcSentence s;
            if (pic.sentenceRead && ParseRmcFields(*pic.nmeaText, s) == RmcResult::Ok) {
                sp.sentence = s;
                TakeSentence(s, ip);
            }
            stretch.push_back(sp);
            indexed.push_back(ip);
            track.add(pic);
            lastEnd = pic.endPos;
            if (Cancelled(cancel)) return Cancel();
        }
    }
    if (stretch.empty() || lastEnd < request.cutEnd) {
        return Fail("the marked stretch does not match the pictures of the recording");
    }
    report(0.03);
    const auto pictureText = [&](const StretchPicture& p) {
        return fileName(p.file) + ", obraz " + std::to_string(p.numberInFile);
    };

    // The timeline's events within the stretch; each gets a key picture where it starts.
    std::vector<ReportEvent> events;
    std::set<std::size_t> eventStarts;
    {
        PictureSamples samples;
        for (std::size_t k = 0; k < indexed.size(); ++k)
            samples.push_back(SampleOf(indexed[k], stretch[k].index));
        for (const TripEvent& e : FindEvents(samples, request.events)) {
            eventStarts.insert(e.first);
            events.push_back({EventName(e.kind), EventSize(e, request.time),
                              stretch[e.first].sentence,
                              SpeedInUnit(samples[e.first].speedKmh, request.time) + " → " +
                                  SpeedInUnit(samples[e.last].speedKmh, request.time),
                              pictureText(stretch[e.first]), KeyFileName(stretch[e.first])});
        }
    }

    const std::string name =
        PackFolderName(track.firstTimed(), stretch.front().index + 1, request.time);
    const std::string target = (fs::path(request.parentFolder) / name).string();
    if (fs::exists(fs::symlink_status(target)))
        return Fail(target + " already exists", PackResult::Why::FolderExists, target);
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
    {
        std::ostringstream gpx, csv;
        cli::WriteGpx(gpx, recordingName, track.points());
        cli::WriteCsv(csv, track.points(), request.time);
        if (!WritePackFile(folder, temp.path(), "track.gpx", gpx.str(), error) ||
            !WritePackFile(folder, temp.path(), "track.csv", csv.str(), error)) {
            return Fail(error);
        }
        files.push_back("track.gpx");
        files.push_back("track.csv");
    }

    // The maps are made here, on the thread that uses them.
    const std::unique_ptr<PackMaps> maps = request.maps ? request.maps() : nullptr;
    const InsetPlace inset = InsetFor(format.width, format.height);
    if (request.minimap) {
        if (!maps) return Fail("the map inset needs a map source");
        if (!maps->prepareInset(indexed, inset, error))
            return Fail(error, PackResult::Why::NoPositionForInset);
    }

    // The sequence header's picture_rate code: the low four bits of its eighth byte.
    std::uint8_t header[8] = {};
    walker.file().peek(1, 8, header);
    PictureRate rate = PictureRateFromCode(header[7] & 0x0F);
    const bool rateAssumed = rate.num == 0;
    if (rateAssumed) rate = {25, 1};

    // Second pass: decode, burn the band (and the inset) in, encode; key pictures on the way.
    const BandPlace band = BandFor(format.height);
    const RgbBurner bandBurner(format.width, format.height, format.width, band.height);
    const RgbBurner insetBurner(format.width, format.height, inset.width, inset.height);
    const BgrConverter toBgr(format.width, format.height);
    if (!bandBurner.ok() || !insetBurner.ok() || !toBgr.ok())
        return Fail("cannot set up the picture conversion");
    auto clipOut = folder.create(temp.path(), "video.mp4", error);
    if (!clipOut) return Fail(error);
    ClipWriter clip;
    if (!clip.open(*clipOut, format.width, format.height, rate, error)) return Fail(error);

    const auto keyEvery = std::max<std::int64_t>(
        1, std::llround(kKeyPictureSeconds * rate.num / static_cast<double>(rate.den)));
    std::vector<std::uint8_t> yuv(static_cast<std::size_t>(format.pixelCount) * 3 / 2, 0);
    std::fill(yuv.begin() + format.pixelCount, yuv.end(), 128);
    std::vector<std::uint8_t> bandRgb(static_cast<std::size_t>(format.width) * band.height * 3);
    std::vector<std::uint8_t> insetRgb(static_cast<std::size_t>(inset.width) * inset.height * 3);
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
        const PictureCaption caption{stretch[k].sentence, fileName(stretch[k].file),
                                     stretch[k].numberInFile};
        std::fill(bandRgb.begin(), bandRgb.end(), 0);
        if (request.band)
            request.band(CaptionLines(caption, request.time), format.width, band.height,
                         bandRgb.data());
        bandBurner.burn(bandRgb.data(), 0, band.top, yuv);
        if (request.minimap) {
            maps->drawInset(k, insetRgb.data());
            insetBurner.burn(insetRgb.data(), inset.left, inset.top, yuv);
        }
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
        if (i == 0 || i + 1 == static_cast<std::int64_t>(stretch.size()) || tenSeconds ||
            eventStarts.count(k) > 0) {
            const std::string file = KeyFileName(stretch[k]);
            const auto png = cli::EncodePngFromBgrBottomUp(format.width, format.height,
                                                           toBgr.toBgrBottomUp(yuv).data());
            if (!WritePackFile(folder, temp.path(), file, png.data(), png.size(), error))
                return Fail(error);
            keys.push_back({file, pictureText(stretch[k]),
                            static_cast<double>(i) * rate.den / rate.num, stretch[k].sentence});
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
    for (std::size_t i = 0; i < stretch.size(); ++i) {
        const StretchPicture& p = stretch[i];
        if (i == 0 || p.file != stretch[i - 1].file)
            data.sources.push_back({fileName(p.file), p.numberInFile, p.numberInFile});
        data.sources.back().last = p.numberInFile;
    }
    data.pictures = static_cast<std::int64_t>(stretch.size());
    data.undecoded = undecoded;
    data.rate = rate;
    data.rateAssumed = rateAssumed;
    data.encoder = clip.encoderName();
    data.time = request.time;
    data.start = track.firstTimed();
    data.end = track.lastTimed();
    data.points = track.points();
    data.distanceKm = track.distanceKm();
    data.topSpeedKmh = track.topSpeedKmh();
    data.averageSpeedKmh = track.averageSpeedKmh();
    data.events = events;
    data.eventSettings = request.events;
    data.keys = keys;
    if (maps) {
        std::vector<std::uint8_t> png;
        if (maps->routePicture(indexed, png, data.routeNote)) {
            if (!WritePackFile(folder, temp.path(), "route.png", png.data(), png.size(), error))
                return Fail(error);
            data.routePicture = "route.png";
            files.push_back("route.png");
        }
    } else {
        data.routeNote =
            "Mapy trasy nie ma: nie ustawiono źródła map (przebieg trasy zawierają "
            "track.gpx i track.csv).";
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
    if (!temp.commit(target, error)) {
        const bool exists = fs::exists(fs::symlink_status(target));
        return Fail(error, exists ? PackResult::Why::FolderExists : PackResult::Why::Other, target);
    }
    report(1.0);
    PackResult result;
    result.status = PackResult::Status::Done;
    result.folder = target;
    result.pictures = data.pictures;
    result.undecoded = undecoded;
    return result;
}

}  // namespace droskal::evidence
