// Files a viewer for damaged memory cards meets: too short, not files at all, unreadable,
// shrinking under the reader, pictures and user data at and beyond the reader's limits.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder/Decoder.h"
#include "gps/Nmea.h"
#include "gps/RmcFields.h"
#include "decoder/PictureFormat.h"
#include "stream/Searches.h"
#include "stream/StreamFile.h"
#include "tools/IntraEncoder.h"
#include "tools/RecorderWriter.h"

namespace droskal {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

struct CountingObserver final : StreamObserver {
    int counters = 0;
    int sentences = 0;
    void SetPlayCounter(bool) override { ++counters; }
    void ShowNmea() override { ++sentences; }
};

class Folder {
public:
    Folder() {
        path_ = fs::path(::testing::TempDir()) / ("hostile_" + std::to_string(::getpid()) + "_" +
                                                  std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~Folder() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string write(const std::string& name, const Bytes& bytes) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file(name);
    }

private:
    fs::path path_;
    static inline int counter_ = 0;
};

// The format check as opening a file does it: the first 7 bytes, zeros where they are missing.
std::uint8_t FormatOf(StreamFile& file) {
    std::uint8_t header[7] = {};
    for (std::uint8_t& b : header) {
        if (!file.readNext(b)) break;
    }
    return PictureFormatFromHeader(header);
}

Bytes Picture(int width, int height, int quantiser, std::uint32_t noiseSeed) {
    std::mt19937 rng(noiseSeed);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (auto& v : rgb) v = noiseSeed ? static_cast<std::uint8_t>(rng()) : 128;
    return EncodeIntraSlice(RgbToYuvPicture(rgb.data(), width, height), quantiser);
}

TEST(HostileFiles, ShortFilesOpenButHoldNoPicture) {
    const struct {
        Bytes bytes;
        std::uint8_t format;
        bool pictureStart;  // a forward search finds 00 00 01 00, its zeros taken from the window
    } cases[] = {
        {{}, 0, false},
        {{0x00}, 0, false},
        {{0x01, 0x00}, 0, true},
        {{0x00, 0x00, 0x01}, 0, false},
        {{0x00, 0x00, 0x01, 0xB3}, 0, false},
        {{0x00, 0x00, 0x01, 0xB3, 0x28}, 0, false},
        {{0x00, 0x00, 0x01, 0xB3, 0x28, 0x01}, 0, false},
        {{0x00, 0x00, 0x01, 0xB3, 0x28, 0x01, 0xE0}, 1, false},
        {{0x00, 0x00, 0x01, 0xB3, 0x14, 0x00, 0xF0}, 2, false},
        {{0x00, 0x00, 0x01, 0xB3, 0x14, 0x00, 0xF1}, 0, false},
    };
    Folder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        StreamFile file;
        std::string error;
        ASSERT_EQ(file.open(folder.write("short.m1v", c.bytes), error), OpenStatus::Ok) << error;
        EXPECT_EQ(file.length(), static_cast<std::int64_t>(c.bytes.size()));
        EXPECT_EQ(FormatOf(file), c.format);
        EXPECT_EQ(file.readPosition(), static_cast<std::int64_t>(c.bytes.size()));

        // Searches start over from the first byte, as after a seek to the start.
        std::uint8_t first;
        file.readAt(1, first);
        file.setReadPosition(0);
        CountingObserver observer;
        std::int64_t picturePos = 0;
        std::string nmea;
        auto frame = std::make_unique<FrameBuffer>();
        EXPECT_EQ(FindStartUp(file, picturePos, observer), c.pictureStart);
        EXPECT_FALSE(FindPicStart(file, nmea, observer));
        EXPECT_FALSE(ReadFrame(file, *frame));
        EXPECT_FALSE(FindStartDown(file, picturePos, observer));
        EXPECT_LE(file.readPosition(), file.length());
        EXPECT_EQ(observer.sentences, 0);
    }
}

TEST(HostileFiles, NonFilesAreNotFoundWithoutBlocking) {
    Folder folder;
    fs::create_directory(folder.file("folder.m1v"));
    ASSERT_EQ(::mkfifo(folder.file("fifo.m1v").c_str(), 0600), 0);
    std::vector<std::string> paths = {folder.file("folder.m1v"), folder.file("fifo.m1v"),
                                      folder.file("missing.m1v"), folder.file("missing/inside.m1v")};
    for (const char* device : {"/dev/null", "/dev/zero", "/dev/urandom"}) {
        if (fs::exists(device)) paths.push_back(device);
    }
    // A regular file used as a folder.
    folder.write("plain", {1, 2, 3});
    paths.push_back(folder.file("plain") + "/x.m1v");
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        StreamFile file;
        std::string error;
        // A FIFO without a writer would block a plain open for ever; the test would hang here.
        EXPECT_EQ(file.open(path, error), OpenStatus::NotFound);
        EXPECT_EQ(error, "File not found !");
        EXPECT_FALSE(file.isOpen());
    }
}

