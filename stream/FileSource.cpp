#include "stream/FileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace droskal {

namespace {

// Opens a regular file for reading without blocking; returns the descriptor or -errno.
int OpenRegular(const std::string& path, std::int64_t& length) {
    // stat first: opening a FIFO or some devices could block or have side effects.
    struct stat st {};
    if (path.empty()) return -ENOENT;
    if (::stat(path.c_str(), &st) != 0) return -errno;
    if (!S_ISREG(st.st_mode)) return -ENOENT;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -errno;
    // The path may have been replaced between stat and open.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        const int err = S_ISREG(opened.st_mode) ? errno : ENOENT;
        ::close(fd);
        return -err;
    }
    length = static_cast<std::int64_t>(opened.st_size);
    return fd;
}

}  // namespace

bool IsNotFound(int error) {
    return error == ENOENT || error == ENOTDIR;
}

std::optional<FilePlace> Locate(const std::vector<SourceFile>& files, std::int64_t pos) {
    if (pos < 1 || files.empty()) return std::nullopt;
    const auto it =
        std::upper_bound(files.begin(), files.end(), pos - 1,
                         [](std::int64_t offset, const SourceFile& f) { return offset < f.start; });
    const auto index = static_cast<std::size_t>(it - files.begin()) - 1;
    const std::int64_t inFile = pos - files[index].start;
    if (inFile > files[index].length) return std::nullopt;
    return FilePlace{index, inFile};
}

std::int64_t StreamPosition(const std::vector<SourceFile>& files, FilePlace place) {
    return files.at(place.file).start + place.position;
}

FileSource::~FileSource() {
    for (int fd : fds_) {
        if (fd >= 0) ::close(fd);
    }
}

int FileSource::open(const std::vector<std::string>& paths) {
    if (paths.empty()) return ENOENT;
    std::int64_t length = 0;
    const int fd = OpenRegular(paths[0], length);
    if (fd < 0) return -fd;
    files_.push_back({paths[0], length, 0});
    fds_.push_back(fd);
    length_ = length;
    for (std::size_t i = 1; i < paths.size(); ++i) {
        struct stat st {};
        const int err = ::stat(paths[i].c_str(), &st) != 0 ? errno
                        : !S_ISREG(st.st_mode)             ? ENOENT
                                                           : 0;
        if (err != 0) {
            endAt(length_, {err, paths[i], length_ + 1});
            break;
        }
        files_.push_back({paths[i], static_cast<std::int64_t>(st.st_size), length_});
        fds_.push_back(-1);
        length_ += static_cast<std::int64_t>(st.st_size);
    }
    return 0;
}

void FileSource::endAt(std::int64_t offset, ReadFailure reason) {
    if (endAt_ >= 0 && endAt_ <= offset) return;
    endAt_ = offset;
    end_ = std::move(reason);
}

int FileSource::descriptor(std::size_t index, std::int64_t offset,
                           std::optional<ReadFailure>& failure) {
    if (fds_[index] >= 0) return fds_[index];
    std::int64_t length = 0;
    const int fd = fds_[index] == -1 ? OpenRegular(files_[index].path, length) : -ENOENT;
    if (fd >= 0) {
        fds_[index] = fd;
        return fd;
    }
    fds_[index] = -2;
    endAt(offset, {-fd, files_[index].path, offset + 1});
    failure = end_;
    return -1;
}

std::int64_t FileSource::read(std::int64_t offset, std::uint8_t* dst, std::int64_t n,
                              std::optional<ReadFailure>& failure) {
    if (offset < 0 || files_.empty()) return 0;
    if (endAt_ >= 0) {
        if (offset >= endAt_) {
            failure = end_;
            return 0;
        }
        n = std::min(n, endAt_ - offset);
    }
    const std::size_t last = files_.size() - 1;
    std::int64_t done = 0;
    while (done < n) {
        const std::int64_t at = offset + done;
        std::size_t index = last;
        if (at < files_[last].start) index = Locate(files_, at + 1)->file;
        const SourceFile& f = files_[index];
        const std::int64_t inFile = at - f.start;
        const std::int64_t want = index == last ? n - done : std::min(n - done, f.length - inFile);
        const int fd = descriptor(index, at, failure);
        if (fd < 0) return done;
        const ssize_t r =
            ::pread(fd, dst + done, static_cast<std::size_t>(want), static_cast<off_t>(inFile));
        if (r < 0) {
            if (errno == EINTR) continue;
            failure = ReadFailure{errno, f.path, at + 1};
            if (index != last) endAt(at, *failure);
            return done;
        }
        if (r == 0) {
            // Behind the length it had at opening: the file has shrunk. Only a stream of several
            // files calls that a failure; one file simply ends earlier, as it always did.
            if (inFile < f.length && files_.size() > 1) {
                const ReadFailure shrunk{0, f.path, at + 1};
                if (index != last) endAt(at, shrunk);
                failure = shrunk;
            }
            return done;
        }
        done += r;
    }
    return done;
}

}  // namespace droskal
