#include "evidence/PackFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace droskal::evidence {

namespace {

class PosixOutput final : public PackOutput {
  public:
    PosixOutput(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    ~PosixOutput() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool write(const std::uint8_t* data, std::size_t size, std::string& error) override {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                return fail(error);
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool seek(std::int64_t offset, std::string& error) override {
        if (::lseek(fd_, offset, SEEK_SET) < 0) return fail(error);
        return true;
    }
    bool close(std::string& error) override {
        const int fd = fd_;
        fd_ = -1;
        // Written data must be on the disk before the folder gets its final name.
        if (::fsync(fd) != 0 || ::close(fd) != 0) return fail(error);
        return true;
    }

  private:
    bool fail(std::string& error) const {
        error = "cannot write " + name_ + ": " + std::strerror(errno);
        return false;
    }
    int fd_;
    std::string name_;
};

}  // namespace

std::unique_ptr<PackOutput> PackFolder::create(const std::string& folder, const std::string& name,
                                               std::string& error) {
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "cannot create " + name + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<PosixOutput>(fd, name);
}

bool WritePackFile(PackFolder& folder, const std::string& dir, const std::string& name,
                   const std::uint8_t* data, std::size_t size, std::string& error) {
    auto out = folder.create(dir, name, error);
    return out && out->write(data, size, error) && out->close(error);
}

}  // namespace droskal::evidence