TEST(HostileFiles, UnreadableFilesReportTheSystemsReason) {
    Folder folder;
    struct Case {
        std::string path;
        int err;
    };
    std::vector<Case> cases;
    // Permissions do not stop root; a loop of links and an overlong name fail for everyone.
    fs::create_symlink(folder.file("loop_b.m1v"), folder.file("loop_a.m1v"));
    fs::create_symlink(folder.file("loop_a.m1v"), folder.file("loop_b.m1v"));
    cases.push_back({folder.file("loop_a.m1v"), ELOOP});
    cases.push_back({folder.file(std::string(300, 'x') + ".m1v"), ENAMETOOLONG});
    if (::geteuid() != 0) {
        const std::string locked = folder.write("locked.m1v", {0, 0, 1, 0xB3, 0x14, 0x00, 0xF0});
        ::chmod(locked.c_str(), 0);
        cases.push_back({locked, EACCES});
        fs::create_directory(folder.file("closed"));
        folder.write("closed/inside.m1v", {0, 0, 1, 0xB3});
        ::chmod(folder.file("closed").c_str(), 0);
        cases.push_back({folder.file("closed/inside.m1v"), EACCES});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        StreamFile file;
        std::string error;
        EXPECT_EQ(file.open(c.path, error), OpenStatus::Error);
        EXPECT_EQ(file.lastErrno(), c.err);
        EXPECT_FALSE(error.empty());
        EXPECT_NE(error, "File not found !");
        EXPECT_FALSE(file.isOpen());
    }
}

// A card pulled or a file rewritten while the viewer has it open: reads past the new end
// end the searches like the end of the file; nothing reads outside what is there.
TEST(HostileFiles, FileShrinkingWhileOpen) {
    SequenceHeader header;
    header.width = 320;
    header.height = 240;
    RecorderWriter writer(header);
    for (int i = 0; i < 3; ++i) {
        RecorderPicture picture;
        picture.userData.push_back(RecorderUserData(BuildGprmc({})));
        // Each picture larger than the reader's cache block, without start codes inside.
        std::mt19937 rng(static_cast<std::uint32_t>(i + 1));
        picture.slice.resize(280000);
        for (auto& b : picture.slice) b = static_cast<std::uint8_t>(rng() | 0x10);
        writer.addPicture(picture);
    }
    ASSERT_GT(writer.pictures()[1].picturePos, StreamFile::kBlockSize);
    const std::int64_t second = writer.pictures()[1].picturePos;
    const std::int64_t third = writer.pictures()[2].picturePos;
    const std::int64_t total = static_cast<std::int64_t>(writer.bytes().size());
    const struct {
        std::int64_t newLength;
        int forwardFound;  // pictures FindStartUp still finds after the first
    } cases[] = {{0, 0}, {7, 0}, {second - 2, 0}, {second + 100, 1}, {third, 2}, {total - 1, 2}};
    Folder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE("shrunk to " + std::to_string(c.newLength));
        const std::string path = folder.write("rec.m1v", writer.bytes());
        StreamFile file;
        std::string error;
        ASSERT_EQ(file.open(path, error), OpenStatus::Ok);
        EXPECT_EQ(FormatOf(file), 2);
        CountingObserver observer;
        std::int64_t picturePos = 0;
        std::string nmea;
        auto frame = std::make_unique<FrameBuffer>();
        ASSERT_TRUE(FindStartUp(file, picturePos, observer));
        ASSERT_EQ(::truncate(path.c_str(), c.newLength), 0);

        int found = 0;
        while (FindStartUp(file, picturePos, observer)) {
            ++found;
            ASSERT_LE(found, 3);
            if (FindPicStart(file, nmea, observer)) ReadFrame(file, *frame);
            EXPECT_LE(file.readPosition(), total);
        }
        EXPECT_EQ(found, c.forwardFound);
        // The reader's idea of the length stays the one from opening, and nothing is read
        // beyond the file as it is now.
        EXPECT_EQ(file.length(), total);
        std::uint8_t b;
        EXPECT_FALSE(file.readAt(total, b));
        if (c.newLength > 0) {
            EXPECT_FALSE(file.readAt(c.newLength + StreamFile::kBlockSize + 1, b));
        }
        // Backward from the far end of the old file: bounded, and ends inside it.
        picturePos = total;
        int back = 0;
        while (FindStartDown(file, picturePos, observer)) {
            ASSERT_LE(++back, 3);
            EXPECT_LT(picturePos, total);
        }
        EXPECT_GE(file.readPosition(), 0);
        EXPECT_LE(file.readPosition(), total);
    }
}

