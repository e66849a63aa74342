#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace droskal::cli {

// True when both names exist and are the same file (same device and inode), whatever the
// spelling, links included.
bool SameFile(const std::string& a, const std::string& b);

// Writes into a temporary file beside the target and renames it over the target only once
// everything is written, so the target is never left half-written. Without commit() the
// temporary file is removed. A pipe or a device is written to directly.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open(const std::string& target, std::string& error);
    bool write(const std::uint8_t* data, std::size_t size, std::string& error);
    bool write(const std::string& text, std::string& error) {
        return write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), error);
    }
    bool commit(std::string& error);

  private:
    void discard();

    int fd_ = -1;
    std::string target_;
    std::string temp_;
};

// Whole-buffer convenience for one-shot files.
bool WriteWholeFile(const std::string& target, const std::uint8_t* data, std::size_t size,
                    std::string& error);

}  // namespace droskal::cli
