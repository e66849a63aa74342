// Trips: a folder's recordings grouped into drives and read as one stream, across every join,
// with files failing under an open trip; the command line's trips and folder inputs.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include <nlohmann/json.hpp>

#include "TestRecordings.h"
#include "cli/Commands.h"
#include "recording/PictureIndex.h"
#include "recording/Trips.h"
#include "recording/Walker.h"

namespace droskal {
namespace {

using namespace test;
using Names = std::vector<std::vector<std::string>>;

// The files' names by trip, without .m1v.
Names TripNames(const std::vector<Trip>& trips) {
    Names names;
    for (const Trip& trip : trips) {
        names.emplace_back();
        for (const std::filesystem::path p : trip.paths())
            names.back().push_back((p.extension() == ".m1v" ? p.stem() : p.filename()).string());
    }
    return names;
}

struct DriveFile {
    std::string name;
    int width;     // 0: not a recording
    double start;  // first sentence's second of the day; < 0 none
    int count = 5;
};

TEST(TripGrouping, FoldersSplitByTimeGapAndFormatOrderedByTime) {
    const struct {
        std::vector<DriveFile> files;
        double gap;
        Names trips;
    } cases[] = {
        // Names without a dot end in .m1v. Time order before name order.
        {{{"b", 320, 1000}, {"a", 320, 1010}}, 120, {{"b", "a"}}},
        // 1 ends at 1004, 2 at 1128: a gap of 120 s joins, 121 s splits; then a shorter gap.
        {{{"1", 320, 1000}, {"2", 320, 1124}, {"3", 320, 1249}}, 120, {{"1", "2"}, {"3"}}},
        {{{"1", 320, 1000}, {"2", 320, 1124}, {"3", 320, 1249}}, 30, {{"1"}, {"2"}, {"3"}}},
        {{{"1", 320, 1000}, {"2", 640, 1005}, {"3", 640, 1010}}, 120, {{"1"}, {"2", "3"}}},
        // No sentences: name order, any case.
        {{{"c", 320, -1}, {"a", 320, -1}, {"B.M1V", 320, -1}}, 120, {{"B.M1V", "a", "c"}}},
        // A file without time stays behind its name neighbour.
        {{{"a", 320, 2000}, {"b", 320, -1}, {"c", 320, 1000}}, 120, {{"c"}, {"a", "b"}}},
        // Other files are left out.
        {{{"x", 0, -1}, {"notes.txt", 320, 1000}, {"r", 320, 1000}}, 120, {{"r"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        TempFolder folder;
        for (const DriveFile& f : c.files) {
            folder.write(
                f.name.find('.') == std::string::npos ? f.name + ".m1v" : f.name,
                f.width ? DriveRecording(f.width, f.count, f.start).bytes() : Bytes(100, 0x47));
        }
        std::vector<Trip> trips;
        int error = -1;
        ASSERT_TRUE(FolderTrips(folder.file(""), c.gap, trips, error));
        EXPECT_EQ(error, 0);
        EXPECT_EQ(TripNames(trips), c.trips);
    }
    std::vector<Trip> none;
    int error = 0;
    EXPECT_FALSE(FolderTrips("/nonexistent/folder", 120, none, error));
    EXPECT_EQ(error, ENOENT);
}

// Lengths with an empty file and a one-byte file among them: the last byte of each file and the
// first of the next map to their files and back.
TEST(TripStream, PositionsMapToFilesAndBackAtEveryJoin) {
    const std::vector<std::int64_t> lengths = {5, 0, 1, 300000, 7};
    TempFolder folder;
    std::vector<std::string> paths;
    for (std::int64_t n : lengths) {
        paths.push_back(folder.write("f" + std::to_string(paths.size()) + ".m1v",
                                     Bytes(static_cast<std::size_t>(n), 1)));
    }
    FileSource source;
    ASSERT_EQ(source.open(paths), 0);
    ASSERT_EQ(source.length(), 300013);
    const auto& files = source.files();
    // A trip position, the file holding it and the position in that file (0: no file holds it).
    const std::tuple<std::int64_t, std::size_t, std::int64_t> cases[] = {
        {0, 0, 0},           {1, 0, 1},      {5, 0, 5},      {6, 2, 1},     {7, 3, 1},
        {300006, 3, 300000}, {300007, 4, 1}, {300013, 4, 7}, {300014, 0, 0}};
    for (const auto& [pos, file, inFile] : cases) {
        SCOPED_TRACE(pos);
        const auto place = Locate(files, pos);
        ASSERT_EQ(place.has_value(), inFile != 0);
        if (!place) continue;
        EXPECT_EQ(place->file, file);
        EXPECT_EQ(place->position, inFile);
        EXPECT_EQ(StreamPosition(files, *place), pos);
    }
}

// A file of the trip shrinks, vanishes or cannot be opened after the trip was opened: the
// walk ends at the last picture before the damage and says which file and why. The files are
// larger than the reader's cache block, so the damage is met by a read.
TEST(TripStream, FileFailingUnderAnOpenTripEndsItThere) {
    const RecorderWriter rec = DriveRecording(320, 4, 1000, false, 70000);
    const auto& pics = rec.pictures();
    const auto length = static_cast<std::int64_t>(rec.bytes().size());
    const struct {
        const char* what;
        std::function<void(const std::string&)> damage;
        int error;          // 0: shrunk
        int readable;       // pictures read completely
        std::int64_t last;  // the last picture start code before the damage
    } cases[] = {
        {"shrunk into its third picture",
         [&](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), pics[2].slicePos), 0); }, 0,
         4 + 2, length + pics[2].picturePos},
        {"shrunk to nothing", [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 0), 0); },
         0, 4, pics[3].picturePos},
        {"vanished", [](const std::string& p) { ASSERT_EQ(std::remove(p.c_str()), 0); }, ENOENT, 4,
         pics[3].picturePos},
        {"replaced by a folder",
         [](const std::string& p) {
             ASSERT_EQ(std::remove(p.c_str()), 0);
             std::filesystem::create_directory(p);
         },
         ENOENT, 4, pics[3].picturePos},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        TempFolder folder;
        const std::vector<std::string> paths = {folder.write("1.m1v", rec.bytes()),
                                                folder.write("2.m1v", rec.bytes()),
                                                folder.write("3.m1v", rec.bytes())};
        Walker walker;
        int error = -1;
        ASSERT_TRUE(walker.open(paths, error));
        c.damage(paths[1]);
        int readable = 0;
        WalkedPicture pic;
        while (walker.next(pic, Decode::None)) {
            ASSERT_LT(pic.picturePos, 2 * walker.length());
            readable += pic.read ? 1 : 0;
        }
        EXPECT_EQ(readable, c.readable);
        const auto failure = walker.file().takeReadFailure();
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->path, paths[1]);
        EXPECT_EQ(failure->error, c.error);
        // The trip now ends at the damage: backward from its end comes the last picture before it.
        std::int64_t picturePos = walker.length() - 1;
        CountingObserver observer;
        ASSERT_TRUE(FindStartDown(walker.file(), picturePos, observer));
        EXPECT_EQ(picturePos, c.last);
    }
}

