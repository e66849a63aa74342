#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stream/Searches.h"
#include "stream/StreamFile.h"
#include "tools/RecorderWriter.h"

namespace droskal {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Records what the searches report, with the read position at the moment of the report.
struct RecordingObserver final : StreamObserver {
    explicit RecordingObserver(const StreamFile& f, const std::string* text = nullptr)
        : file(f), nmea(text) {}
    void SetPlayCounter(bool reset) override {
        EXPECT_FALSE(reset);
        counterPositions.push_back(file.readPosition());
    }
    void ShowNmea() override { shown.push_back(nmea ? *nmea : std::string()); }

    const StreamFile& file;
    const std::string* nmea;
    std::vector<std::int64_t> counterPositions;
    std::vector<std::string> shown;
};

// Slice bytes that hold no start code prefix (never two zeros in a row).
Bytes SliceBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    std::uint8_t prev = 1;
    for (auto& x : b) {
        x = static_cast<std::uint8_t>(rng() & 0xFF);
        if (x == 0 && prev == 0) x = 0x5A;
        prev = x;
    }
    return b;
}

std::string SentenceFor(int i) {
    RmcFields f;
    f.time = FormatRmcTime(8 * 3600 + i * 0.04);
    f.speedKnots = std::to_string(i % 70) + ".5";
    return BuildGprmc(f);
}

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "droskal-stream-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void Open(StreamFile& f, const Bytes& bytes, bool fromFile, const TempDir& dir) {
    if (!fromFile) {
        f.openMemory(bytes);
        return;
    }
    const std::string path = dir.file("rec.m1v");
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
    std::fclose(out);
    std::string error;
    ASSERT_EQ(f.open(path, error), OpenStatus::Ok) << error;
}

// Reads one picture as the forward step does and checks every position it leaves.
void ExpectPictureRead(StreamFile& f, const RecorderWriter& w, std::size_t index,
                       std::string& nmeaText, RecordingObserver& obs) {
    const PicturePositions& p = w.pictures()[index];
    ASSERT_TRUE(FindPicStart(f, nmeaText, obs)) << "picture " << index;
    EXPECT_EQ(f.readPosition(), p.slicePos);
    EXPECT_EQ(nmeaText, SentenceFor(static_cast<int>(index)));
    auto frame = std::make_unique<FrameBuffer>();
    ASSERT_TRUE(ReadFrame(f, *frame));
    EXPECT_EQ(f.readPosition(), p.endCodePos);
    const Bytes& all = w.bytes();
    const auto first = static_cast<std::size_t>(p.slicePos);  // 0-based index of the byte after 01
    const auto count = static_cast<std::size_t>(p.endCodePos - p.slicePos);
    EXPECT_TRUE(std::equal(all.begin() + static_cast<std::ptrdiff_t>(first),
                           all.begin() + static_cast<std::ptrdiff_t>(first + count), frame->begin()));
}

struct WalkCase {
    const char* name;
    SequenceHeader header;
    int pictures;
    std::size_t sliceSize;
    std::size_t junk;
    bool fromFile;
};

