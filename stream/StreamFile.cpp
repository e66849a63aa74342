#include "stream/StreamFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace droskal {

StreamFile::~StreamFile() {
    close();
}

void StreamFile::close() {
    source_.reset();
    fileSource_ = nullptr;
    failure_.reset();
    memory_ = false;
    length_ = 0;
    pos_ = 0;
    storage_.clear();
    storage_.shrink_to_fit();
    if (mapped_) munmap(mapped_, mappedLen_);
    mapped_ = nullptr;
    mappedLen_ = 0;
    cache_ = nullptr;
    cacheStart_ = 0;
    cacheLen_ = 0;
    slot_ = 0;
    otherStart_ = -1;
    otherLen_ = 0;
}

int StreamFile::open(const std::string& path) {
    return open(std::vector<std::string>{path});
}

int StreamFile::open(const std::vector<std::string>& paths) {
    close();
    auto files = std::make_unique<FileSource>();
    if (const int err = files->open(paths); err != 0) return err;
    const FileSource* view = files.get();
    adopt(std::move(files), view);
    return 0;
}

void StreamFile::openSource(std::unique_ptr<ByteSource> source) {
    adopt(std::move(source), nullptr);
}

void StreamFile::adopt(std::unique_ptr<ByteSource> source, const FileSource* files) {
    close();
    fileSource_ = files;
    length_ = source->length();
    source_ = std::move(source);
    storage_.resize(static_cast<std::size_t>(2 * kBlockSize));
    cache_ = storage_.data();
}

const std::vector<SourceFile>& StreamFile::files() const {
    static const std::vector<SourceFile> kNone;
    return fileSource_ ? fileSource_->files() : kNone;
}

void StreamFile::openMemory(std::vector<std::uint8_t> bytes) {
    close();
    memory_ = true;
    storage_ = std::move(bytes);
    length_ = static_cast<std::int64_t>(storage_.size());
    cache_ = storage_.data();
    cacheStart_ = 0;
    cacheLen_ = storage_.size();
}

int StreamFile::openMapped(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat st {};
    int err = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : ENOENT;
    void* map = nullptr;
    if (err == 0 && st.st_size > 0) {
        // Populated up front: the pages are the page cache's own, nothing is copied.
        map = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ,
                   MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (map == MAP_FAILED) {
            err = errno;
            map = nullptr;
        }
    }
    ::close(fd);
    if (err != 0) return err;
    memory_ = true;
    mapped_ = map;
    mappedLen_ = map ? static_cast<std::size_t>(st.st_size) : 0;
    length_ = static_cast<std::int64_t>(mappedLen_);
    cache_ = static_cast<const std::uint8_t*>(map);
    cacheStart_ = 0;
    cacheLen_ = mappedLen_;
    return 0;
}

bool StreamFile::fill(std::int64_t offset) {
    if (offset < 0) return false;
    if (memory_ || !source_) {
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
    std::optional<ReadFailure> failure;
    while (got < kBlockSize && !failure) {
        // A failed read ends the file here, like its end would; the caller learns why.
        const std::int64_t r = source_->read(start + got, dst + got, kBlockSize - got, failure);
        if (r <= 0) break;
        got += r;
    }
    if (failure && offset - start >= got) failure_ = std::move(failure);
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
    if (static_cast<std::uint64_t>(offset - cacheStart_) >= cacheLen_ && !fill(offset))
        return false;
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
