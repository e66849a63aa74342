#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gps/RmcFields.h"
#include "stream/ByteSource.h"

namespace droskal {

// One picture of a trip as the index knows it: where it is and what its sentence says.
struct IndexedPicture {
    std::int64_t position = 0;  // trip position of its picture start code's last byte (picturePos)
    std::uint32_t file = 0;     // which file of the trip holds it
    char status = 0;            // the sentence's fix status: 'A', 'V', or 0 without a sentence
    bool hasTime = false;
    bool hasPosition = false;
    bool hasSpeed = false;
    double time = 0;       // seconds since 2000-01-01 UTC, with hasTime
    double latitude = 0;   // degrees, south negative, with hasPosition
    double longitude = 0;  // degrees, west negative
    double speedKmh = 0;   // with hasSpeed
};

// What a picture's parsed sentence tells the index (status, time, position, speed).
void TakeSentence(const RmcSentence& sentence, IndexedPicture& picture);

// The pictures of a trip, found by scanning start codes and user data only: nothing is decoded,
// so the index reads as fast as the disk. Every picture start code counts, as for the window's
// steps; a picture's sentence is its own user data before its first slice.
//
// start() scans on a thread of its own; the index can be read while it grows (count, at,
// snapshot are safe from any thread) and cancel() or the destructor stops it.
class PictureIndex {
  public:
    // Bytes scanned so far and in all; called on the scanning thread.
    using Progress = std::function<void(std::int64_t done, std::int64_t total)>;

    PictureIndex() = default;
    ~PictureIndex();
    PictureIndex(const PictureIndex&) = delete;
    PictureIndex& operator=(const PictureIndex&) = delete;

    // Starts indexing the files laid end to end (any index being built is cancelled first).
    void start(std::vector<std::string> paths, Progress progress = {});
    // Stops the scan and waits for its thread; what was found stays.
    void cancel();

    bool finished() const { return finished_.load(); }
    std::size_t count() const;
    std::optional<IndexedPicture> at(std::size_t index) const;
    std::vector<IndexedPicture> snapshot() const;
    // Why the scan ended before the last file's end, if it did.
    std::optional<ReadFailure> failure() const;

    // The scan itself, on the calling thread: hands the pictures to `sink` in batches.
    // False when `cancelled` stopped it or a file failed (`failure` says which and why).
    static bool Scan(const std::vector<std::string>& paths,
                     const std::function<void(std::vector<IndexedPicture>&)>& sink,
                     const Progress& progress, const std::atomic<bool>& cancelled,
                     std::optional<ReadFailure>& failure);

  private:
    mutable std::mutex mutex_;
    std::vector<IndexedPicture> pictures_;
    std::optional<ReadFailure> failure_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace droskal
