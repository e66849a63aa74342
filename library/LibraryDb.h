#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace droskal {

// One picture's sentence as the index keeps it.
struct LibraryFix {
    std::int64_t picture = 0;    // 0-based, in its recording
    std::optional<double> time;  // seconds since 2000-01-01 UTC (date and time present)
    bool valid = false;          // status A with a position
    double latitude = 0;         // degrees, south negative
    double longitude = 0;        // degrees, west negative
    std::optional<double> speedKmh;
};

// One file of the index: what identifies its version on disk and what a scan found.
struct LibraryRecording {
    std::string path;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint8_t picFormat = 0;
    std::int64_t pictures = 0;
    std::string problem;            // empty for a usable recording, else why it is skipped
    std::vector<LibraryFix> fixes;  // the pictures with a sentence, in picture order
};

struct FileStamp {
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The index file. Opening checks that it is ours, of this schema version and intact; any other
// file is moved aside (FILE.broken) and a new index made, and `notice` says so.
class LibraryDb {
  public:
    static constexpr int kSchemaVersion = 1;

    LibraryDb() = default;
    ~LibraryDb();
    LibraryDb(const LibraryDb&) = delete;
    LibraryDb& operator=(const LibraryDb&) = delete;

    bool open(const std::string& path, std::string& notice, std::string& error);
    void close();

    // Size and modification time of every recording the index holds, by path.
    bool stamps(std::map<std::string, FileStamp>& out, std::string& error) const;
    bool begin(std::string& error);
    bool commit(std::string& error);
    // Replaces the recording of the same path.
    bool put(const LibraryRecording& recording, std::string& error);
    bool remove(const std::string& path, std::string& error);
    // The recordings of these paths with their fixes, in the order asked; unknown paths are left
    // out.
    bool load(const std::vector<std::string>& paths, std::vector<LibraryRecording>& out,
              std::string& error) const;

  private:
    bool exec(const char* sql, std::string& error) const;
    bool isOurs(std::string& why) const;
    bool create(std::string& error);

    sqlite3* db_ = nullptr;
};

}  // namespace droskal
