// The library of drives: the index database (incremental, rebuilt when damaged), the parallel
// scan, and droskal-cli index's filters and formats on generated folders.
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "TestRecordings.h"
#include "library/LibraryDb.h"
#include "library/LibraryScan.h"

namespace droskal {
namespace {

using namespace test;
using nlohmann::json;
using testing::HasSubstr;

// A drive of `count` pictures a second apart, moving north 0.0001 degree a picture.
struct Drive {
    std::string name;
    std::string date;  // ddmmyy
    double start;      // second of the day, UTC
    int count;
    double lat, lon;
    std::string knots;
    int lostAt = -1;  // this picture's sentence has no valid fix
};

Bytes DriveBytes(const Drive& d) {
    return BuildRecording({.count = d.count,
                           .quantiser = 0,
                           .sentence =
                               [&d](int i) {
                                   return Sentence({.seconds = d.start + i,
                                                    .lat = d.lat + 0.0001 * i,
                                                    .lon = d.lon,
                                                    .knots = d.knots,
                                                    .status = i == d.lostAt ? "V" : "A",
                                                    .date = d.date});
                               }})
        .bytes();
}

CliRun Index(std::vector<std::string> args) {
    args.insert(args.begin(), "index");
    return Cli(args);
}

const std::vector<Drive> kThreeDrives = {
    {"a.m1v", "300306", 3600, 10, 52.0, 21.0, "10.0"},      // 18.5 km/h
    {"sub/b.m1v", "310306", 7200, 10, 50.0, 19.9, "50.0"},  // 92.6 km/h
    {"c.m1v", "010406", 36000, 10, 54.35, 18.65, "20.0"},
};

void WriteDrives(const TempFolder& folder, const std::vector<Drive>& drives) {
    std::filesystem::create_directories(folder.file("sub"));
    for (const Drive& d : drives) folder.write(d.name, DriveBytes(d));
}

TEST(LibraryIndex, FiltersByDatePlaceAndSpeed) {
    TempFolder folder, cache;
    WriteDrives(folder, kThreeDrives);
    const std::string a = "2006-03-30T01:00:00Z", b = "2006-03-31T02:00:00Z",
                      c = "2006-04-01T10:00:00Z";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> starts;
        std::string closest;  // of the first trip listed, with --near
    } cases[] = {
        {{}, {a, b, c}, ""},
        {{"--since", "2006-03-31"}, {b, c}, ""},
        {{"--until", "2006-03-30"}, {a}, ""},
        {{"--since", "2006-03-31", "--until", "2006-03-31"}, {b}, ""},
        {{"--until", "2006-03-31T01:59"}, {a}, ""},
        // Summer time in Warsaw from 26 March 2006: 03:30 there is 01:30 UTC.
        {{"--tz", "Europe/Warsaw", "--until", "2006-03-31T03:30"},
         {"2006-03-30T03:00:00+02:00"},
         ""},
        {{"--bbox", "49.5,19.5,50.5,20.5"}, {b}, ""},
        {{"--bbox", "49.5,20.5,50.5,21.5"}, {}, ""},
        {{"--near", "52.0005,21.0,20"}, {a}, "2006-03-30T01:00:05Z"},
        // 0.001 degree of longitude is 69 m at 52 degrees north.
        {{"--near", "52.0005,21.001,60"}, {}, ""},
        {{"--near", "52.0005,21.001,75"}, {a}, "2006-03-30T01:00:05Z"},
        {{"--min-speed", "90"}, {b}, ""},
        {{"--min-speed", "93"}, {}, ""},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::PrintToString(k.args));
        std::vector<std::string> args = {folder.file(""), "--db", cache.file("i.sqlite"),
                                         "--format", "json"};
        args.insert(args.end(), k.args.begin(), k.args.end());
        const CliRun run = Index(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const json trips = json::parse(run.out)["trips"];
        std::vector<std::string> starts;
        for (const auto& t : trips) starts.push_back(t["start"]);
        EXPECT_EQ(starts, k.starts);
        if (!k.closest.empty()) {
            EXPECT_EQ(trips[0]["closestTime"], k.closest);
        }
    }
}

TEST(LibraryIndex, ReadsOnlyNewAndChangedRecordingsAndDropsRemovedOnes) {
    TempFolder folder, cache;
    WriteDrives(folder, kThreeDrives);
    const std::string dbPath = cache.file("i.sqlite");
    Drive longer = kThreeDrives[2];
    longer.count = 20;
    const Drive added{"sub/d.m1v", "020406", 100, 5, 1, 1, "1"};
    const struct {
        const char* what;
        std::function<void()> change;
        std::size_t read, removed;
        std::int64_t pictures;  // in all recordings of the index afterwards
    } steps[] = {
        {"first run", [] {}, 3, 0, 30},
        {"unchanged", [] {}, 0, 0, 30},
        {"one changed", [&] { folder.write(longer.name, DriveBytes(longer)); }, 1, 0, 40},
        {"one added", [&] { folder.write(added.name, DriveBytes(added)); }, 1, 0, 45},
        {"one removed", [&] { std::filesystem::remove(folder.file("a.m1v")); }, 0, 1, 35},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.change();
        LibraryDb db;
        std::string notice, error;
        ASSERT_TRUE(db.open(dbPath, notice, error)) << error;
        EXPECT_EQ(notice, "");
        std::vector<FoundRecording> found;
        std::vector<std::string> roots;
        ASSERT_TRUE(FindRecordings({folder.file("")}, found, roots, error)) << error;
        LibraryUpdate update;
        ASSERT_TRUE(UpdateLibrary(db, found, roots, 2, {}, update, error)) << error;
        EXPECT_EQ(update.read, s.read);
        EXPECT_EQ(update.removed, s.removed);
        std::map<std::string, FileStamp> stamps;
        ASSERT_TRUE(db.stamps(stamps, error));
        std::vector<std::string> paths;
        for (const auto& [path, stamp] : stamps) paths.push_back(path);
        std::vector<LibraryRecording> recordings;
        ASSERT_TRUE(db.load(paths, recordings, error));
        std::int64_t pictures = 0;
        for (const auto& r : recordings) pictures += r.pictures;
        EXPECT_EQ(pictures, s.pictures);
    }
    // Another folder indexed into the same file leaves the first one's recordings alone.
    TempFolder other;
    other.write("x.m1v", DriveBytes({"", "020406", 500, 5, 1, 1, "1"}));
    Index({other.file(""), "--db", dbPath});
    const CliRun again = Index({folder.file(""), "--db", dbPath, "--format", "csv"});
    EXPECT_EQ(std::count(again.out.begin(), again.out.end(), '\n'), 1 + 3);
}

TEST(LibraryIndex, DamagedOrForeignIndexIsMovedAsideAndRebuilt) {
    TempFolder folder, cache;
    WriteDrives(folder, kThreeDrives);
    const std::string good = cache.file("good.sqlite");
    ASSERT_EQ(Index({folder.file(""), "--db", good}).status, 0);
    auto sql = [](const std::string& path, const char* statement) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, statement, nullptr, nullptr, nullptr);
        sqlite3_close(db);
    };
    const struct {
        const char* what;
        std::function<void(const std::string&)> make;
        const char* reason;
    } cases[] = {
        {"not SQLite", [](const std::string& p) { std::ofstream(p) << std::string(5000, 'x'); },
         "not an SQLite database"},
        {"another program's database",
         [&](const std::string& p) { sql(p, "CREATE TABLE notes(text)"); }, "not a Droskal index"},
        {"another version",
         [&](const std::string& p) {
             std::filesystem::copy_file(good, p);
             sql(p, "PRAGMA user_version=7");
         },
         "index version 7"},
        {"cut short",
         [&](const std::string& p) {
             sql(good, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE");
             std::filesystem::copy_file(good, p);
             std::filesystem::resize_file(p, std::filesystem::file_size(p) / 2);
         },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path =
            cache.file(std::string("t") + std::to_string(&c - cases) + ".sqlite");
        c.make(path);
        const CliRun run = Index({folder.file(""), "--db", path, "--format", "csv"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_THAT(run.err, HasSubstr("moved to " + path + ".broken"));
        EXPECT_THAT(run.err, HasSubstr(c.reason));
        EXPECT_TRUE(std::filesystem::exists(path + ".broken"));
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1 + 3);
        const CliRun second = Index({folder.file(""), "--db", path});
        EXPECT_EQ(second.err, "");
    }
}

TEST(LibraryIndex, OutputDoesNotDependOnJobsAndBadFilesAreNamed) {
    TempFolder folder, cache;
    std::vector<Drive> drives;
    for (int i = 0; i < 12; ++i) {
        // Pairs of files 60 s apart make one trip each.
        drives.push_back({"r" + std::to_string(i) + ".m1v", "300306",
                          1000.0 + i * 70 + (i % 2 ? 0 : 500 * i), 8 + i, 52.0 + i, 21.0,
                          std::to_string(10 + i), i == 5 ? 3 : -1});
    }
    WriteDrives(folder, drives);
    folder.write("foreign.m1v", Bytes(3000, 0x47));
    Bytes cut = DriveBytes(drives[0]);
    folder.write("sub/empty.m1v", Bytes(cut.begin(), cut.begin() + 20));
    for (const char* format : {"csv", "geojson", "table"}) {
        SCOPED_TRACE(format);
        const CliRun one = Index({folder.file(""), "--db", cache.file(std::string("1") + format),
                                  "--jobs", "1", "--format", format});
        const CliRun two = Index({folder.file(""), "--db", cache.file(std::string("2") + format),
                                  "--jobs", "2", "--format", format});
        EXPECT_EQ(one.out, two.out);
        EXPECT_EQ(one.err, two.err);
        EXPECT_EQ(one.status, cli::kExitPartial);
        EXPECT_THAT(one.err, HasSubstr(folder.file("foreign.m1v") + ": not a recording"));
        EXPECT_THAT(one.err, HasSubstr(folder.file("sub/empty.m1v") + ": damaged"));
        EXPECT_THAT(one.err, HasSubstr("2 files skipped"));
    }
}

TEST(LibraryScan, ResultsComeInOrderAndWorkersStayWithinTheQueue) {
    for (const int jobs : {1, 2, 4}) {
        SCOPED_TRACE(jobs);
        constexpr std::size_t kCount = 12, kAhead = 4;
        std::atomic<std::size_t> delivered{0}, furthest{0};
        std::vector<std::size_t> order;
        ScanInOrder(
            kCount, jobs, kAhead,
            [&](std::size_t i) {
                // Later items finish first; none starts further than kAhead past the consumer.
                furthest = std::max(furthest.load(), i + 1 - delivered.load());
                std::this_thread::sleep_for(std::chrono::milliseconds(kCount - i));
                LibraryRecording r;
                r.path = std::to_string(i);
                return r;
            },
            [&](std::size_t i, LibraryRecording& r) {
                EXPECT_EQ(r.path, std::to_string(i));
                order.push_back(i);
                ++delivered;
            },
            {});
        std::vector<std::size_t> expected(kCount);
        std::iota(expected.begin(), expected.end(), 0);
        EXPECT_EQ(order, expected);
        EXPECT_LE(furthest.load(), kAhead);
    }
}

TEST(LibraryIndex, GeoJsonRoutesAreLongitudeFirstAndBreakWhereTheFixIsLost) {
    TempFolder folder, cache;
    folder.write("whole.m1v", DriveBytes({"", "300306", 100, 5, 52.0, 21.5, "10"}));
    folder.write("broken.m1v", DriveBytes({"", "300306", 9000, 7, -33.5, -70.25, "10", 3}));
    const CliRun run = Index({folder.file(""), "--db", cache.file("i"), "--format", "geojson"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json fc = json::parse(run.out);
    EXPECT_EQ(fc["type"], "FeatureCollection");
    ASSERT_EQ(fc["features"].size(), 2u);
    const json& whole = fc["features"][0];
    EXPECT_EQ(whole["geometry"]["type"], "LineString");
    EXPECT_EQ(whole["geometry"]["coordinates"].size(), 5u);
    EXPECT_NEAR(whole["geometry"]["coordinates"][0][0].get<double>(), 21.5, 1e-6);
    EXPECT_NEAR(whole["geometry"]["coordinates"][4][1].get<double>(), 52.0004, 1e-6);
    EXPECT_EQ(whole["properties"]["start"], "2006-03-30T00:01:40Z");
    EXPECT_EQ(whole["properties"]["pictures"], 5);
    const json& broken = fc["features"][1];
    EXPECT_EQ(broken["geometry"]["type"], "MultiLineString");
    ASSERT_EQ(broken["geometry"]["coordinates"].size(), 2u);
    EXPECT_EQ(broken["geometry"]["coordinates"][0].size(), 3u);
    EXPECT_EQ(broken["geometry"]["coordinates"][1].size(), 3u);
    EXPECT_NEAR(broken["geometry"]["coordinates"][1][0][0].get<double>(), -70.25, 1e-6);
    EXPECT_NEAR(broken["geometry"]["coordinates"][1][0][1].get<double>(), -33.4996, 1e-6);
    EXPECT_NEAR(broken["properties"]["validFixShare"].get<double>(), 6.0 / 7, 1e-4);
}

}  // namespace
}  // namespace droskal
