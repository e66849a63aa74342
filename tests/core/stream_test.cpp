#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestRecordings.h"

namespace droskal {
namespace {

using namespace test;

std::string SentenceFor(int i) {
    RmcFields f;
    f.time = FormatRmcTime(8 * 3600 + i * 0.04);
    f.speedKnots = std::to_string(i % 70) + ".5";
    return BuildGprmc(f);
}

RecorderPicture PictureWith(int i, std::size_t sliceBytes) {
    RecorderPicture pic;
    pic.temporalReference = i;
    pic.userData.push_back(RecorderUserData(SentenceFor(i)));
    pic.slice = NoCodeBytes(sliceBytes, static_cast<std::uint32_t>(i));
    return pic;
}

// FindPicStart and ReadFrame as a step does them after the picture start code.
void ExpectPictureRead(StreamFile& f, const RecorderWriter& w, int index, std::string& text,
                       CountingObserver& obs, std::int64_t base = 0) {
    const PicturePositions& p = w.pictures()[static_cast<std::size_t>(index)];
    ASSERT_TRUE(FindPicStart(f, text, obs)) << "picture " << index;
    EXPECT_EQ(f.readPosition(), p.slicePos);
    EXPECT_EQ(text, SentenceFor(index));
    auto frame = std::make_unique<FrameBuffer>();
    ASSERT_TRUE(ReadFrame(f, *frame));
    EXPECT_EQ(f.readPosition(), p.endCodePos);
    const auto first = w.bytes().begin() + (p.slicePos - base);  // the byte after the slice code's 01
    EXPECT_TRUE(std::equal(first, w.bytes().begin() + (p.endCodePos - base), frame->begin()));
}

// Writes `bytes` at `offset` of a sparse file; false where the file system has no sparse files.
bool WriteSparse(const std::string& path, const Bytes& bytes, std::int64_t offset) {
    const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC | O_CLOEXEC, 0600);
    const auto size = static_cast<ssize_t>(bytes.size());
    const bool ok = fd >= 0 && ftruncate(fd, static_cast<off_t>(offset + size + 777)) == 0 &&
                    pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) == size;
    if (fd >= 0) ::close(fd);
    return ok;
}

TEST(StreamWalk, VisitsEveryPictureForwardAndBackward) {
    const struct {
        const char* name;
        SequenceHeader header;
        int pictures;
        std::size_t sliceSize, junk;
        bool fromFile;
        std::int64_t offset;  // of the recording in a sparse file, zeros before and after
    } cases[] = {
        {"vga in memory", SequenceHeader{}, 12, 40000, 0, false, 0},
        {"vga from file, crossing cache blocks", SequenceHeader{}, 40, 70001, 3, true, 0},
        {"cif with junk between pictures", Header(320, 240), 30, 9000, 500, true, 0},
        {"tiny pictures", Header(320, 240), 50, 1, 0, false, 0},
        // Positions must not wrap at 32 bits. Last: without sparse files the test ends there.
        {"beyond 4 GiB", SequenceHeader{}, 6, 100000, 0, true, (std::int64_t{1} << 32) + 12345},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderWriter w(c.header);
        w.setBaseOffset(c.offset);
        for (int i = 0; i < c.pictures; ++i) {
            RecorderPicture pic = PictureWith(i, c.sliceSize + static_cast<std::size_t>(i));
            pic.junkAfter = Bytes(c.junk, 0xEE);
            w.addPicture(pic);
        }
        TempFolder dir;
        StreamFile f;
        std::string error;
        if (c.offset > 0 && !WriteSparse(dir.file("rec.m1v"), w.bytes(), c.offset)) {
            GTEST_SKIP() << "no sparse files here";
        }
        if (!c.fromFile) {
            f.openMemory(w.bytes());
        } else {
            const std::string path = c.offset > 0 ? dir.file("rec.m1v") : dir.write("rec.m1v", w.bytes());
            ASSERT_EQ(f.open(path, error), OpenStatus::Ok) << error;
        }
        std::uint8_t x;
        ASSERT_TRUE(c.offset == 0 || f.readAt(c.offset - 100, x));  // as the position bar jumps
        std::string text;
        CountingObserver obs(&f);
        std::int64_t picturePos = 0;
        const auto expectAt = [&](int i) {
            EXPECT_EQ(picturePos, w.pictures()[static_cast<std::size_t>(i)].picturePos);
            EXPECT_EQ(f.readPosition(), picturePos);
            ExpectPictureRead(f, w, i, text, obs, c.offset);
        };
        for (int i = 0; i < c.pictures; ++i) {
            ASSERT_TRUE(FindStartUp(f, picturePos, obs)) << "forward " << i;
            expectAt(i);
        }
        const std::int64_t lastPos = picturePos;
        EXPECT_FALSE(FindStartUp(f, picturePos, obs));
        EXPECT_EQ(picturePos, lastPos);
        EXPECT_EQ(f.readPosition(), f.length());
        EXPECT_EQ(obs.sentences, c.pictures);

        for (int i = c.pictures - 2; i >= 0; --i) {
            ASSERT_TRUE(FindStartDown(f, picturePos, obs)) << "backward " << i;
            expectAt(i);
        }
        // Backward from the first picture runs down to position 1, or to its limit, and fails.
        const std::int64_t firstPos = picturePos;
        EXPECT_FALSE(FindStartDown(f, picturePos, obs));
        EXPECT_EQ(picturePos, firstPos);
        EXPECT_EQ(f.readPosition(), std::max<std::int64_t>(1, firstPos - 5 - (kPictureSearchLimit - 1)));
        // One SetPlayCounter per successful search.
        EXPECT_EQ(obs.counters, c.pictures * 4 - 2);
    }
}