TEST(StreamWalk, VisitsEveryPictureForwardAndBackward) {
    SequenceHeader small;
    small.width = 320;
    small.height = 240;
    const WalkCase cases[] = {
        {"vga in memory", SequenceHeader{}, 12, 40000, 0, false},
        {"vga from file, crossing cache blocks", SequenceHeader{}, 40, 70001, 3, true},
        {"cif with junk between pictures", small, 30, 9000, 500, true},
        {"tiny pictures", small, 50, 1, 0, false},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderWriter w(c.header);
        for (int i = 0; i < c.pictures; ++i) {
            RecorderPicture pic;
            pic.temporalReference = i;
            pic.userData.push_back(RecorderUserData(SentenceFor(i)));
            pic.slice = SliceBytes(c.sliceSize + static_cast<std::size_t>(i), static_cast<std::uint32_t>(i));
            pic.junkAfter = Bytes(c.junk, 0xEE);
            w.addPicture(pic);
        }
        TempDir dir;
        StreamFile f;
        Open(f, w.bytes(), c.fromFile, dir);
        std::string nmeaText;
        RecordingObserver obs(f, &nmeaText);
        std::int64_t picturePos = 0;

        for (int i = 0; i < c.pictures; ++i) {
            ASSERT_TRUE(FindStartUp(f, picturePos, obs)) << "forward " << i;
            EXPECT_EQ(picturePos, w.pictures()[static_cast<std::size_t>(i)].picturePos);
            EXPECT_EQ(f.readPosition(), picturePos);
            ExpectPictureRead(f, w, static_cast<std::size_t>(i), nmeaText, obs);
        }
        const std::int64_t lastPos = picturePos;
        EXPECT_FALSE(FindStartUp(f, picturePos, obs));
        EXPECT_EQ(picturePos, lastPos);
        EXPECT_EQ(f.readPosition(), f.length());
        EXPECT_EQ(obs.shown.size(), static_cast<std::size_t>(c.pictures));

        for (int i = c.pictures - 2; i >= 0; --i) {
            ASSERT_TRUE(FindStartDown(f, picturePos, obs)) << "backward " << i;
            EXPECT_EQ(picturePos, w.pictures()[static_cast<std::size_t>(i)].picturePos);
            EXPECT_EQ(f.readPosition(), picturePos);
            ExpectPictureRead(f, w, static_cast<std::size_t>(i), nmeaText, obs);
        }
        // Backward from the first picture runs down to position 1 and fails there.
        const std::int64_t firstPos = picturePos;
        EXPECT_FALSE(FindStartDown(f, picturePos, obs));
        EXPECT_EQ(picturePos, firstPos);
        EXPECT_EQ(f.readPosition(), 1);
        // One SetPlayCounter per successful search, each at the position left behind.
        EXPECT_EQ(obs.counterPositions.size(), static_cast<std::size_t>(c.pictures * 4 - 2));
    }
}

Bytes Filled(std::size_t n, std::uint8_t v = 0xFF) { return Bytes(n, v); }

void Put(Bytes& b, std::int64_t pos, std::initializer_list<std::uint8_t> bytes) {
    std::size_t i = static_cast<std::size_t>(pos - 1);
    for (std::uint8_t x : bytes) b[i++] = x;
}

TEST(StreamSearch, StartCodePositionsAroundOneHundred) {
    Bytes b = Filled(200);
    Put(b, 97, {0x00, 0x00, 0x01});  // byte 100 stays FF: backward it counts as 00 unread
    Put(b, 101, {0x00, 0x00, 0x01, 0x00});
    StreamFile f;
    f.openMemory(b);
    RecordingObserver obs(f);
    std::int64_t picturePos = 0;
    ASSERT_TRUE(FindStartUp(f, picturePos, obs));
    EXPECT_EQ(picturePos, 104);
    EXPECT_EQ(f.readPosition(), 104);

    ASSERT_TRUE(FindStartDown(f, picturePos, obs));
    EXPECT_EQ(picturePos, 100);
    EXPECT_EQ(f.readPosition(), 100);
    EXPECT_EQ(obs.counterPositions, (std::vector<std::int64_t>{104, 100}));
}

