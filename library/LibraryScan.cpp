#include "library/LibraryScan.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "recording/PictureIndex.h"
#include "recording/Recording.h"
#include "recording/Trips.h"
#include "stream/StreamFile.h"

namespace droskal {

namespace fs = std::filesystem;

namespace {

// The window's picture search gives up after this many bytes without a picture start code.
constexpr std::int64_t kLongestPictureGap = 299999;
// Recordings written per transaction: an interrupted run keeps what it read, and readers see
// the index grow.
constexpr std::size_t kPerTransaction = 32;

bool Stamp(const std::string& path, FileStamp& stamp) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    stamp.size = static_cast<std::int64_t>(st.st_size);
    stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

}  // namespace

bool IsUnder(const std::string& path, const std::string& root) {
    if (path.size() < root.size() || path.compare(0, root.size(), root) != 0) return false;
    return path.size() == root.size() || path[root.size()] == '/' ||
           (!root.empty() && root.back() == '/');
}

bool FindRecordings(const std::vector<std::string>& paths, std::vector<FoundRecording>& found,
                    std::vector<std::string>& roots, std::string& error) {
    found.clear();
    roots.clear();
    for (const std::string& given : paths) {
        std::error_code ec;
        std::string root = fs::absolute(given, ec).lexically_normal().string();
        if (root.size() > 1 && root.back() == '/') root.pop_back();
        const fs::file_status status = fs::status(root, ec);
        if (ec || !fs::exists(status)) {
            error = given + ": " + (ec ? ec.message() : std::strerror(ENOENT));
            return false;
        }
        roots.push_back(root);
        if (!fs::is_directory(status)) {
            FoundRecording f{root, {}};
            Stamp(root, f.stamp);
            found.push_back(f);
            continue;
        }
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied,
                                            ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            std::error_code typeError;
            if (name.empty() || name[0] == '.' || !it->is_regular_file(typeError) ||
                !IsRecordingName(name))
                continue;
            FoundRecording f{it->path().string(), {}};
            if (Stamp(f.path, f.stamp)) found.push_back(f);
        }
        if (ec) {
            error = given + ": " + ec.message();
            return false;
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.path < b.path; });
    found.erase(std::unique(found.begin(), found.end(),
                            [](const auto& a, const auto& b) { return a.path == b.path; }),
                found.end());
    return true;
}

LibraryRecording ScanRecording(const FoundRecording& file, std::atomic<std::int64_t>& bytesRead,
                               const std::atomic<bool>& cancelled) {
    LibraryRecording r;
    r.path = file.path;
    r.size = file.stamp.size;
    r.mtimeNs = file.stamp.mtimeNs;
    {
        StreamFile stream;
        if (const int err = stream.open(file.path); err != 0) {
            r.problem = std::string("cannot be read: ") + std::strerror(err);
            bytesRead += file.stamp.size;
            return r;
        }
        r.picFormat = CheckRecording(stream).picFormat;
    }
    if (r.picFormat == 0) {
        r.problem = "not a recording";
        bytesRead += file.stamp.size;
        return r;
    }
    std::vector<IndexedPicture> pictures;
    std::optional<ReadFailure> failure;
    std::int64_t counted = 0;
    PictureIndex::Scan(
        {file.path},
        [&](std::vector<IndexedPicture>& batch) {
            pictures.insert(pictures.end(), batch.begin(), batch.end());
        },
        [&](std::int64_t done, std::int64_t) {
            bytesRead += done - counted;
            counted = done;
        },
        cancelled, failure);
    bytesRead += std::max<std::int64_t>(0, file.stamp.size - counted);
    if (failure) {
        r.problem = "read error at position " + std::to_string(failure->position) + ": " +
                    std::strerror(failure->error);
        return r;
    }
    if (pictures.empty()) {
        r.problem = "damaged: no picture";
        return r;
    }
    for (std::size_t i = 1; i < pictures.size(); ++i) {
        if (pictures[i].position - pictures[i - 1].position > kLongestPictureGap) {
            r.problem = "damaged: no picture start code within 299,999 bytes after position " +
                        std::to_string(pictures[i - 1].position);
            return r;
        }
    }
    r.pictures = static_cast<std::int64_t>(pictures.size());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const IndexedPicture& p = pictures[i];
        if (p.status == 0 && !p.hasTime) continue;
        LibraryFix f;
        f.picture = static_cast<std::int64_t>(i);
        if (p.hasTime) f.time = p.time;
        f.valid = p.status == 'A' && p.hasPosition;
        f.latitude = p.latitude;
        f.longitude = p.longitude;
        if (p.hasSpeed) f.speedKmh = p.speedKmh;
        r.fixes.push_back(f);
    }
    return r;
}

