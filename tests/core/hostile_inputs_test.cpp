// Files a viewer for damaged memory cards meets: too short, not files at all, unreadable,
// shrinking under the reader, pictures and user data at and beyond the reader's limits.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestRecordings.h"
#include "decoder/Decoder.h"
#include "gps/Nmea.h"
#include "gps/RmcFields.h"

namespace droskal {
namespace {

using namespace test;
namespace fs = std::filesystem;

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
        {{0x00, 0x00, 0x01, 0xB8, 0x28, 0x01, 0xE0}, 0, false},
        {{0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20}, 0, false},
    };
    TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        StreamFile file;
        std::string error;
        ASSERT_EQ(file.open(folder.write("short.m1v", c.bytes), error), OpenStatus::Ok) << error;
        EXPECT_EQ(FormatOf(file), c.format);
        EXPECT_EQ(file.readPosition(), static_cast<std::int64_t>(c.bytes.size()));

        file.setReadPosition(0);  // as after a seek to the start
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

// Only regular files open; anything else is "not found" (a FIFO without a writer would block
// a plain open for ever), and real failures report the system's reason.
TEST(HostileFiles, OpenOutcomes) {
    TempFolder folder;
    const std::string regular = folder.write("a.m1v", Bytes(10, 1));
    fs::create_symlink(regular, folder.file("link.m1v"));
    fs::create_directory(folder.file("folder.m1v"));
    ASSERT_EQ(::mkfifo(folder.file("fifo.m1v").c_str(), 0600), 0);
    fs::create_symlink(folder.file("loop_b.m1v"), folder.file("loop_a.m1v"));
    fs::create_symlink(folder.file("loop_a.m1v"), folder.file("loop_b.m1v"));
    struct Case {
        std::string path;
        OpenStatus status;
        int err;
    };
    std::vector<Case> cases = {
        {regular, OpenStatus::Ok, 0},
        {folder.file("link.m1v"), OpenStatus::Ok, 0},
        {"", OpenStatus::NotFound, 0},
        {folder.file("missing.m1v"), OpenStatus::NotFound, 0},
        {folder.file("missing/inside.m1v"), OpenStatus::NotFound, 0},
        {folder.file("folder.m1v"), OpenStatus::NotFound, 0},
        {folder.file("fifo.m1v"), OpenStatus::NotFound, 0},
        {"/dev/null", OpenStatus::NotFound, 0},
        {regular + "/below-a-file", OpenStatus::NotFound, 0},
        {folder.file("loop_a.m1v"), OpenStatus::Error, ELOOP},
        {folder.file(std::string(300, 'x')), OpenStatus::Error, ENAMETOOLONG},
    };
    // Permissions do not stop root.
    if (::geteuid() != 0) {
        const std::string locked = folder.write("locked.m1v", {0, 0, 1, 0xB3, 0x14, 0x00, 0xF0});
        ::chmod(locked.c_str(), 0);
        cases.push_back({locked, OpenStatus::Error, EACCES});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 80));
        StreamFile file;
        std::string error = "stale";
        EXPECT_EQ(file.open(c.path, error), c.status);
        EXPECT_EQ(file.isOpen(), c.status == OpenStatus::Ok);
        EXPECT_EQ(file.length(), c.status == OpenStatus::Ok ? 10 : 0);
        EXPECT_EQ(file.readPosition(), 0);
        if (c.status != OpenStatus::Error) {
            EXPECT_EQ(error, c.status == OpenStatus::Ok ? "" : "File not found !");
        } else {
            EXPECT_EQ(file.lastErrno(), c.err);
            EXPECT_FALSE(error.empty());
            EXPECT_NE(error, "File not found !");
        }
    }
}

// A card pulled or a file rewritten while the viewer has it open: reads past the new end
// end the searches like the end of the file; nothing reads outside what is there.
TEST(HostileFiles, FileShrinkingWhileOpen) {
    RecorderWriter writer(Header(320, 240));
    for (int i = 0; i < 3; ++i) {
        RecorderPicture picture;
        picture.userData.push_back(RecorderUserData(BuildGprmc({})));
        // Each picture larger than the reader's cache block.
        picture.slice = NoCodeBytes(280000, static_cast<std::uint32_t>(i + 1));
        writer.addPicture(picture);
    }
    ASSERT_GT(writer.pictures()[1].picturePos, StreamFile::kBlockSize);
    const std::int64_t second = writer.pictures()[1].picturePos;
    const std::int64_t third = writer.pictures()[2].picturePos;
    const auto total = static_cast<std::int64_t>(writer.bytes().size());
    const struct {
        std::int64_t newLength;
        int forwardFound;  // pictures FindStartUp still finds after the first
    } cases[] = {{0, 0}, {7, 0}, {second - 2, 0}, {second + 100, 1}, {third, 2}, {total - 1, 2}};
    TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE("shrunk to " + std::to_string(c.newLength));
        const std::string path = folder.write("rec.m1v", writer.bytes());
        StreamFile file;
        std::string error;
        ASSERT_EQ(file.open(path, error), OpenStatus::Ok);
        CountingObserver observer;
        std::int64_t picturePos = 0;
        std::string nmea;
        auto frame = std::make_unique<FrameBuffer>();
        ASSERT_TRUE(FindStartUp(file, picturePos, observer));
        ASSERT_EQ(::truncate(path.c_str(), c.newLength), 0);

        int found = 0;
        while (FindStartUp(file, picturePos, observer)) {
            ASSERT_LE(++found, 3);
            if (FindPicStart(file, nmea, observer)) ReadFrame(file, *frame);
            EXPECT_LE(file.readPosition(), total);
        }
        EXPECT_EQ(found, c.forwardFound);
        // The length stays the one from opening; nothing is read beyond the file as it is now.
        EXPECT_EQ(file.length(), total);
        std::uint8_t b;
        EXPECT_FALSE(file.readAt(total, b));
        if (c.newLength > 0) {
            EXPECT_FALSE(file.readAt(c.newLength + StreamFile::kBlockSize + 1, b));
        }
        // Backward from the far end of the old file: bounded, and ends inside it.
        picturePos = total;
        for (int back = 0; FindStartDown(file, picturePos, observer);) {
            ASSERT_LE(++back, 3);
            EXPECT_LT(picturePos, total);
        }
        EXPECT_LE(file.readPosition(), total);
    }
}

