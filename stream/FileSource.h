#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stream/ByteSource.h"

namespace droskal {

// One file of a stream made of files laid end to end.
struct SourceFile {
    std::string path;
    std::int64_t length = 0;  // bytes when the stream was opened
    std::int64_t start = 0;   // 0-based stream offset of its first byte
};

// A 1-based stream position as a file and a 1-based position inside it.
struct FilePlace {
    std::size_t file = 0;
    std::int64_t position = 0;
};

// Which file holds stream position `pos`: nullopt below 1 or behind the last file's end.
std::optional<FilePlace> Locate(const std::vector<SourceFile>& files, std::int64_t pos);
// The stream position of a place: the inverse of Locate.
std::int64_t StreamPosition(const std::vector<SourceFile>& files, FilePlace place);

// Whether a file's open error means "there is no such recording" rather than a real failure.
bool IsNotFound(int error);

// Regular files read with pread, one after another as one stream. The first file is opened at
// once; the others when reading first reaches them, so a folder of many files opens quickly
// and a file that has vanished since ends the stream where it would begin.
//
// Every file but the last is read up to its length at opening, so positions never shift. A
// file that has shrunk, vanished or cannot be read ends the stream there for good, with the
// reason; a failed read of the last file, or of the only one, ends only that read. The last
// file is read as far as it goes now, so a stream of one file behaves as the file itself.
class FileSource final : public ByteSource {
  public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens the first file without ever blocking (FIFOs and devices are refused before they
    // are opened) and measures the others. Returns 0 or the first file's errno (ENOENT also
    // for anything that is not a regular file). A later file that cannot be measured ends the
    // stream before it.
    int open(const std::vector<std::string>& paths);

    // Up to where a failure ended the stream, once one has.
    std::int64_t length() const override { return endAt_ >= 0 ? endAt_ : length_; }
    std::int64_t read(std::int64_t offset, std::uint8_t* dst, std::int64_t n,
                      std::optional<ReadFailure>& failure) override;
    const std::vector<SourceFile>& files() const { return files_; }

  private:
    int descriptor(std::size_t index, std::int64_t offset, std::optional<ReadFailure>& failure);
    void endAt(std::int64_t offset, ReadFailure reason);

    std::vector<SourceFile> files_;
    std::vector<int> fds_;  // -1 not opened yet, -2 failed
    std::int64_t length_ = 0;
    std::int64_t endAt_ = -1;  // 0-based offset where a failure ended the stream, -1 none
    ReadFailure end_;
};

}  // namespace droskal
