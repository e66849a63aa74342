#pragma once

// Where the pack's files are written: the one seam between the pack and the disk, so a test
// can make the disk fill up half-way.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace droskal::evidence {

// One file being written; seek is for the MP4 muxer, which fills in sizes at the end.
class PackOutput {
  public:
    virtual ~PackOutput() = default;
    virtual bool write(const std::uint8_t* data, std::size_t size, std::string& error) = 0;
    virtual bool seek(std::int64_t offset, std::string& error) = 0;
    virtual bool close(std::string& error) = 0;

    bool write(const std::string& text, std::string& error) {
        return write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), error);
    }
};

// The folder the pack is built in (a temporary one beside the target).
class PackFolder {
  public:
    virtual ~PackFolder() = default;
    // A new file `name` in `folder`; nullptr with `error` set when it cannot be made.
    virtual std::unique_ptr<PackOutput> create(const std::string& folder, const std::string& name,
                                               std::string& error);
};

// Writes a whole file through the folder.
bool WritePackFile(PackFolder& folder, const std::string& dir, const std::string& name,
                   const std::uint8_t* data, std::size_t size, std::string& error);
inline bool WritePackFile(PackFolder& folder, const std::string& dir, const std::string& name,
                          const std::string& text, std::string& error) {
    return WritePackFile(folder, dir, name, reinterpret_cast<const std::uint8_t*>(text.data()),
                         text.size(), error);
}

}  // namespace droskal::evidence