void ScanInOrder(std::size_t count, int jobs, std::size_t ahead,
                 const std::function<LibraryRecording(std::size_t)>& work,
                 const std::function<void(std::size_t, LibraryRecording&)>& deliver,
                 const std::function<void()>& idle) {
    jobs = std::max(1, jobs);
    ahead = std::max<std::size_t>(ahead, static_cast<std::size_t>(jobs));
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::size_t, LibraryRecording> ready;  // finished, waiting for their turn
    std::size_t next = 0;                           // next index a worker takes
    std::size_t delivered = 0;                      // results handed on so far

    auto worker = [&] {
        for (;;) {
            std::size_t index;
            {
                std::unique_lock lock(mutex);
                // The queue is bounded: no worker runs more than `ahead` past the consumer.
                changed.wait(lock, [&] { return next >= count || next < delivered + ahead; });
                if (next >= count) return;
                index = next++;
            }
            LibraryRecording result = work(index);
            {
                std::lock_guard lock(mutex);
                ready.emplace(index, std::move(result));
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < jobs && static_cast<std::size_t>(i) < count; ++i)
        threads.emplace_back(worker);
    while (delivered < count) {
        std::optional<LibraryRecording> result;
        {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, std::chrono::milliseconds(200),
                             [&] { return ready.count(delivered) != 0; });
            if (auto it = ready.find(delivered); it != ready.end()) {
                result = std::move(it->second);
                ready.erase(it);
            }
        }
        if (result) {
            deliver(delivered, *result);
            {
                std::lock_guard lock(mutex);
                ++delivered;
            }
            changed.notify_all();
        }
        if (idle) idle();
    }
    for (auto& t : threads) t.join();
}

bool UpdateLibrary(LibraryDb& db, const std::vector<FoundRecording>& found,
                   const std::vector<std::string>& roots, int jobs,
                   const std::function<void(const LibraryProgress&)>& progress,
                   LibraryUpdate& result, std::string& error, const std::atomic<bool>* cancelled) {
    const std::atomic<bool> never{false};
    const std::atomic<bool>& stop = cancelled ? *cancelled : never;
    result = {};
    result.found = found.size();
    std::map<std::string, FileStamp> known;
    if (!db.stamps(known, error)) return false;

    std::vector<const FoundRecording*> toRead;
    std::map<std::string, bool> present;
    for (const FoundRecording& f : found) {
        present[f.path] = true;
        const auto it = known.find(f.path);
        if (it == known.end() || !(it->second == f.stamp)) {
            toRead.push_back(&f);
            result.bytesTotal += f.stamp.size;
        }
    }
    if (!db.begin(error)) return false;
    for (const auto& [path, stamp] : known) {
        if (present.count(path)) continue;
        if (!std::any_of(roots.begin(), roots.end(),
                         [&](const std::string& root) { return IsUnder(path, root); }))
            continue;
        if (!db.remove(path, error)) return false;
        ++result.removed;
    }
    if (!db.commit(error)) return false;

    std::atomic<std::int64_t> bytesRead{0};
    LibraryProgress state{0, toRead.size(), 0, result.bytesTotal};
    bool ok = db.begin(error);
    std::size_t inTransaction = 0;
    ScanInOrder(
        toRead.size(), jobs, static_cast<std::size_t>(std::max(1, jobs)) * 2,
        [&](std::size_t i) {
            return stop ? LibraryRecording{} : ScanRecording(*toRead[i], bytesRead, stop);
        },
        [&](std::size_t, LibraryRecording& r) {
            if (!ok || stop) return;
            ok = db.put(r, error);
            ++result.read;
            ++state.filesDone;
            if (ok && ++inTransaction == kPerTransaction) {
                inTransaction = 0;
                ok = db.commit(error) && db.begin(error);
            }
        },
        [&] {
            state.bytesDone = bytesRead.load();
            if (progress) progress(state);
        });
    if (ok) ok = db.commit(error);
    return ok;
}

std::string DefaultIndexPath(std::string& error) {
    std::string cache;
    if (const char* x = std::getenv("XDG_CACHE_HOME"); x && x[0] == '/') {
        cache = x;
    } else if (const char* home = std::getenv("HOME"); home && home[0]) {
        cache = std::string(home) + "/.cache";
    } else {
        error = "no cache folder (XDG_CACHE_HOME or HOME)";
        return "";
    }
    const std::string folder = cache + "/droskal";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        error = folder + ": " + ec.message();
        return "";
    }
    return folder + "/index.sqlite";
}

}  // namespace droskal