// The index of a recording split into files inside a start code, inside a sentence and right
// before a slice code's value: every picture at its place and file, with its sentence's time,
// fix, position and speed; a recording without sentences gives pictures without them.
TEST(PictureIndexTest, FindsEveryPictureAndItsSentenceAcrossJoins) {
    const double day = 2280 * 86400.0;  // 2006-03-30 in seconds since 2000
    for (double start : {1000.0, -1.0}) {
        SCOPED_TRACE(start);
        const RecorderWriter rec = DriveRecording(320, 6, start, false, 3000);
        const auto& pics = rec.pictures();
        const std::int64_t cuts[] = {pics[1].picturePos - 2,
                                     start >= 0 ? pics[2].userDataPos + 5 : pics[2].picturePos + 3,
                                     pics[3].slicePos - 1};
        TempFolder folder;
        std::vector<std::string> paths;
        std::int64_t from = 0;
        for (std::int64_t to :
             {cuts[0], cuts[1], cuts[2], static_cast<std::int64_t>(rec.bytes().size())}) {
            paths.push_back(
                folder.write(std::to_string(paths.size()) + ".m1v",
                             Bytes(rec.bytes().begin() + from, rec.bytes().begin() + to)));
            from = to;
        }
        std::vector<std::int64_t> progress;
        PictureIndex index;
        index.start(paths, [&](std::int64_t done, std::int64_t total) {
            EXPECT_EQ(total, static_cast<std::int64_t>(rec.bytes().size()));
            progress.push_back(done);
        });
        for (int wait = 0; wait < 5000 && !index.finished(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(index.finished());
        EXPECT_EQ(progress.back(), static_cast<std::int64_t>(rec.bytes().size()));
        EXPECT_FALSE(index.failure());
        const std::vector<IndexedPicture> found = index.snapshot();
        ASSERT_EQ(found.size(), pics.size());
        const std::uint32_t files[] = {0, 1, 1, 2, 3, 3};
        for (std::size_t i = 0; i < found.size(); ++i) {
            SCOPED_TRACE(i);
            const IndexedPicture& p = found[i];
            EXPECT_EQ(p.position, pics[i].picturePos);
            EXPECT_EQ(p.file, files[i]);
            EXPECT_EQ(p.hasTime, start >= 0);
            if (start < 0) continue;
            EXPECT_EQ(p.status, 'A');
            EXPECT_DOUBLE_EQ(p.time, day + start + static_cast<double>(i));
            EXPECT_NEAR(p.latitude, 52.0 + 0.0001 * (start + static_cast<double>(i)), 1e-6);
            EXPECT_NEAR(p.longitude, 21.0 + 1.2345 / 60, 1e-6);
            EXPECT_NEAR(p.speedKmh, 12.3 * 1.852, 1e-9);
        }
    }
    // Cancelled before it starts, and a file that vanished: both say so.
    TempFolder folder;
    const std::string path = folder.write("r.m1v", DriveRecording(320, 3, 1000).bytes());
    std::atomic<bool> cancelled{true};
    std::optional<ReadFailure> failure;
    int batches = 0;
    EXPECT_FALSE(PictureIndex::Scan(
        {path}, [&](std::vector<IndexedPicture>&) { ++batches; }, {}, cancelled, failure));
    EXPECT_EQ(batches, 0);
    cancelled = false;
    EXPECT_FALSE(PictureIndex::Scan(
        {path, folder.file("gone.m1v")}, [&](std::vector<IndexedPicture>&) { ++batches; }, {},
        cancelled, failure));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->error, ENOENT);
    EXPECT_EQ(batches, 1);
}

// Two drives in one folder, the first of two files: 5 + 3 pictures, then 4.
struct TwoDrives {
    TempFolder folder;
    RecorderWriter a = DriveRecording(320, 5, 1000, true), b = DriveRecording(320, 3, 1005, true),
                   c = DriveRecording(320, 4, 5000, true);
    TwoDrives() {
        for (const auto& [name, drive] : {std::pair{"a.m1v", &a}, {"b.m1v", &b}, {"c.m1v", &c}})
            folder.write(name, drive->bytes());
    }
    std::string dir() const { return folder.file(""); }
};

TEST(TripsCli, ListsTheTripsOfAFolder) {
    TwoDrives d;
    const CliRun json = Cli({"trips", d.dir(), "--json"});
    ASSERT_EQ(json.status, cli::kExitOk) << json.err;
    const auto trips = nlohmann::json::parse(json.out).at("trips");
    ASSERT_EQ(trips.size(), 2u);
    EXPECT_EQ(trips[0]["files"], nlohmann::json({d.folder.file("a.m1v"), d.folder.file("b.m1v")}));
    EXPECT_EQ(trips[0]["pictures"], 8);
    EXPECT_EQ(trips[0]["format"], "320x240");
    EXPECT_EQ(trips[0]["start"], "2006-03-30T00:16:40Z");  // second 1000 of the day
    EXPECT_EQ(trips[0]["end"], "2006-03-30T00:16:47Z");
    EXPECT_EQ(trips[0]["durationSeconds"], 7);
    EXPECT_EQ(trips[0]["validFixShare"], 1);
    EXPECT_NEAR(trips[0]["distanceKm"].get<double>(), 0.0111 * 7, 0.001);  // 0.0001 degree a second
    EXPECT_EQ(trips[1]["pictures"], 4);

    EXPECT_EQ(nlohmann::json::parse(Cli({"trips", d.dir(), "--json", "--gap", "4000"}).out)["trips"]
                  .size(),
              1u);
    const CliRun text = Cli({"trips", d.dir()});
    EXPECT_NE(text.out.find("trip 2: 320x240, 1 file, 4 pictures"), std::string::npos) << text.out;

    // The zone and unit asked: Warsaw keeps summer time from 26 March 2006.
    const auto local =
        nlohmann::json::parse(
            Cli({"trips", d.dir(), "--json", "--tz", "Europe/Warsaw", "--units", "mph"}).out)
            .at("trips");
    EXPECT_EQ(local[0]["start"], "2006-03-30T02:16:40+02:00");
    ASSERT_TRUE(local[0].contains("topSpeedMph"));
    EXPECT_NEAR(local[0]["topSpeedMph"].get<double>(),
                trips[0]["topSpeedKmh"].get<double>() / 1.609344, 0.06);
}

// Picture numbers count across the join exactly as the walk meets them (evidence_test cuts
// across a join).
TEST(TripsCli, FolderGivenToFrames) {
    TwoDrives d;
    const std::pair<std::vector<std::string>, int> frames[] = {
        {{"--trip", "1"}, 8}, {{"--trip", "2"}, 4}, {{}, 12}};
    for (const auto& [trip, pictures] : frames) {
        TempFolder out;
        std::vector<std::string> args = {"frames", d.dir(), out.file("pics")};
        args.insert(args.end(), trip.begin(), trip.end());
        const CliRun r = Cli(args);
        ASSERT_EQ(r.status, cli::kExitOk) << r.err;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.file("pics")), {}),
                  pictures);
    }
}

}  // namespace
}  // namespace droskal