// The sequence end code as the very last byte the frame buffer can take, one byte later,
// and a picture far larger than the buffer.
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
        picture.slice = {0x20, 0xFF};
        writer.addPicture(picture);
        StreamFile file;
        file.openMemory(writer.bytes());
        CountingObserver observer;
        std::int64_t picturePos = 0;
        std::string nmea;
        auto frame = std::make_unique<FrameBuffer>();
        ASSERT_TRUE(FindStartUp(file, picturePos, observer) && FindPicStart(file, nmea, observer));
        EXPECT_EQ(ReadFrame(file, *frame), c.fits);
        if (c.fits) {
            EXPECT_EQ(file.readPosition(), writer.pictures()[0].endCodePos);
            EXPECT_EQ((*frame)[kFrameBufSize - 1], 0xB7);
        } else {
            // Stopped with the buffer full: exactly 300,000 bytes were taken.
            EXPECT_EQ(file.readPosition(), writer.pictures()[0].slicePos + kFrameBufSize);
        }
        ASSERT_TRUE(FindStartUp(file, picturePos, observer));
        EXPECT_EQ(picturePos, writer.pictures()[1].picturePos);
    }
}

// Macroblock data that run to the last byte of the frame buffer and beyond: the bit reader
// hands out the last byte again instead of reading past the buffer, and the picture fails.
TEST(HostileFiles, MacroblocksRunningPastTheFrameBuffer) {
    const Bytes slice = EncodedPicture(640, 480, 1, 7);
    ASSERT_GT(slice.size(), static_cast<std::size_t>(kFrameBufSize));
    auto frame = std::make_unique<FrameBuffer>();
    std::copy(slice.begin(), slice.begin() + kFrameBufSize, frame->begin());
    Decoder decoder;
    std::vector<std::uint8_t> picBuf(static_cast<std::size_t>(kVgaFormat.pixelCount) * 3);
    EXPECT_FALSE(decoder.DecodePicture(*frame, 1, picBuf.data()));
    EXPECT_EQ(decoder.bitPos, kFrameBufSize);
    // Every bit set: DC sizes and escapes as long as they come, to the end of the buffer.
    frame->fill(0xFF);
    for (std::uint8_t format : {1, 2}) {
        EXPECT_FALSE(decoder.DecodePicture(*frame, format, picBuf.data()));
        EXPECT_LE(decoder.bitPos, kFrameBufSize);
    }
}

// Between a picture start code and its first slice the reader takes at most 8,192 bytes:
// user data that push the slice further make the picture unreadable, nothing else.
TEST(HostileFiles, LongUserData) {
    auto build = [](std::size_t userBytes, RecorderWriter& writer) {
        RecorderPicture picture;
        Bytes user(userBytes, 'x');
        user[0] = '$';
        picture.userData.push_back(user);
        picture.slice = {0x20, 0xFF};
        writer.addPicture(picture);
        picture.userData = {RecorderUserData("$GPRMC,next")};
        writer.addPicture(picture);
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
        EXPECT_EQ(observer.sentences, c.readable ? 1 : 0);
        // n bytes give n - 1 characters; a failed search never collects more than it may take.
        EXPECT_EQ(nmea.size(), c.readable ? c.userBytes - 1 : nmea.size());
        EXPECT_LE(nmea.size(), static_cast<std::size_t>(kSliceSearchLimit));
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
        EXPECT_LE(std::abs(rmc.latitude), 90.0);  // false for NaN too
        EXPECT_LE(std::abs(rmc.longitude), 180.0);
        NmeaDisplay display;
        ParseNmea(c.text, display);
        EXPECT_LE(display.gpsLat.size(), c.text.size());
    }
}

}  // namespace
}  // namespace droskal