void Put(Bytes& b, std::int64_t pos, std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), b.begin() + (pos - 1));
}

TEST(StreamSearch, StartCodePositionsAroundOneHundred) {
    Bytes b(200, 0xFF);
    Put(b, 97, {0x00, 0x00, 0x01});  // byte 100 stays FF: backward it counts as 00 unread
    Put(b, 101, {0x00, 0x00, 0x01, 0x00});
    StreamFile f;
    f.openMemory(b);
    CountingObserver obs(&f);
    std::int64_t picturePos = 0;
    ASSERT_TRUE(FindStartUp(f, picturePos, obs));
    EXPECT_EQ(picturePos, 104);
    ASSERT_TRUE(FindStartDown(f, picturePos, obs));
    EXPECT_EQ(picturePos, 100);
    EXPECT_EQ(obs.positions, (std::vector<std::int64_t>{104, 100}));
}

TEST(StreamSearch, BackwardNearTheStart) {
    Bytes b(50, 0x00);
    Put(b, 1, {0x00, 0x00, 0x01, 0x00});
    const struct {
        std::int64_t picturePos;
        bool found;
        std::int64_t after, readPos;  // picturePos and read position afterwards
    } cases[] = {
        {0, false, 0, 7}, {1, false, 1, 7}, {5, false, 5, 7},  // nothing may be read
        {6, false, 6, 1},  // reads position 1 only; the code at 1-4 is out of reach
        {8, true, 4, 4},   // bytes 4.. are 00, so the window closes on the code at p = 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picturePos);
        StreamFile f;
        f.openMemory(b);
        std::uint8_t x;
        ASSERT_TRUE(f.readAt(7, x));
        CountingObserver obs;
        std::int64_t picturePos = c.picturePos;
        EXPECT_EQ(FindStartDown(f, picturePos, obs), c.found);
        EXPECT_EQ(picturePos, c.after);
        EXPECT_EQ(f.readPosition(), c.readPos);
    }
}