TEST(StreamSearch, BackwardFailsAtOnceForSmallPicturePos) {
    Bytes b = Filled(50, 0x00);
    Put(b, 1, {0x00, 0x00, 0x01, 0x00});
    for (std::int64_t start : {0, 1, 5}) {
        StreamFile f;
        f.openMemory(b);
        std::uint8_t x;
        ASSERT_TRUE(f.readAt(7, x));
        RecordingObserver obs(f);
        std::int64_t picturePos = start;
        EXPECT_FALSE(FindStartDown(f, picturePos, obs)) << start;
        EXPECT_EQ(picturePos, start);
        EXPECT_EQ(f.readPosition(), 7) << "nothing may be read";
        EXPECT_TRUE(obs.counterPositions.empty());
    }
    // picturePos 6 reads position 1 only; the start code at 1-4 is out of its reach.
    StreamFile f;
    f.openMemory(b);
    RecordingObserver obs(f);
    std::int64_t picturePos = 6;
    EXPECT_FALSE(FindStartDown(f, picturePos, obs));
    EXPECT_EQ(f.readPosition(), 1);
    // From 8 the code at 1-4 is found; bytes 4.. are 00, so the window closes on it at p = 1.
    picturePos = 8;
    EXPECT_TRUE(FindStartDown(f, picturePos, obs));
    EXPECT_EQ(picturePos, 4);
}

