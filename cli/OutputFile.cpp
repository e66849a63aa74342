#include "cli/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace droskal::cli {

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

bool OutputFile::open(const std::string& target, std::string& error) {
    discard();
    target_ = target;
    // A pipe or a device (/dev/null, a terminal) is written to as it is: renaming a file over
    // it would put a plain file in its place.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            error = target + " is a folder";
            return false;
        }
        fd_ = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error = "cannot open " + target + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    const std::filesystem::path path(target);
    std::filesystem::path dir = path.parent_path();
    if (dir.empty()) dir = ".";
    std::string pattern = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) {
        error = "cannot create a file in " + dir.string() + ": " + std::strerror(errno);
        return false;
    }
    temp_ = name.data();
    // mkstemp makes the file private; the result should get the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    return true;
}

bool OutputFile::write(const std::uint8_t* data, std::size_t size, std::string& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = "cannot write " + target_ + ": " + std::strerror(errno);
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool OutputFile::commit(std::string& error) {
    if (fd_ < 0) {
        error = "no output file open";
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        error = "cannot write " + target_ + ": " + std::strerror(errno);
        discard();
        return false;
    }
    if (!temp_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = "cannot replace " + target_ + ": " + std::strerror(errno);
        discard();
        return false;
    }
    temp_.clear();
    return true;
}

bool WriteWholeFile(const std::string& target, const std::uint8_t* data, std::size_t size,
                    std::string& error) {
    OutputFile out;
    return out.open(target, error) && out.write(data, size, error) && out.commit(error);
}

}  // namespace droskal::cli
