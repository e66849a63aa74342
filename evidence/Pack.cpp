#include "evidence/Pack.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {}

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

namespace {

// The pack's steps, in order; each answers false once the pack has failed or been cancelled,
// and `outcome_` then says how. The temporary folder goes with the builder unless committed.
class PackBuilder {
  public:
    PackBuilder(const PackRequest& request, PackFolder& folder,
                const std::function<void(double)>& progress, const std::atomic<bool>* cancel)
        : request_(request), folder_(folder), progress_(progress), cancel_(cancel) {}

    PackResult run() {
        if (open() && findStretch() && makeFolder() && writeOriginal() && writeTrack() &&
            prepareMaps() && writeClip() && writeReport() && finish()) {
            report(1.0);
        }
        return outcome_;
    }

  private:
    void report(double f) const {
        if (progress_) progress_(std::clamp(f, 0.0, 1.0));
    }
    bool fail(std::string error, PackResult::Why why = PackResult::Why::Other,
              std::string folder = {}) {
        outcome_ = Fail(std::move(error), why, std::move(folder));
        return false;
    }
    bool cancelled() {
        if (!Cancelled(cancel_)) return false;
        outcome_ = Cancel();
        return true;
    }
    std::string fileName(std::size_t file) const {
        return file < tripFiles_->size() ? fs::path((*tripFiles_)[file].path).filename().string()
                                         : recordingName_;
    }
    std::string pictureText(const StretchPicture& p) const {
        return fileName(p.file) + ", obraz " + std::to_string(p.numberInFile);
    }
    bool write(const std::string& name, const std::string& text) {
        if (!WritePackFile(folder_, temp_.path(), name, text, error_)) return fail(error_);
        files_.push_back(name);
        return true;
    }
    bool write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        if (!WritePackFile(folder_, temp_.path(), name, bytes.data(), bytes.size(), error_))
            return fail(error_);
        files_.push_back(name);
        return true;
    }

    bool open() {
        if (request_.minimap && !request_.maps) return fail("the map inset needs a map source");
        std::vector<std::string> sources;
        cli::ParsedArgs input;
        if (request_.trip > 0) input.values[cli::kTripOption] = std::to_string(request_.trip);
        if (!cli::OpenInput(walker_, request_.recording, input, sources, error_))
            return fail(error_);
        format_ = FormatInfo(walker_.picFormat());
        tripFiles_ = &walker_.file().files();
        // A folder given as "trip/" is named by its last part, not by the empty one after it.
        fs::path named = fs::path(request_.recording).lexically_normal();
        if (named.filename().empty()) named = named.parent_path();
        recordingName_ = named.filename().string();
        return true;
    }

    // First pass, searches only: which pictures, where, their sentences, the track.
    bool findStretch() {
        std::int64_t lastEnd = -1;
        WalkedPicture pic;
        std::size_t file = 0;
        std::int64_t fileStart = 0;  // index of the file's first picture
        while (walker_.next(pic, Decode::None)) {
            if (pic.picturePos > request_.cutEnd) break;
            const auto place = Locate(*tripFiles_, pic.picturePos);
            if (place && place->file != file) {
                file = place->file;
                fileStart = pic.index;
            }
            if (pic.picturePos < request_.cutStart) continue;
            StretchPicture sp{pic.index, std::nullopt, file, pic.index - fileStart + 1};
            IndexedPicture ip;
            ip.position = pic.picturePos;
            ip.file = static_cast<std::uint32_t>(file);
            RmcSentence s;
            if (pic.sentenceRead && ParseRmcFields(*pic.nmeaText, s) == RmcResult::Ok) {
                sp.sentence = s;
                TakeSentence(s, ip);
            }
            stretch_.push_back(sp);
            indexed_.push_back(ip);
            track_.add(pic);
            lastEnd = pic.endPos;
            if (cancelled()) return false;
        }
        if (stretch_.empty() || lastEnd < request_.cutEnd)
            return fail("the marked stretch does not match the pictures of the recording");
        findEvents();
        report(0.03);
        return true;
    }