TEST(StreamSearch, ZeroWindowCompletesCodesAfterAJump) {
    const struct {
        const char* name;
        Bytes bytes;  // what follows the jump target at position 10
        bool forwardFound;
        std::int64_t picturePos;
        bool sliceFound;
    } cases[] = {
        {"01 00 right after the jump", {0x01, 0x00, 0xAA}, true, 12, false},
        {"00 01 00", {0x00, 0x01, 0x00}, true, 13, false},
        {"01 then other", {0x01, 0x02, 0xAA}, false, 0, false},
        {"01 01 is a slice code for FindPicStart", {0x01, 0x01, 0xAA}, false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b(10, 0x77);
        b.insert(b.end(), c.bytes.begin(), c.bytes.end());
        b.resize(b.size() + 5, 0x77);
        StreamFile f;
        f.openMemory(b);
        std::uint8_t x;
        ASSERT_TRUE(f.readAt(10, x));
        CountingObserver obs;
        std::int64_t picturePos = 0;
        EXPECT_EQ(FindStartUp(f, picturePos, obs), c.forwardFound);
        EXPECT_EQ(picturePos, c.picturePos);
        ASSERT_TRUE(f.readAt(10, x));
        std::string text;
        EXPECT_EQ(FindPicStart(f, text, obs), c.sliceFound);
    }
}

TEST(StreamSearch, PictureSearchLimits) {
    // Forward: the code's last byte as the 299,999th byte read is found, as the 300,000th not.
    for (int lastIndex : {kPictureSearchLimit, kPictureSearchLimit + 1}) {
        Bytes b(static_cast<std::size_t>(lastIndex) + 10, 0xFF);
        Put(b, lastIndex - 3, {0x00, 0x00, 0x01, 0x00});
        StreamFile f;
        f.openMemory(b);
        CountingObserver obs;
        std::int64_t picturePos = -1;
        const bool found = FindStartUp(f, picturePos, obs);
        EXPECT_EQ(found, lastIndex == kPictureSearchLimit) << lastIndex;
        EXPECT_EQ(f.readPosition(), kPictureSearchLimit);
        EXPECT_EQ(picturePos, found ? lastIndex : -1);
    }
    // Backward: the 299,999th position tried is p = picturePos - 5 - 299,998.
    for (std::int64_t extra : {0, 1}) {
        const std::int64_t current = 400000;
        const std::int64_t lowest = current - 5 - (kPictureSearchLimit - 1);
        Bytes b(static_cast<std::size_t>(current) + 10, 0xFF);
        Put(b, lowest - extra, {0x00, 0x00, 0x01, 0x00});
        StreamFile f;
        f.openMemory(b);
        CountingObserver obs;
        std::int64_t picturePos = current;
        const bool found = FindStartDown(f, picturePos, obs);
        EXPECT_EQ(found, extra == 0);
        EXPECT_EQ(picturePos, found ? lowest + 3 : current);
        EXPECT_EQ(f.readPosition(), found ? lowest + 3 : lowest);
    }
}

TEST(StreamSearch, ReadFrameWithoutEndCode) {
    RecorderWriter w;
    for (int i = 0; i < 3; ++i) {
        RecorderPicture pic = PictureWith(i, 1000);
        pic.endCode = i == 1;  // first and last are cut off
        w.addPicture(pic);
    }
    StreamFile f;
    f.openMemory(w.bytes());
    std::string text;
    CountingObserver obs;
    std::int64_t picturePos = 0;
    auto frame = std::make_unique<FrameBuffer>();
    ASSERT_TRUE(FindStartUp(f, picturePos, obs) && FindPicStart(f, text, obs));
    // Runs on through picture 2 to its end code: both pictures copied as one.
    ASSERT_TRUE(ReadFrame(f, *frame));
    EXPECT_EQ(f.readPosition(), w.pictures()[1].endCodePos);
    EXPECT_TRUE(std::equal(w.bytes().begin() + w.pictures()[0].slicePos,
                           w.bytes().begin() + w.pictures()[1].endCodePos, frame->begin()));

    ASSERT_TRUE(FindStartUp(f, picturePos, obs));
    EXPECT_EQ(picturePos, w.pictures()[2].picturePos);
    ASSERT_TRUE(FindPicStart(f, text, obs));
    EXPECT_FALSE(ReadFrame(f, *frame)) << "file ends before any end code";
    EXPECT_EQ(f.readPosition(), f.length());
}

std::string Chars(std::initializer_list<int> codes) {
    std::string s;
    for (int c : codes) s.push_back(static_cast<char>(c));
    return s;
}

TEST(StreamSearch, UserDataCollection) {
    const struct {
        const char* name;
        std::vector<Bytes> blocks;
        Bytes beforeSlice;  // e.g. an extension start code
        std::string before, expected;
    } cases[] = {
        {"n bytes give n - 1", {Bytes{'a', 'b', 'c', 'd', 'e', 'f', '\r'}}, {}, "", "abcdef"},
        {"one byte: five characters, untrimmed", {Bytes{'q'}}, {}, "", Chars({0xB2, 'q', 0, 0, 1})},
        {"empty block: four characters", {Bytes{}}, {}, "old", Chars({0xB2, 0, 0, 1})},
        {"two bytes give one", {Bytes{'a', 'b'}}, {}, "", "a"},
        {"second block counts", {Bytes{'f', 'i', 'r', 's', 't', '!'}, Bytes{'s', 'e', 'c', '!'}}, {}, "", "sec"},
        {"no block: old text trimmed again", {}, {}, "$GPRMC,1234567", "GPRMC,123"},
        {"no block, old text of five stays", {}, {}, "abcde", "abcde"},
        {"another start code ends the data", {Bytes{'x', 'y', 'z', '!'}}, {0, 0, 1, 0xB5, 'e'}, "", "xyz"},
        {"00 01 without a second 00 is no start code",
         {Bytes{'a', 0x11, 0x00, 0x01, 0xB2, 'b', 0x22, 0x00, 0x01, 0x01, 'c', '!'}}, {}, "",
         Chars({'a', 0x11, 0, 1, 0xB2, 'b', 0x22, 0, 1, 1, 'c'})},
        {"bytes above 127 stay single chars", {Bytes{0xC4, 0xE9, 0xFF, '\r'}}, {}, "", Chars({0xC4, 0xE9, 0xFF})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderWriter w;
        RecorderPicture pic;
        pic.userData = c.blocks;
        pic.slice = {0x11, 0x22};
        w.addPicture(pic);
        Bytes b = w.bytes();
        b.insert(b.begin() + (w.pictures()[0].slicePos - 4), c.beforeSlice.begin(), c.beforeSlice.end());
        StreamFile f;
        f.openMemory(b);
        std::string text = c.before;
        // ShowNmea must see the trimmed text.
        struct : StreamObserver {
            std::string* text;
            std::vector<std::string> shown;
            void SetPlayCounter(bool) override {}
            void ShowNmea() override { shown.push_back(*text); }
        } obs;
        obs.text = &text;
        std::int64_t picturePos = 0;
        ASSERT_TRUE(FindStartUp(f, picturePos, obs) && FindPicStart(f, text, obs));
        EXPECT_EQ(text, c.expected);
        EXPECT_EQ(obs.shown, std::vector<std::string>{c.expected});
    }
}

TEST(StreamFileTest, PositionedReadsBlocksAndPeek) {
    Bytes b(3 * StreamFile::kBlockSize + 100);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    TempFolder dir;
    const std::string path = dir.write("rec.m1v", b);
    for (bool fromFile : {false, true}) {
        SCOPED_TRACE(fromFile ? "file" : "memory");
        StreamFile f;
        std::string error;
        if (fromFile) {
            ASSERT_EQ(f.open(path, error), OpenStatus::Ok);
        } else {
            f.openMemory(b);
        }
        const std::int64_t len = f.length();
        ASSERT_EQ(len, static_cast<std::int64_t>(b.size()));
        std::uint8_t x = 0;
        ASSERT_TRUE(f.readAt(len, x));
        EXPECT_EQ(x, b.back());
        EXPECT_FALSE(f.readNext(x));
        EXPECT_FALSE(f.readAt(0, x));
        EXPECT_EQ(f.readPosition(), len);

        // A block across a cache boundary; the read position lands on its last byte.
        Bytes dst(1000);
        const std::int64_t from = StreamFile::kBlockSize - 300;
        EXPECT_EQ(f.readBlock(from, 1000, dst.data()), 1000);
        EXPECT_TRUE(std::equal(dst.begin(), dst.end(), b.begin() + from - 1));
        ASSERT_TRUE(f.readNext(x));
        EXPECT_EQ(x, b[static_cast<std::size_t>(from + 999)]);

        // peek leaves the read position alone; near the end fewer bytes come back.
        const std::int64_t before = f.readPosition();
        EXPECT_EQ(f.peek(1, 7, dst.data()), 7);
        EXPECT_TRUE(std::equal(dst.begin(), dst.begin() + 7, b.begin()));
        EXPECT_EQ(f.readPosition(), before);
        EXPECT_EQ(f.peek(len - 9, 1000, dst.data()), 10);
        EXPECT_EQ(f.peek(len + 1, 10, dst.data()), 0);
    }
}

}  // namespace
}  // namespace droskal