// The sequence end code as the very last byte the frame buffer can take, and one byte later.
TEST(HostileFiles, PictureFillingTheWholeFrameBuffer) {
    const struct {
        std::size_t sliceBytes;  // after the slice start code, before the end code
        bool fits;
    } cases[] = {{kFrameBufSize - 4, true}, {kFrameBufSize - 3, false}, {kFrameBufSize + 5000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sliceBytes);
        RecorderWriter writer;
        RecorderPicture picture;
        picture.slice.assign(c.sliceBytes, 0x55);
        writer.addPicture(picture);
        RecorderPicture next;
        next.slice = {0x20, 0xFF};
        writer.addPicture(next);
        StreamFile file;
        file.openMemory(writer.bytes());
        CountingObserver observer;
        std::int64_t picturePos = 0;
        std::string nmea;
        auto frame = std::make_unique<FrameBuffer>();
        ASSERT_TRUE(FindStartUp(file, picturePos, observer));
        ASSERT_TRUE(FindPicStart(file, nmea, observer));
        EXPECT_EQ(ReadFrame(file, *frame), c.fits);
        if (c.fits) {
            EXPECT_EQ(file.readPosition(), writer.pictures()[0].endCodePos);
            EXPECT_EQ((*frame)[kFrameBufSize - 1], 0xB7);
        } else {
            // Stopped with the buffer full: exactly 300,000 bytes were taken.
            EXPECT_EQ(file.readPosition(), writer.pictures()[0].slicePos + kFrameBufSize);
        }
        // The next picture is still reached.
        ASSERT_TRUE(FindStartUp(file, picturePos, observer));
        EXPECT_EQ(picturePos, writer.pictures()[1].picturePos);
    }
}

// Macroblock data that run to the last byte of the frame buffer and beyond: the bit reader
// hands out the last byte again instead of reading past the buffer, and the picture fails.
TEST(HostileFiles, MacroblocksRunningPastTheFrameBuffer) {
    const Bytes slice = Picture(640, 480, 1, 7);
    ASSERT_GT(slice.size(), static_cast<std::size_t>(kFrameBufSize));
    auto frame = std::make_unique<FrameBuffer>();
    std::copy(slice.begin(), slice.begin() + kFrameBufSize, frame->begin());
    Decoder decoder;
    std::vector<std::uint8_t> picBuf(static_cast<std::size_t>(kVgaFormat.pixelCount) * 3);
    EXPECT_FALSE(decoder.DecodePicture(*frame, 1, picBuf.data()));
    EXPECT_EQ(decoder.bitPos, kFrameBufSize);

    // Every bit set: DC sizes and escapes as long as they come, to the end of the buffer.
    frame->fill(0xFF);
    EXPECT_FALSE(decoder.DecodePicture(*frame, 1, picBuf.data()));
    EXPECT_LE(decoder.bitPos, kFrameBufSize);
    EXPECT_FALSE(decoder.DecodePicture(*frame, 2, picBuf.data()));
    EXPECT_LE(decoder.bitPos, kFrameBufSize);
}

