#include "recording/PictureIndex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "gps/RmcFields.h"

namespace droskal {

namespace {

constexpr std::size_t kChunk = 4 * 1024 * 1024;
// The window's slice search gives up after this many bytes, so longer user data is no
// sentence it would ever show.
constexpr std::size_t kMostUserData = 8192;
constexpr double kKmPerNauticalMile = 1.852;

// Follows the start codes of one stream across chunks and files.
class Scanner {
  public:
    explicit Scanner(std::vector<IndexedPicture>& out) : out_(out) {}

    // bytes: the next chunk, at 0-based stream offset `offset`, from file `file`.
    void feed(const std::uint8_t* bytes, std::size_t n, std::int64_t offset, std::uint32_t file) {
        std::size_t collectFrom = 0;
        if (codeNext_ && n > 0) {
            codeNext_ = false;
            code(bytes, 0, offset, file, collectFrom);
        }
        for (std::size_t i = 0; i < n;) {
            const void* hit = std::memchr(bytes + i, 0x01, n - i);
            if (!hit) break;
            const std::size_t at =
                static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes);
            i = at + 1;
            const std::uint8_t b1 = at >= 1 ? bytes[at - 1] : last_[1];
            const std::uint8_t b2 = at >= 2 ? bytes[at - 2] : at == 1 ? last_[1] : last_[0];
            if (b1 != 0 || b2 != 0) continue;
            if (at + 1 == n) {
                codeNext_ = true;  // the code value is the next chunk's first byte
                break;
            }
            code(bytes, at + 1, offset, file, collectFrom);
            i = at + 2;
        }
        if (collecting_) append(bytes + collectFrom, n - collectFrom);
        if (n >= 2) {
            last_[0] = bytes[n - 2];
            last_[1] = bytes[n - 1];
        } else if (n == 1) {
            last_[0] = last_[1];
            last_[1] = bytes[0];
        }
    }

  private:
    // bytes[c] is a code value whose 00 00 01 ends right before it.
    void code(const std::uint8_t* bytes, std::size_t c, std::int64_t offset, std::uint32_t file,
              std::size_t& collectFrom) {
        if (collecting_) {
            append(bytes + collectFrom, c - collectFrom);
            // The 00 00 01 of this code went in with it.
            text_.resize(text_.size() >= 3 ? text_.size() - 3 : 0);
            collecting_ = false;
        }
        const std::uint8_t value = bytes[c];
        if (value == 0x00) {
            flush();
            pending_ = IndexedPicture{};
            pending_->position = offset + static_cast<std::int64_t>(c) + 1;
            pending_->file = file;
            inHeader_ = true;
            text_.clear();
            tooLong_ = false;
        } else if (value == 0xB2 && inHeader_) {
            collecting_ = true;
            text_.clear();
            tooLong_ = false;
            collectFrom = c + 1;
        } else if (value == 0x01 && inHeader_) {
            inHeader_ = false;
            // As the window trims it: the recorder's closing byte goes.
            if (!text_.empty() && !tooLong_)
                sentence(std::string_view(text_).substr(0, text_.size() - 1));
            flush();
        }
    }

  public:
    // The picture being read goes out (at its first slice, the next picture, or the end).
    void flush() {
        if (pending_) out_.push_back(*pending_);
        pending_.reset();
    }

  private:
    void append(const std::uint8_t* bytes, std::size_t n) {
        if (text_.size() + n > kMostUserData) {
            tooLong_ = true;
            n = kMostUserData > text_.size() ? kMostUserData - text_.size() : 0;
        }
        text_.append(reinterpret_cast<const char*>(bytes), n);
    }

    void sentence(std::string_view text) {
        RmcSentence rmc;
        if (ParseRmcFields(text, rmc) != RmcResult::Ok) return;
        TakeSentence(rmc, *pending_);
    }

    std::vector<IndexedPicture>& out_;
    std::optional<IndexedPicture> pending_;
    std::uint8_t last_[2] = {0xFF, 0xFF};
    bool codeNext_ = false;
    bool inHeader_ = false;
    bool collecting_ = false;
    bool tooLong_ = false;
    std::string text_;
};

}  // namespace

void TakeSentence(const RmcSentence& sentence, IndexedPicture& picture) {
    picture.status = sentence.status;
    picture.hasTime = sentence.hasDate && sentence.hasTime;
    picture.time = picture.hasTime ? sentence.secondsSince2000() : 0;
    picture.hasPosition = sentence.hasPosition;
    picture.latitude = sentence.latitude;
    picture.longitude = sentence.longitude;
    picture.hasSpeed = sentence.hasSpeed;
    picture.speedKmh = sentence.speedKnots * kKmPerNauticalMile;
}

PictureIndex::~PictureIndex() {
    cancel();
}

void PictureIndex::start(std::vector<std::string> paths, Progress progress) {
    cancel();
    {
        std::lock_guard lock(mutex_);
        pictures_.clear();
        failure_.reset();
    }
    cancelled_ = false;
    finished_ = false;
    thread_ = std::thread([this, paths = std::move(paths), progress = std::move(progress)] {
        std::optional<ReadFailure> failure;
        Scan(
            paths,
            [this](std::vector<IndexedPicture>& batch) {
                std::lock_guard lock(mutex_);
                pictures_.insert(pictures_.end(), batch.begin(), batch.end());
            },
            progress, cancelled_, failure);
        {
            std::lock_guard lock(mutex_);
            failure_ = failure;
        }
        finished_ = true;
    });
}

void PictureIndex::cancel() {
    cancelled_ = true;
    if (thread_.joinable()) thread_.join();
}

std::size_t PictureIndex::count() const {
    std::lock_guard lock(mutex_);
    return pictures_.size();
}

std::optional<IndexedPicture> PictureIndex::at(std::size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= pictures_.size()) return std::nullopt;
    return pictures_[index];
}

std::vector<IndexedPicture> PictureIndex::snapshot() const {
    std::lock_guard lock(mutex_);
    return pictures_;
}

std::optional<ReadFailure> PictureIndex::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

bool PictureIndex::Scan(const std::vector<std::string>& paths,
                        const std::function<void(std::vector<IndexedPicture>&)>& sink,
                        const Progress& progress, const std::atomic<bool>& cancelled,
                        std::optional<ReadFailure>& failure) {
    std::int64_t total = 0;
    for (const auto& path : paths) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) total += static_cast<std::int64_t>(st.st_size);
    }
    std::vector<IndexedPicture> batch;
    Scanner scanner(batch);
    std::vector<std::uint8_t> buffer(kChunk);
    std::int64_t offset = 0;
    for (std::uint32_t f = 0; f < paths.size(); ++f) {
        const int fd = ::open(paths[f].c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            failure = ReadFailure{errno, paths[f], offset + 1};
            return false;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            failure = ReadFailure{ENOENT, paths[f], offset + 1};
            ::close(fd);
            return false;
        }
        std::int64_t inFile = 0;
        for (;;) {
            if (cancelled.load(std::memory_order_relaxed)) {
                ::close(fd);
                return false;
            }
            const ssize_t got =
                ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(inFile));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                failure = ReadFailure{errno, paths[f], offset + 1};
                ::close(fd);
                return false;
            }
            if (got == 0) break;
            scanner.feed(buffer.data(), static_cast<std::size_t>(got), offset, f);
            offset += got;
            inFile += got;
            if (!batch.empty()) {
                sink(batch);
                batch.clear();
            }
            if (progress) progress(offset, total);
        }
        ::close(fd);
    }
    scanner.flush();
    if (!batch.empty()) sink(batch);
    return true;
}

}  // namespace droskal
