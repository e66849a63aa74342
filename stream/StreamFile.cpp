#include "stream/StreamFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace droskal {

namespace {

constexpr const char* kNotFoundText = "File not found !";

std::string ErrnoText(int err) {
    // strerror_r comes in two flavours; strerrordesc_np is not everywhere. strerror is fine on
    // the one thread that opens files.
    return std::strerror(err);
}

}  // namespace

StreamFile::~StreamFile() { close(); }

void StreamFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    memory_ = false;
    length_ = 0;
    pos_ = 0;
    storage_.clear();
    storage_.shrink_to_fit();
    cache_ = nullptr;
    cacheStart_ = 0;
    cacheLen_ = 0;
    slot_ = 0;
    otherStart_ = -1;
    otherLen_ = 0;
}

OpenStatus StreamFile::open(const std::string& path, std::string& error) {
    close();
    lastErrno_ = 0;
    error.clear();

    // stat first: opening a FIFO or some devices could block or have side effects.
    struct stat st{};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        const int err = path.empty() ? ENOENT : errno;
        if (err == ENOENT || err == ENOTDIR) {
            lastErrno_ = err;
            error = kNotFoundText;
            return OpenStatus::NotFound;
        }
        lastErrno_ = err;
        error = ErrnoText(err);
        return OpenStatus::Error;
    }
    if (!S_ISREG(st.st_mode)) {
        lastErrno_ = ENOENT;
        error = kNotFoundText;
        return OpenStatus::NotFound;
    }

    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastErrno_ = errno;
        if (lastErrno_ == ENOENT) {
            error = kNotFoundText;
            return OpenStatus::NotFound;
        }
        error = ErrnoText(lastErrno_);
        return OpenStatus::Error;
    }
    // The path may have been replaced between stat and open.
    struct stat opened{};
    if (::fstat(fd, &opened) != 0) {
        lastErrno_ = errno;
        ::close(fd);
        error = ErrnoText(lastErrno_);
        return OpenStatus::Error;
    }
    if (!S_ISREG(opened.st_mode)) {
        lastErrno_ = ENOENT;
        ::close(fd);
        error = kNotFoundText;
        return OpenStatus::NotFound;
    }

    fd_ = fd;
    length_ = static_cast<std::int64_t>(opened.st_size);
    storage_.resize(static_cast<std::size_t>(2 * kBlockSize));
    cache_ = storage_.data();
    return OpenStatus::Ok;
}

void StreamFile::openMemory(std::vector<std::uint8_t> bytes) {
    close();
    lastErrno_ = 0;
    memory_ = true;
    storage_ = std::move(bytes);
    length_ = static_cast<std::int64_t>(storage_.size());
    cache_ = storage_.data();
    cacheStart_ = 0;
    cacheLen_ = storage_.size();
}

bool StreamFile::fill(std::int64_t offset) {
    if (offset < 0) return false;
    if (memory_ || fd_ < 0) {
        return static_cast<std::uint64_t>(offset - cacheStart_) < cacheLen_;
    }
    const std::int64_t start = offset - offset % kBlockSize;
    const int other = 1 - slot_;
    if (start == otherStart_ && offset - start < static_cast<std::int64_t>(otherLen_)) {
        // The block used before: swap back to it without reading.
        std::swap(cacheStart_, otherStart_);
        std::swap(cacheLen_, otherLen_);
        slot_ = other;
        cache_ = storage_.data() + other * kBlockSize;
        return true;
    }
    std::uint8_t* const dst = storage_.data() + other * kBlockSize;
    std::int64_t got = 0;
    while (got < kBlockSize) {
        const ssize_t r = ::pread(fd_, dst + got, static_cast<std::size_t>(kBlockSize - got),
                                  static_cast<off_t>(start + got));
        if (r < 0) {
            if (errno == EINTR) continue;
            break;  // an I/O error ends the file here, like its end would
        }
        if (r == 0) break;
        got += r;
    }
    // The current block becomes the other one; an empty read leaves nothing worth keeping.
    otherStart_ = cache_ ? cacheStart_ : -1;
    otherLen_ = cacheLen_;
    slot_ = other;
    cache_ = dst;
    cacheStart_ = start;
    cacheLen_ = static_cast<std::uint64_t>(got);
    return offset - start < got;
}

bool StreamFile::readNextSlow(std::uint8_t& b) {
    if (!fill(pos_)) return false;
    b = cache_[pos_ - cacheStart_];
    ++pos_;
    return true;
}

bool StreamFile::readAt(std::int64_t pos, std::uint8_t& b) {
    if (pos < 1) return false;
    pos_ = pos;
    const std::int64_t offset = pos - 1;
    if (static_cast<std::uint64_t>(offset - cacheStart_) >= cacheLen_ && !fill(offset)) return false;
    b = cache_[offset - cacheStart_];
    return true;
}

std::int64_t StreamFile::copyOut(std::int64_t pos, std::int64_t n, std::uint8_t* dst) {
    if (pos < 1 || n <= 0) return 0;
    std::int64_t done = 0;
    while (done < n) {
        const std::uint8_t* data = nullptr;
        const std::int64_t avail = cachedFrom(pos - 1 + done, data);
        if (avail <= 0) break;
        const std::int64_t take = std::min(avail, n - done);
        std::memcpy(dst + done, data, static_cast<std::size_t>(take));
        done += take;
    }
    return done;
}

std::int64_t StreamFile::readBlock(std::int64_t pos, std::int64_t n, std::uint8_t* dst) {
    const std::int64_t done = copyOut(pos, n, dst);
    if (pos >= 1 && n > 0) pos_ = pos + n - 1;
    return done;
}

std::int64_t StreamFile::peek(std::int64_t pos, std::int64_t n, std::uint8_t* dst) {
    return copyOut(pos, n, dst);
}

std::int64_t StreamFile::cachedFrom(std::int64_t offset, const std::uint8_t*& data) {
    if (static_cast<std::uint64_t>(offset - cacheStart_) >= cacheLen_ && !fill(offset)) {
        data = nullptr;
        return 0;
    }
    data = cache_ + (offset - cacheStart_);
    return static_cast<std::int64_t>(cacheLen_) - (offset - cacheStart_);
}

std::int64_t StreamFile::cachedUpTo(std::int64_t offset, const std::uint8_t*& data) {
    if (static_cast<std::uint64_t>(offset - cacheStart_) >= cacheLen_ && !fill(offset)) {
        data = nullptr;
        return 0;
    }
    data = cache_ + (offset - cacheStart_);
    return offset - cacheStart_ + 1;
}

}  // namespace droskal