// Between a picture start code and its first slice the reader takes at most 8,192 bytes:
// user data that push the slice further make the picture unreadable, nothing else.
TEST(HostileFiles, LongUserData) {
    auto build = [](std::size_t userBytes, RecorderWriter& writer) {
        RecorderPicture picture;
        Bytes user(userBytes, 'x');
        const std::string sentence = BuildGprmc({});
        std::copy(sentence.begin(), sentence.end(), user.begin());
        picture.userData.push_back(user);
        picture.slice = {0x20, 0xFF};
        writer.addPicture(picture);
        RecorderPicture next;
        next.userData.push_back(RecorderUserData("$GPRMC,next"));
        next.slice = {0x20, 0xFF};
        writer.addPicture(next);
    };
    RecorderWriter probe;
    build(1000, probe);
    const std::int64_t overhead = probe.pictures()[0].slicePos - probe.pictures()[0].picturePos - 1000;
    const auto atLimit = static_cast<std::size_t>(kSliceSearchLimit - overhead);
    const struct {
        std::size_t userBytes;
        bool readable;
        bool nextFound;  // a forward search gives up after 299,999 bytes of user data
    } cases[] = {{atLimit - 1, true, true}, {atLimit, true, true}, {atLimit + 1, false, true},
                 {100000, false, true}, {1 << 20, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userBytes);
        RecorderWriter writer;
        build(c.userBytes, writer);
        StreamFile file;
        file.openMemory(writer.bytes());
        CountingObserver observer;
        std::int64_t picturePos = 0;
        std::string nmea;
        ASSERT_TRUE(FindStartUp(file, picturePos, observer));
        const std::int64_t from = file.readPosition();
        EXPECT_EQ(FindPicStart(file, nmea, observer), c.readable);
        EXPECT_LE(file.readPosition() - from, kSliceSearchLimit);
        if (c.readable) {
            EXPECT_EQ(nmea.size(), c.userBytes - 1);
            EXPECT_EQ(observer.sentences, 1);
        } else {
            EXPECT_EQ(observer.sentences, 0);
            // Collected text never grows past what the search may take.
            EXPECT_LE(nmea.size(), static_cast<std::size_t>(kSliceSearchLimit));
        }
        // The following picture is found and read whatever happened to this one, when it
        // lies within reach of the forward search.
        ASSERT_EQ(FindStartUp(file, picturePos, observer), c.nextFound);
        if (!c.nextFound) continue;
        EXPECT_EQ(picturePos, writer.pictures()[1].picturePos);
        ASSERT_TRUE(FindPicStart(file, nmea, observer));
        EXPECT_EQ(nmea, "$GPRMC,next");
    }
}

// Sentences whose fields hold numbers far beyond any angle, speed or time: both parses take
// them without overflowing, and the track parse refuses the position.
TEST(HostileSentences, HugeNumbersInFields) {
    const std::string nines(40, '9');
    const struct {
        std::string text;
        bool position;  // the track parse takes a position from it
    } cases[] = {
        // Found by fuzzing: a latitude of 1e24 overflowed the cast to whole degrees.
        {"$EPRMC,03650,,0099999999999999999999999999,N4,9<", false},
        {"$GPRMC,223416.000,A," + nines + ",N,02101.2345,E,12.3,45.6,300306,,", false},
        {"$GPRMC,223416.000,A,5212.3456,N," + nines + ",E,12.3,45.6,300306,,", false},
        {"$GPRMC,223416.000,A,5212.3456,N,02101.2345,E," + nines + ",45.6,300306,,", true},
        {"$GPRMC," + nines + ",A,5212.3456,N,02101.2345,E,12.3,45.6,300306,,", true},
        {"$GPRMC,223416.000,A,9000.0000,N,18000.0000,W,0,0,300306,,", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RmcSentence rmc;
        const RmcResult result = ParseRmcFields(c.text, rmc);
        EXPECT_EQ(result == RmcResult::Ok && rmc.hasPosition, c.position);
        EXPECT_TRUE(std::isfinite(rmc.latitude) && std::isfinite(rmc.longitude));
        EXPECT_LE(std::abs(rmc.latitude), 90.0);
        EXPECT_LE(std::abs(rmc.longitude), 180.0);
        NmeaDisplay display;
        ParseNmea(c.text, display);
        EXPECT_LE(display.gpsLat.size(), c.text.size());
    }
}

}  // namespace
}  // namespace droskal