    // The timeline's events within the stretch; each gets a key picture where it starts.
    void findEvents() {
        PictureSamples samples;
        for (std::size_t k = 0; k < indexed_.size(); ++k)
            samples.push_back(SampleOf(indexed_[k], stretch_[k].index));
        const cli::TimeOptions& time = request_.time;
        for (const TripEvent& e : FindEvents(samples, request_.events)) {
            eventStarts_.insert(e.first);
            events_.push_back({EventName(e.kind), EventSize(e, time), stretch_[e.first].sentence,
                               SpeedInUnit(samples[e.first].speedKmh, time) + " → " +
                                   SpeedInUnit(samples[e.last].speedKmh, time),
                               pictureText(stretch_[e.first]), KeyFileName(stretch_[e.first])});
        }
    }

    bool makeFolder() {
        const std::string name =
            PackFolderName(track_.firstTimed(), stretch_.front().index + 1, request_.time);
        target_ = (fs::path(request_.parentFolder) / name).string();
        if (fs::exists(fs::symlink_status(target_)))
            return fail(target_ + " already exists", PackResult::Why::FolderExists, target_);
        return temp_.make(request_.parentFolder, name, error_) || fail(error_);
    }

    // original.m1v: the fragment save's bytes.
    bool writeOriginal() {
        auto out = folder_.create(temp_.path(), "original.m1v", error_);
        if (!out) return fail(error_);
        const bool copied = CopyFragment(
            walker_.file(), request_.cutStart, request_.cutEnd,
            [&out](const std::uint8_t* data, std::size_t size, std::string& sinkError) {
                return out->write(data, size, sinkError);
            },
            error_);
        if (!copied || !out->close(error_)) return fail(error_);
        files_.push_back("original.m1v");
        report(0.06);
        return true;
    }

    // The track as `droskal-cli track` writes it.
    bool writeTrack() {
        std::ostringstream gpx, csv;
        cli::WriteGpx(gpx, recordingName_, track_.points());
        cli::WriteCsv(csv, track_.points(), request_.time);
        return write("track.gpx", gpx.str()) && write("track.csv", csv.str());
    }

    // The maps are made here, on the thread that uses them.
    bool prepareMaps() {
        maps_ = request_.maps ? request_.maps() : nullptr;
        inset_ = InsetFor(format_->width, format_->height);
        if (!request_.minimap) return true;
        if (!maps_) return fail("the map inset needs a map source");
        return maps_->prepareInset(indexed_, inset_, error_) ||
               fail(error_, PackResult::Why::NoPositionForInset);
    }

