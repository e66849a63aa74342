#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "stream/ByteSource.h"
#include "stream/FileSource.h"

namespace droskal {

// The one open recording, read as raw bytes at 1-based positions: one file, or the files of
// a trip laid end to end in one position space, so the searches cross their joins unchanged.
//
// The read position is 0 after opening, otherwise the position of the last byte read.
// Every byte comes out of a block cache refilled with pread, so a byte taken costs no system
// call in either direction. Positions and lengths are 64-bit: recordings of several GiB
// behave exactly like small ones.
//
// The end of the file is wherever its source finds it: a file that shrinks while open simply
// ends the reads earlier (bytes still in the cache may be served once more, which is harmless);
// why reading stopped early, when it did, is kept for the caller (takeReadFailure).
class StreamFile {
  public:
    StreamFile() = default;
    ~StreamFile();
    StreamFile(const StreamFile&) = delete;
    StreamFile& operator=(const StreamFile&) = delete;

    // Opens a regular file for reading without ever blocking (FIFOs and devices are refused
    // before they are opened). Returns 0 or the errno that says why not; anything that is not
    // a regular file gives ENOENT (IsNotFound). The caller words it. A previously open file is
    // closed first, whatever the outcome.
    int open(const std::string& path);
    // The files of a trip as one stream (see FileSource); the result is the first file's.
    int open(const std::vector<std::string>& paths);
    // Serves the given bytes as if they were a file (benchmarks, fuzzing).
    void openMemory(std::vector<std::uint8_t> bytes);
    // Serves a regular file mapped into memory the same way, without copying it (benchmarks:
    // a copy of a large recording costs more than decoding a share of it). Returns 0 or the
    // errno that says why not. Only for files nothing truncates meanwhile: a mapped page
    // that no longer exists ends the process with SIGBUS, so the window never maps.
    int openMapped(const std::string& path);
    // Reads from any source (tests inject failing disks this way).
    void openSource(std::unique_ptr<ByteSource> source);
    void close();

    bool isOpen() const { return source_ != nullptr || memory_; }
    // The files behind the positions, in order (empty for memory and other sources).
    const std::vector<SourceFile>& files() const;
    // Why the last read that came short stopped, once: nullopt when it was the plain end.
    std::optional<ReadFailure> takeReadFailure() { return std::exchange(failure_, std::nullopt); }
    // Length at opening time; shorter once a file of a trip has failed and ended it early.
    std::int64_t length() const { return source_ ? source_->length() : length_; }
    std::int64_t readPosition() const { return pos_; }

    // Sequential read: the byte after the read position. False when the file has ended;
    // the read position then stays where it was.
    bool readNext(std::uint8_t& b) {
        const std::int64_t offset = pos_;  // 0-based offset of byte pos_ + 1
        const auto rel = static_cast<std::uint64_t>(offset - cacheStart_);
        if (rel < cacheLen_) {
            b = cache_[rel];
            pos_ = offset + 1;
            return true;
        }
        return readNextSlow(b);
    }

    // Positioned read: byte `pos` (1-based); the read position becomes `pos`. Positions
    // below 1 read nothing and move nothing; beyond the end the read position still moves
    // there, as it would for a positioned read past the end, and nothing is taken.
    bool readAt(std::int64_t pos, std::uint8_t& b);

    // Positioned block read of `n` bytes from `pos`: returns the count actually copied
    // (fewer near the end of the file). The read position is left on the last byte asked
    // for, pos + n - 1, so the next sequential read continues behind the block.
    std::int64_t readBlock(std::int64_t pos, std::int64_t n, std::uint8_t* dst);

    // Like readBlock, but the read position does not move.
    std::int64_t peek(std::int64_t pos, std::int64_t n, std::uint8_t* dst);

    // Cache view for scanners: makes the byte at 0-based `offset` cached and returns a
    // pointer to it with the count of cached bytes from there on (0 when the file ends).
    // Valid until the next call on this object.
    std::int64_t cachedFrom(std::int64_t offset, const std::uint8_t*& data);
    // Same, but the cached bytes end at `offset` inclusive: returns a pointer to the byte at
    // `offset` and how many cached bytes reach back from it (itself included).
    std::int64_t cachedUpTo(std::int64_t offset, const std::uint8_t*& data);
    // Moves the read position without reading (used by scanners that took bytes from the
    // cache view directly).
    void setReadPosition(std::int64_t pos) { pos_ = pos; }

    static constexpr std::int64_t kBlockSize = 256 * 1024;

  private:
    void adopt(std::unique_ptr<ByteSource> source, const FileSource* files);
    bool readNextSlow(std::uint8_t& b);
    // Makes the aligned block holding 0-based `offset` the cached one; false when the offset
    // lies beyond the end of the file as it is now.
    bool fill(std::int64_t offset);
    std::int64_t copyOut(std::int64_t pos, std::int64_t n, std::uint8_t* dst);

    std::unique_ptr<ByteSource> source_;
    const FileSource* fileSource_ = nullptr;  // source_ when it reads files
    std::optional<ReadFailure> failure_;
    bool memory_ = false;
    std::int64_t length_ = 0;
    std::int64_t pos_ = 0;

    std::vector<std::uint8_t> storage_;  // two cache blocks, or the whole memory-backed file
    void* mapped_ = nullptr;             // openMapped's mapping, mappedLen_ bytes
    std::size_t mappedLen_ = 0;
    const std::uint8_t* cache_ = nullptr;
    std::int64_t cacheStart_ = 0;  // 0-based offset of cache_[0]
    std::uint64_t cacheLen_ = 0;
    // The block used before the current one stays loaded: a backward search crossing into the
    // block below and the forward reads that follow it then cost no second read each.
    int slot_ = 0;                  // which half of storage_ is cache_
    std::int64_t otherStart_ = -1;  // the other half's block, -1 when it holds none
    std::uint64_t otherLen_ = 0;
};

}  // namespace droskal