TEST(StreamSearch, ZeroWindowCompletesCodesAfterAJump) {
    struct Case {
        const char* name;
        Bytes bytes;  // what follows the jump target at position 10
        bool forwardFound;
        std::int64_t picturePos;
        bool sliceFound;
    };
    const Case cases[] = {
        {"01 00 right after the jump", {0x01, 0x00, 0xAA}, true, 12, false},
        {"00 01 00", {0x00, 0x01, 0x00}, true, 13, false},
        {"01 then other", {0x01, 0x02, 0xAA}, false, 0, false},
        {"01 01 is a slice code for FindPicStart", {0x01, 0x01, 0xAA}, false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = Filled(10, 0x77);
        b.insert(b.end(), c.bytes.begin(), c.bytes.end());
        b.resize(b.size() + 5, 0x77);
        StreamFile f;
        f.openMemory(b);
        std::uint8_t x;
        ASSERT_TRUE(f.readAt(10, x));
        RecordingObserver obs(f);
        std::int64_t picturePos = 0;
        EXPECT_EQ(FindStartUp(f, picturePos, obs), c.forwardFound);
        EXPECT_EQ(picturePos, c.picturePos);

        ASSERT_TRUE(f.readAt(10, x));
        std::string text = "$GPRMC-old";
        EXPECT_EQ(FindPicStart(f, text, obs), c.sliceFound);
        if (c.sliceFound) {
            EXPECT_EQ(f.readPosition(), 12);
        }
    }
}

TEST(StreamSearch, SearchLimits) {
    // Forward: the code's last byte as the 299,999th byte read is found, as the 300,000th not.
    for (int lastIndex : {kPictureSearchLimit, kPictureSearchLimit + 1}) {
        Bytes b = Filled(static_cast<std::size_t>(lastIndex) + 10);
        Put(b, lastIndex - 3, {0x00, 0x00, 0x01, 0x00});
        StreamFile f;
        f.openMemory(b);
        RecordingObserver obs(f);
        std::int64_t picturePos = -1;
        const bool found = FindStartUp(f, picturePos, obs);
        EXPECT_EQ(found, lastIndex == kPictureSearchLimit) << lastIndex;
        EXPECT_EQ(f.readPosition(), kPictureSearchLimit);
        EXPECT_EQ(picturePos, found ? lastIndex : -1);
    }
    // Backward: the 299,999th position tried is p = picturePos - 5 - 299,998.
    for (std::int64_t extra : {0, 1}) {
        const std::int64_t current = 400000;
        const std::int64_t p = current - 5 - (kPictureSearchLimit - 1) - extra;
        Bytes b = Filled(static_cast<std::size_t>(current) + 10);
        Put(b, p, {0x00, 0x00, 0x01, 0x00});
        StreamFile f;
        f.openMemory(b);
        RecordingObserver obs(f);
        std::int64_t picturePos = current;
        const bool found = FindStartDown(f, picturePos, obs);
        EXPECT_EQ(found, extra == 0);
        EXPECT_EQ(picturePos, found ? p + 3 : current);
        EXPECT_EQ(f.readPosition(), found ? p + 3 : current - 5 - (kPictureSearchLimit - 1));
    }
    // Slice search: the slice code's 01 as the 8,192nd byte is reached, as the 8,193rd not.
    for (int lastIndex : {kSliceSearchLimit, kSliceSearchLimit + 1}) {
        Bytes b = Filled(static_cast<std::size_t>(lastIndex) + 10);
        Put(b, 1, {0x00, 0x00, 0x01, 0xB2, 'x', 'y', 'z'});
        Put(b, lastIndex - 3, {0x00, 0x00, 0x01, 0x01});
        StreamFile f;
        f.openMemory(b);
        std::string text;
        RecordingObserver obs(f, &text);
        const bool found = FindPicStart(f, text, obs);
        EXPECT_EQ(found, lastIndex == kSliceSearchLimit);
        EXPECT_EQ(f.readPosition(), kSliceSearchLimit);
        EXPECT_EQ(obs.shown.size(), found ? 1u : 0u);
        // Without success the collected text stays untrimmed.
        if (!found) {
            EXPECT_EQ(text.substr(0, 5), "\xB2xyz\xFF");
        }
    }
    // Frame: B7 at buffer index 299,999 fits, at 300,000 the buffer is full.
    for (int b7Index : {kFrameBufSize - 1, kFrameBufSize}) {
        Bytes b = Filled(static_cast<std::size_t>(b7Index) + 10);
        Put(b, b7Index - 2, {0x00, 0x00, 0x01, 0xB7});
        StreamFile f;
        f.openMemory(b);
        auto frame = std::make_unique<FrameBuffer>();
        const bool ok = ReadFrame(f, *frame);
        EXPECT_EQ(ok, b7Index == kFrameBufSize - 1);
        EXPECT_EQ(f.readPosition(), ok ? b7Index + 1 : kFrameBufSize);
        if (ok) {
            EXPECT_EQ((*frame)[kFrameBufSize - 1], 0xB7);
        }
    }
}

TEST(StreamSearch, ReadFrameWithoutEndCode) {
    RecorderWriter w;
    for (int i = 0; i < 3; ++i) {
        RecorderPicture pic;
        pic.userData.push_back(RecorderUserData(SentenceFor(i)));
        pic.slice = SliceBytes(1000, static_cast<std::uint32_t>(i));
        pic.endCode = i != 0 && i != 2;  // first and last are cut off
        w.addPicture(pic);
    }
    StreamFile f;
    f.openMemory(w.bytes());
    std::string text;
    RecordingObserver obs(f, &text);
    std::int64_t picturePos = 0;
    auto frame = std::make_unique<FrameBuffer>();
    ASSERT_TRUE(FindStartUp(f, picturePos, obs));
    ASSERT_TRUE(FindPicStart(f, text, obs));
    // Runs on through picture 2 to its end code.
    ASSERT_TRUE(ReadFrame(f, *frame));
    EXPECT_EQ(f.readPosition(), w.pictures()[1].endCodePos);
    const auto first = w.bytes().begin() + w.pictures()[0].slicePos;
    const auto last = w.bytes().begin() + w.pictures()[1].endCodePos;
    EXPECT_TRUE(std::equal(first, last, frame->begin())) << "both pictures copied as one";

    ASSERT_TRUE(FindStartUp(f, picturePos, obs));
    EXPECT_EQ(picturePos, w.pictures()[2].picturePos);
    ASSERT_TRUE(FindPicStart(f, text, obs));
    EXPECT_FALSE(ReadFrame(f, *frame)) << "file ends before any end code";
    EXPECT_EQ(f.readPosition(), f.length());
}

TEST(StreamSearch, OversizePictureFails) {
    RecorderWriter w;
    RecorderPicture pic;
    pic.slice = SliceBytes(static_cast<std::size_t>(kFrameBufSize), 7);
    w.addPicture(pic);
    StreamFile f;
    f.openMemory(w.bytes());
    std::string text;
    RecordingObserver obs(f, &text);
    std::int64_t picturePos = 0;
    auto frame = std::make_unique<FrameBuffer>();
    ASSERT_TRUE(FindStartUp(f, picturePos, obs));
    ASSERT_TRUE(FindPicStart(f, text, obs));
    EXPECT_FALSE(ReadFrame(f, *frame));
    EXPECT_EQ(f.readPosition(), w.pictures()[0].slicePos + kFrameBufSize);
}

std::string Chars(std::initializer_list<int> codes) {
    std::string s;
    for (int c : codes) s.push_back(static_cast<char>(c));
    return s;
}

TEST(StreamSearch, UserDataCollection) {
    struct Case {
        const char* name;
        std::vector<Bytes> blocks;
        Bytes betweenBlocksAndSlice;  // e.g. an extension start code
        std::string before;
        std::string expected;
    };
    const Case cases[] = {
        {"n bytes give n - 1", {Bytes{'a', 'b', 'c', 'd', 'e', 'f', '\r'}}, {}, "", "abcdef"},
        {"one byte: five characters, untrimmed", {Bytes{'q'}}, {}, "", Chars({0xB2, 'q', 0, 0, 1})},
        {"empty block: four characters", {Bytes{}}, {}, "old", Chars({0xB2, 0, 0, 1})},
        {"two bytes give one", {Bytes{'a', 'b'}}, {}, "", "a"},
        {"second block counts", {Bytes{'f', 'i', 'r', 's', 't', '!'}, Bytes{'s', 'e', 'c', '!'}}, {}, "", "sec"},
        {"no block: old text trimmed again", {}, {}, "$GPRMC,1234567", "GPRMC,123"},
        {"no block, old text of five stays", {}, {}, "abcde", "abcde"},
        {"another start code ends the data", {Bytes{'x', 'y', 'z', '!'}},
         {0x00, 0x00, 0x01, 0xB5, 'e', 'x', 't'}, "", "xyz"},
        {"00 01 without a second 00 is no start code",
         {Bytes{'a', 0x11, 0x00, 0x01, 0xB2, 'b', 0x22, 0x00, 0x01, 0x01, 'c', '!'}}, {}, "",
         Chars({'a', 0x11, 0, 1, 0xB2, 'b', 0x22, 0, 1, 1, 'c'})},
        {"bytes above 127 stay single chars", {Bytes{0xC4, 0xE9, 0xFF, '\r'}}, {}, "", Chars({0xC4, 0xE9, 0xFF})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderWriter w;
        RecorderPicture pic;
        pic.userData = c.blocks;
        pic.slice = {0x11, 0x22};
        w.addPicture(pic);
        Bytes b = w.bytes();
        if (!c.betweenBlocksAndSlice.empty()) {
            const auto at = b.begin() + static_cast<std::ptrdiff_t>(w.pictures()[0].slicePos - 4);
            b.insert(at, c.betweenBlocksAndSlice.begin(), c.betweenBlocksAndSlice.end());
        }
        StreamFile f;
        f.openMemory(b);
        std::string text = c.before;
        RecordingObserver obs(f, &text);
        std::int64_t picturePos = 0;
        ASSERT_TRUE(FindStartUp(f, picturePos, obs));
        ASSERT_TRUE(FindPicStart(f, text, obs));
        EXPECT_EQ(text, c.expected);
        ASSERT_EQ(obs.shown.size(), 1u);
        EXPECT_EQ(obs.shown[0], c.expected) << "ShowNmea sees the trimmed text";
    }
}

TEST(StreamFileTest, OpenResults) {
    TempDir dir;
    const std::string regular = dir.file("a.m1v");
    {
        FILE* out = std::fopen(regular.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fputs("0123456789", out);
        std::fclose(out);
    }
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder"));
    std::filesystem::create_symlink(regular, dir.file("link"));

    struct Case {
        std::string path;
        OpenStatus status;
        std::int64_t length;
    };
    const Case cases[] = {
        {regular, OpenStatus::Ok, 10},
        {dir.file("link"), OpenStatus::Ok, 10},
        {dir.file("missing"), OpenStatus::NotFound, 0},
        {"", OpenStatus::NotFound, 0},
        {dir.file("folder"), OpenStatus::NotFound, 0},
        {fifo, OpenStatus::NotFound, 0},  // must not block
        {"/dev/null", OpenStatus::NotFound, 0},
        {regular + "/below-a-file", OpenStatus::NotFound, 0},
        {std::string(5000, 'x'), OpenStatus::Error, 0},  // ENAMETOOLONG
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 80));
        StreamFile f;
        std::string error = "stale";
        EXPECT_EQ(f.open(c.path, error), c.status);
        EXPECT_EQ(f.isOpen(), c.status == OpenStatus::Ok);
        EXPECT_EQ(f.length(), c.length);
        EXPECT_EQ(f.readPosition(), 0);
        if (c.status == OpenStatus::Ok) {
            EXPECT_EQ(error, "");
        }
        if (c.status == OpenStatus::NotFound) {
            EXPECT_EQ(error, "File not found !");
        }
        if (c.status == OpenStatus::Error) {
            EXPECT_FALSE(error.empty());
            EXPECT_NE(error, "File not found !");
        }
    }
}

TEST(StreamFileTest, PositionedReadsBlocksAndPeek) {
    Bytes b(3 * StreamFile::kBlockSize + 100);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    TempDir dir;
    for (bool fromFile : {false, true}) {
        SCOPED_TRACE(fromFile ? "file" : "memory");
        StreamFile f;
        Open(f, b, fromFile, dir);
        const std::int64_t len = f.length();
        ASSERT_EQ(len, static_cast<std::int64_t>(b.size()));

        std::uint8_t x = 0;
        ASSERT_TRUE(f.readAt(len, x));
        EXPECT_EQ(x, b.back());
        EXPECT_FALSE(f.readNext(x));
        EXPECT_EQ(f.readPosition(), len);
        EXPECT_FALSE(f.readAt(0, x));
        EXPECT_EQ(f.readPosition(), len);

        // A block across a cache boundary; the read position lands on its last byte.
        Bytes dst(1000);
        const std::int64_t from = StreamFile::kBlockSize - 300;
        EXPECT_EQ(f.readBlock(from, 1000, dst.data()), 1000);
        EXPECT_TRUE(std::equal(dst.begin(), dst.end(), b.begin() + from - 1));
        EXPECT_EQ(f.readPosition(), from + 999);
        ASSERT_TRUE(f.readNext(x));
        EXPECT_EQ(x, b[static_cast<std::size_t>(from + 999)]);

        // peek leaves the read position alone.
        const std::int64_t before = f.readPosition();
        EXPECT_EQ(f.peek(1, 7, dst.data()), 7);
        EXPECT_TRUE(std::equal(dst.begin(), dst.begin() + 7, b.begin()));
        EXPECT_EQ(f.readPosition(), before);
        // Near the end fewer bytes come back.
        EXPECT_EQ(f.peek(len - 9, 1000, dst.data()), 10);
        EXPECT_EQ(f.peek(len + 1, 10, dst.data()), 0);

        // Backward byte by byte over a boundary matches the bytes.
        for (std::int64_t p = 2 * StreamFile::kBlockSize + 5; p > 2 * StreamFile::kBlockSize - 5; --p) {
            ASSERT_TRUE(f.readAt(p, x));
            EXPECT_EQ(x, b[static_cast<std::size_t>(p - 1)]);
        }
    }
}

TEST(StreamFileTest, FileShrinkingWhileOpen) {
    RecorderWriter w;
    for (int i = 0; i < 20; ++i) {
        RecorderPicture pic;
        pic.userData.push_back(RecorderUserData(SentenceFor(i)));
        pic.slice = SliceBytes(60000, static_cast<std::uint32_t>(i));
        w.addPicture(pic);
    }
    TempDir dir;
    StreamFile f;
    Open(f, w.bytes(), true, dir);
    std::string text;
    RecordingObserver obs(f, &text);
    std::int64_t picturePos = 0;
    ASSERT_TRUE(FindStartUp(f, picturePos, obs));
    ASSERT_EQ(truncate(dir.file("rec.m1v").c_str(), 1000), 0);
    int found = 0;
    auto frame = std::make_unique<FrameBuffer>();
    while (FindStartUp(f, picturePos, obs) && FindPicStart(f, text, obs) && ReadFrame(f, *frame)) ++found;
    EXPECT_LT(found, 20);
    std::uint8_t x;
    EXPECT_FALSE(f.readAt(f.length(), x));
    picturePos = f.length();
    EXPECT_FALSE(FindStartDown(f, picturePos, obs));
}

// A recording placed beyond 4 GiB in a sparse file: positions must not wrap at 32 bits.
TEST(StreamLargeFile, PicturesBeyondFourGiB) {
    TempDir dir;
    const std::string path = dir.file("big.m1v");
    const std::int64_t offset = (std::int64_t{1} << 32) + 12345;
    RecorderWriter w;
    w.setBaseOffset(offset);
    const int count = 6;
    for (int i = 0; i < count; ++i) {
        RecorderPicture pic;
        pic.userData.push_back(RecorderUserData(SentenceFor(i)));
        pic.slice = SliceBytes(100000, static_cast<std::uint32_t>(i));
        w.addPicture(pic);
    }
    const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const std::int64_t total = offset + static_cast<std::int64_t>(w.bytes().size()) + 777;
    if (ftruncate(fd, static_cast<off_t>(total)) != 0) {
        ::close(fd);
        GTEST_SKIP() << "no sparse files here";
    }
    ASSERT_EQ(pwrite(fd, w.bytes().data(), w.bytes().size(), static_cast<off_t>(offset)),
              static_cast<ssize_t>(w.bytes().size()));
    ::close(fd);

    StreamFile f;
    std::string error;
    ASSERT_EQ(f.open(path, error), OpenStatus::Ok) << error;
    EXPECT_EQ(f.length(), total);
    std::string text;
    RecordingObserver obs(f, &text);
    // Jump just before the first picture, as the position bar does.
    std::uint8_t x;
    ASSERT_TRUE(f.readAt(offset - 100, x));
    std::int64_t picturePos = 0;
    auto frame = std::make_unique<FrameBuffer>();
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(FindStartUp(f, picturePos, obs));
        const PicturePositions& p = w.pictures()[static_cast<std::size_t>(i)];
        EXPECT_EQ(picturePos, p.picturePos);
        EXPECT_GT(picturePos, std::int64_t{1} << 32);
        ASSERT_TRUE(FindPicStart(f, text, obs));
        EXPECT_EQ(text, SentenceFor(i));
        ASSERT_TRUE(ReadFrame(f, *frame));
        EXPECT_EQ(f.readPosition(), p.endCodePos);
    }
    EXPECT_FALSE(FindStartUp(f, picturePos, obs));  // only zeros follow
    for (int i = count - 2; i >= 0; --i) {
        ASSERT_TRUE(FindStartDown(f, picturePos, obs));
        EXPECT_EQ(picturePos, w.pictures()[static_cast<std::size_t>(i)].picturePos);
    }
    // Below the first picture lie only zeros: the search gives up after its limit.
    const std::int64_t firstPos = picturePos;
    EXPECT_FALSE(FindStartDown(f, picturePos, obs));
    EXPECT_EQ(f.readPosition(), firstPos - 5 - (kPictureSearchLimit - 1));
}

}  // namespace
}  // namespace droskal