    // Second pass: decode, burn the band (and the inset) in, encode; key pictures on the way.
    bool writeClip() {
        // The sequence header's picture_rate code: the low four bits of its eighth byte.
        std::uint8_t header[8] = {};
        walker_.file().peek(1, 8, header);
        rate_ = PictureRateFromCode(header[7] & 0x0F);
        rateAssumed_ = rate_.num == 0;
        if (rateAssumed_) rate_ = {25, 1};
        const PictureFormatInfo& f = *format_;
        const BandPlace band = BandFor(f.height);
        const ClipModule* module = LoadClipModule(error_);
        if (!module) return fail(error_);
        const std::unique_ptr<const RgbBurner> bandBurner(
            module->makeRgbBurner(f.width, f.height, f.width, band.height));
        const std::unique_ptr<const RgbBurner> insetBurner(
            module->makeRgbBurner(f.width, f.height, inset_.width, inset_.height));
        const std::unique_ptr<const BgrConverter> toBgr(
            module->makeBgrConverter(f.width, f.height));
        if (!bandBurner || !insetBurner || !toBgr)
            return fail("cannot set up the picture conversion");
        auto clipOut = folder_.create(temp_.path(), "video.mp4", error_);
        if (!clipOut) return fail(error_);
        if (!clip_.open(*clipOut, f.width, f.height, rate_, error_)) return fail(error_);

        std::vector<std::uint8_t> yuv(static_cast<std::size_t>(f.pixelCount) * 3 / 2, 0);
        std::fill(yuv.begin() + f.pixelCount, yuv.end(), 128);
        std::vector<std::uint8_t> bandRgb(static_cast<std::size_t>(f.width) * band.height * 3);
        std::vector<std::uint8_t> insetRgb(static_cast<std::size_t>(inset_.width) * inset_.height *
                                           3);
        walker_.rewind();
        std::size_t k = 0;
        WalkedPicture pic;
        while (k < stretch_.size() && walker_.next(pic, Decode::Planes)) {
            if (pic.index < stretch_[k].index) continue;
            if (pic.decoded) {
                yuv = PicBufToYuv420p(pic.picBuf, walker_.picFormat());
            } else {
                ++undecoded_;  // the previous picture stands in, so the clip keeps its timing
            }
            const PictureCaption caption{stretch_[k].sentence, fileName(stretch_[k].file),
                                         stretch_[k].numberInFile};
            std::fill(bandRgb.begin(), bandRgb.end(), 0);
            if (request_.band)
                request_.band(CaptionLines(caption, request_.time), f.width, band.height,
                              bandRgb.data());
            bandBurner->burn(bandRgb.data(), 0, band.top, yuv);
            if (request_.minimap) {
                maps_->drawInset(k, insetRgb.data());
                insetBurner->burn(insetRgb.data(), inset_.left, inset_.top, yuv);
            }
            const std::uint8_t* planes = yuv.data();
            const Yuv420 picture{planes, planes + f.pixelCount, planes + f.pixelCount * 5 / 4};
            if (!clip_.addPicture(picture, error_)) return fail(error_);
            if (isKeyPicture(k) && !keepKeyPicture(k, toBgr->toBgrBottomUp(yuv))) return false;
            ++k;
            if (cancelled()) return false;
            report(0.06 + 0.9 * static_cast<double>(k) / static_cast<double>(stretch_.size()));
        }
        if (k < stretch_.size()) return fail("the recording changed while the pack was made");
        if (!clip_.finish(error_) || !clipOut->close(error_)) return fail(error_);
        files_.push_back("video.mp4");
        return true;
    }

    // The first and last pictures, each event's first, and one every 10 s of the drive by
    // the GPS clock where the stretch has one, else of the clip.
    bool isKeyPicture(std::size_t k) {
        const auto i = static_cast<std::int64_t>(k);
        const std::optional<RmcSentence> gpsClock = track_.firstTimed();
        const auto keyEvery = std::max<std::int64_t>(
            1, std::llround(kKeyPictureSeconds * rate_.num / static_cast<double>(rate_.den)));
        bool tenSeconds = !gpsClock && i % keyEvery == 0;
        const std::optional<RmcSentence>& s = stretch_[k].sentence;
        if (gpsClock && s && s->hasDate && s->hasTime) {
            const double elapsed = s->secondsSince2000() - gpsClock->secondsSince2000();
            if (elapsed >= nextKeySeconds_) {
                tenSeconds = true;
                while (elapsed >= nextKeySeconds_) nextKeySeconds_ += kKeyPictureSeconds;
            }
        }
        return i == 0 || k + 1 == stretch_.size() || tenSeconds || eventStarts_.count(k) > 0;
    }

    bool keepKeyPicture(std::size_t k, const std::vector<std::uint8_t>& bgrBottomUp) {
        const std::string file = KeyFileName(stretch_[k]);
        if (!write(file, cli::EncodePngFromBgrBottomUp(format_->width, format_->height,
                                                       bgrBottomUp.data()))) {
            return false;
        }
        keys_.push_back({file, pictureText(stretch_[k]),
                         static_cast<double>(k) * rate_.den / rate_.num, stretch_[k].sentence});
        return true;
    }

