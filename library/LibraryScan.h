#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library/LibraryDb.h"

namespace droskal {

// A recording file found on disk.
struct FoundRecording {
    std::string path;  // absolute, normalised
    FileStamp stamp;
};

// Walks the folders (recursively) and files given: regular files named *.m1v, and any file
// named directly. `roots` receives the normalised paths given. False with a message when a
// path does not exist or cannot be listed.
bool FindRecordings(const std::vector<std::string>& paths, std::vector<FoundRecording>& found,
                    std::vector<std::string>& roots, std::string& error);

// Reads one recording by start codes and user data only (nothing is decoded). `bytesRead`
// grows as the file is read, from any thread. A scan `cancelled` stops soon; its result is
// then incomplete and not to be kept.
LibraryRecording ScanRecording(const FoundRecording& file, std::atomic<std::int64_t>& bytesRead,
                               const std::atomic<bool>& cancelled);

// Runs work(i) for every i below `count` on `jobs` threads, at most `ahead` results ahead of
// the consumer, and hands the results to `deliver` in index order on the calling thread, so
// what is delivered never depends on scheduling. `idle` is called on the calling thread while
// it waits (at least every 200 ms).
void ScanInOrder(std::size_t count, int jobs, std::size_t ahead,
                 const std::function<LibraryRecording(std::size_t)>& work,
                 const std::function<void(std::size_t, LibraryRecording&)>& deliver,
                 const std::function<void()>& idle);

struct LibraryUpdate {
    std::size_t found = 0;        // recordings under the paths given
    std::size_t read = 0;         // new or changed, read now
    std::size_t removed = 0;      // gone from disk, dropped from the index
    std::int64_t bytesTotal = 0;  // of the recordings read
};

struct LibraryProgress {
    std::size_t filesDone = 0, filesTotal = 0;
    std::int64_t bytesDone = 0, bytesTotal = 0;
};

// Brings the index up to date with the files found under `roots`: reads the new and changed
// ones (size or modification time differ) on `jobs` threads, drops those gone from disk under
// the roots, and writes in transactions. `progress` is called on the calling thread. When
// `cancelled` is set it stops soon, keeping the recordings written so far.
bool UpdateLibrary(LibraryDb& db, const std::vector<FoundRecording>& found,
                   const std::vector<std::string>& roots, int jobs,
                   const std::function<void(const LibraryProgress&)>& progress,
                   LibraryUpdate& result, std::string& error,
                   const std::atomic<bool>* cancelled = nullptr);

// The index in the user's cache folder ($XDG_CACHE_HOME, else ~/.cache)/droskal/index.sqlite,
// its folder made; empty with a message when there is no cache folder.
std::string DefaultIndexPath(std::string& error);

// True when `path` is `root` or lies under it.
bool IsUnder(const std::string& path, const std::string& root);

}  // namespace droskal