    bool writeReport() {
        ReportData data;
        data.programName = request_.programName;
        data.programVersion = ProgramVersion();
        data.recordingName = recordingName_;
        for (std::size_t i = 0; i < stretch_.size(); ++i) {
            const StretchPicture& p = stretch_[i];
            if (i == 0 || p.file != stretch_[i - 1].file)
                data.sources.push_back({fileName(p.file), p.numberInFile, p.numberInFile});
            data.sources.back().last = p.numberInFile;
        }
        data.pictures = static_cast<std::int64_t>(stretch_.size());
        data.undecoded = undecoded_;
        data.rate = rate_;
        data.rateAssumed = rateAssumed_;
        data.encoder = clip_.encoderName();
        data.time = request_.time;
        data.start = track_.firstTimed();
        data.end = track_.lastTimed();
        data.points = track_.points();
        data.distanceKm = track_.distanceKm();
        data.topSpeedKmh = track_.topSpeedKmh();
        data.averageSpeedKmh = track_.averageSpeedKmh();
        data.events = events_;
        data.eventSettings = request_.events;
        data.keys = keys_;
        if (maps_) {
            std::vector<std::uint8_t> png;
            if (maps_->routePicture(indexed_, png, data.routeNote)) {
                if (!write("route.png", png)) return false;
                data.routePicture = "route.png";
            }
        } else {
            data.routeNote =
                "Mapy trasy nie ma: nie ustawiono źródła map (przebieg trasy zawierają "
                "track.gpx i track.csv).";
        }
        return write("report.html", ReportHtml(data));
    }

    // SHA256SUMS last, then the folder gets its name.
    bool finish() {
        std::sort(files_.begin(), files_.end());
        std::string sums;
        if (!Sha256SumsText(temp_.path(), files_, sums, error_)) return fail(error_);
        if (!write("SHA256SUMS", sums) || cancelled()) return false;
        if (!temp_.commit(target_, error_)) {
            const bool exists = fs::exists(fs::symlink_status(target_));
            return fail(error_, exists ? PackResult::Why::FolderExists : PackResult::Why::Other,
                        target_);
        }
        outcome_.status = PackResult::Status::Done;
        outcome_.folder = target_;
        outcome_.pictures = static_cast<std::int64_t>(stretch_.size());
        outcome_.undecoded = undecoded_;
        return true;
    }

    const PackRequest& request_;
    PackFolder& folder_;
    const std::function<void(double)>& progress_;
    const std::atomic<bool>* cancel_;
    PackResult outcome_;
    std::string error_;

    Walker walker_;
    const PictureFormatInfo* format_ = nullptr;
    const std::vector<SourceFile>* tripFiles_ = nullptr;
    std::string recordingName_;
    std::vector<StretchPicture> stretch_;
    std::vector<IndexedPicture> indexed_;  // the same pictures for the maps and the events
    cli::GpsTrack track_;
    std::vector<ReportEvent> events_;
    std::set<std::size_t> eventStarts_;

    std::string target_;
    TempFolder temp_;
    std::vector<std::string> files_;  // written so far, for SHA256SUMS

    std::unique_ptr<PackMaps> maps_;
    InsetPlace inset_{};
    ClipWriter clip_;
    PictureRate rate_{};
    bool rateAssumed_ = false;
    std::int64_t undecoded_ = 0;
    std::vector<KeyPicture> keys_;
    double nextKeySeconds_ = 0;
};

}  // namespace

PackResult BuildEvidencePack(const PackRequest& request, PackFolder& folder,
                             const std::function<void(double)>& progress,
                             const std::atomic<bool>* cancel) {
    return PackBuilder(request, folder, progress, cancel).run();
}

}  // namespace droskal::evidence
