// The reader and the searches: the zero window after a jump, the user data, the reader's
// positioned reads, and the block-scanning searches against the byte loops they replace.
// Whole recordings are walked both ways, whole and cut, in hostile_inputs_test.
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestRecordings.h"

namespace droskal {
namespace {

using namespace test;
using namespace std::string_literals;

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

Bytes B(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(StreamSearch, UserDataCollection) {
    const struct {
        const char* name;
        std::vector<Bytes> blocks;
        Bytes beforeSlice;  // e.g. an extension start code
        std::string before, expected;
    } cases[] = {
        {"n bytes give n - 1", {B("abcdef\r")}, {}, "", "abcdef"},
        {"one byte: five characters, untrimmed", {B("q")}, {}, "", "\xB2q\0\0\1"s},
        {"empty block: four characters", {Bytes{}}, {}, "old", "\xB2\0\0\1"s},
        {"two bytes give one", {B("ab")}, {}, "", "a"},
        {"second block counts", {B("first!"), B("sec!")}, {}, "", "sec"},
        {"no block: old text trimmed again", {}, {}, "$GPRMC,1234567", "GPRMC,123"},
        {"no block, old text of five stays", {}, {}, "abcde", "abcde"},
        {"another start code ends the data", {B("xyz!")}, B("\0\0\1\265e"s), "", "xyz"},
        {"00 01 without a second 00 is no start code",
         {B("a\x11\0\1\262b\x22\0\1\1c!"s)},
         {},
         "",
         "a\x11\0\1\262b\x22\0\1\1c"s},
        {"bytes above 127 stay single chars", {B("\xC4\xE9\xFF\r")}, {}, "", "\xC4\xE9\xFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecorderWriter w;
        RecorderPicture pic;
        pic.userData = c.blocks;
        pic.slice = {0x11, 0x22};
        w.addPicture(pic);
        Bytes b = w.bytes();
        b.insert(b.begin() + (w.pictures()[0].slicePos - 4), c.beforeSlice.begin(),
                 c.beforeSlice.end());
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
        if (fromFile) {
            ASSERT_EQ(f.open(path), 0);
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

// ---- The block-scanning searches against the byte-by-byte loops they replace ----
//
// Same results, picturePos, read positions and frame buffer contents, on random streams full
// of near-codes, across cache block seams, at the limits and at the end of the file.

// The searches as first written, one byte at a time.
bool PlainStartUp(StreamFile& file, std::int64_t& picturePos, StreamObserver& observer) {
    std::uint32_t window = 0;
    for (int count = 1;; ++count) {
        std::uint8_t b;
        if (!file.readNext(b)) return false;
        window = (window << 8) | b;
        if (window == 0x00000100) {
            picturePos = file.readPosition();
            observer.SetPlayCounter(false);
            return true;
        }
        if (count >= kPictureSearchLimit) return false;
    }
}

bool PlainStartDown(StreamFile& file, std::int64_t& picturePos, StreamObserver& observer) {
    std::int64_t p = picturePos - 5;
    if (p <= 0) return false;
    std::uint32_t window = 0;
    for (int count = 1;; ++count) {
        std::uint8_t b;
        if (!file.readAt(p, b)) return false;
        window = (window >> 8) | (static_cast<std::uint32_t>(b) << 24);
        if (window == 0x00000100) {
            std::uint8_t last;
            if (!file.readAt(p + 3, last)) return false;
            picturePos = file.readPosition();
            observer.SetPlayCounter(false);
            return true;
        }
        if (count >= kPictureSearchLimit) return false;
        --p;
        if (p < 1) return false;
    }
}

bool PlainReadFrame(StreamFile& file, FrameBuffer& buffer) {
    for (int i = 0; i < 4; ++i) {
        if (!file.readNext(buffer[i])) return false;
    }
    std::uint32_t window = (std::uint32_t{buffer[0]} << 24) | (std::uint32_t{buffer[1]} << 16) |
                           (std::uint32_t{buffer[2]} << 8) | buffer[3];
    for (int i = 4;; ++i) {
        if (!file.readNext(buffer[i])) return false;
        window = (window << 8) | buffer[i];
        if (window == 0x000001B7) return true;
        if (i + 1 == kFrameBufSize) return false;
    }
}

// Mostly 00 and 01 with some B7 and others, so codes and near-codes are everywhere; `sparse`
// streams have long stretches without any 01.
std::vector<std::uint8_t> RandomStream(std::mt19937& rng, std::size_t n, bool sparse) {
    std::vector<std::uint8_t> b(n);
    for (auto& x : b) {
        const unsigned r = rng() % 64;
        if (sparse) {
            x = r == 0 ? static_cast<std::uint8_t>(rng() % 3)
                       : static_cast<std::uint8_t>(0x20 + rng() % 200);
        } else {
            x = r < 24 ? 0x00 : r < 40 ? 0x01 : r < 44 ? 0xB7 : static_cast<std::uint8_t>(rng());
        }
    }
    return b;
}

// Runs the same operation on two independent readers of the same bytes, one fast and one
// plain, from the same start, and compares everything the operation touches.
void CompareAt(StreamFile& fast, StreamFile& plain, std::int64_t readPos, std::int64_t picturePos,
               std::mt19937& rng, const std::string& what) {
    CountingObserver fo, po;
    std::uint8_t x;
    for (StreamFile* f : {&fast, &plain}) {
        f->readAt(1, x);  // move the cache somewhere else first
        f->setReadPosition(readPos);
    }
    const int op = static_cast<int>(rng() % 3);
    if (op == 0) {
        std::int64_t fp = picturePos, pp = picturePos;
        ASSERT_EQ(PlainStartUp(plain, pp, po), FindStartUp(fast, fp, fo)) << what << " up";
        ASSERT_EQ(pp, fp) << what << " up";
    } else if (op == 1) {
        std::int64_t fp = picturePos, pp = picturePos;
        ASSERT_EQ(PlainStartDown(plain, pp, po), FindStartDown(fast, fp, fo))
            << what << " down from " << picturePos;
        ASSERT_EQ(pp, fp) << what << " down";
    } else {
        auto fb = std::make_unique<FrameBuffer>(), pb = std::make_unique<FrameBuffer>();
        ASSERT_EQ(PlainReadFrame(plain, *pb), ReadFrame(fast, *fb)) << what << " frame";
        ASSERT_TRUE(*fb == *pb) << what << " frame contents";
    }
    ASSERT_EQ(plain.readPosition(), fast.readPosition()) << what << " op " << op;
    ASSERT_EQ(po.counters, fo.counters) << what;
}

// A random number from 0 to n - 1.
std::int64_t Below(std::mt19937& rng, std::int64_t n) {
    return static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(n));
}

// The bytes in pieces written as files and opened as one trip: joins at random places, exactly
// at a cache block, two bytes before one, and an empty file among them.
std::vector<std::string> WriteAsTrip(const std::vector<std::uint8_t>& bytes, std::mt19937& rng,
                                     const TempFolder& folder) {
    const auto n = static_cast<std::int64_t>(bytes.size());
    std::set<std::int64_t> cuts = {0, n};
    for (std::int64_t at : {StreamFile::kBlockSize, StreamFile::kBlockSize - 2})
        cuts.insert(std::min(at, n));
    for (int i = 0; i < 3; ++i) cuts.insert(Below(rng, n + 1));
    std::vector<std::string> paths;
    for (auto it = cuts.begin(); std::next(it) != cuts.end(); ++it) {
        paths.push_back(folder.write("part" + std::to_string(paths.size()) + ".m1v",
                                     Bytes(bytes.begin() + *it, bytes.begin() + *std::next(it))));
        if (paths.size() == 2) paths.push_back(folder.write("empty.m1v", {}));
    }
    return paths;
}

void CompareOnBytes(const std::vector<std::uint8_t>& bytes, std::mt19937& rng, int rounds,
                    const std::string& what) {
    const auto n = static_cast<std::int64_t>(bytes.size());
    const TempFolder folder;
    const std::string path = folder.write("scan.m1v", bytes);
    const std::vector<std::string> trip = WriteAsTrip(bytes, rng, folder);
    for (const char* source : {"memory", "file", "trip"}) {
        const std::string from = source;
        // The byte loops on the bytes in memory are the reference for the file and the trip.
        StreamFile fast, plain;
        plain.openMemory(bytes);
        if (from == "memory") fast.openMemory(bytes);
        ASSERT_EQ(0, from == "file" ? fast.open(path) : from == "trip" ? fast.open(trip) : 0);
        ASSERT_EQ(fast.length(), n);
        for (int r = 0; r < rounds; ++r) {
            // Starts anywhere, near both ends and on the cache block seams.
            const std::int64_t starts[] = {
                Below(rng, n + 1), std::max<std::int64_t>(0, n - Below(rng, 16)), Below(rng, 8),
                std::min<std::int64_t>(
                    n, StreamFile::kBlockSize * (1 + Below(rng, 2)) - 4 + Below(rng, 8))};
            const std::int64_t readPos = starts[Below(rng, 4)];
            const std::int64_t picturePos = Below(rng, n + 8);
            CompareAt(fast, plain, readPos, picturePos, rng,
                      what + " " + from + " round " + std::to_string(r));
            if (testing::Test::HasFatalFailure()) break;
        }
    }
}

TEST(ScanningSearches, DenseNearCodesMatchTheByteLoops) {
    std::mt19937 rng(1);
    for (std::size_t n : {std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{5},
                          std::size_t{9}, std::size_t{200}, std::size_t{70000}}) {
        CompareOnBytes(RandomStream(rng, n, false), rng, 300, "dense " + std::to_string(n));
    }
}

TEST(ScanningSearches, SparseStreamsAcrossSeamsAndLimits) {
    std::mt19937 rng(2);
    // Longer than the search limits and two cache blocks, with few codes.
    CompareOnBytes(RandomStream(rng, 2 * StreamFile::kBlockSize + 70000, true), rng, 120, "sparse");
    // No 01 at all: every search runs into its limit or the end of the file.
    std::vector<std::uint8_t> none(kPictureSearchLimit * 2 + 5);
    for (std::size_t i = 0; i < none.size(); ++i)
        none[i] = static_cast<std::uint8_t>(0x20 + i % 200);
    CompareOnBytes(none, rng, 40, "no codes");
}

// Codes planted right at the limits, the end of the file and the block seams.
TEST(ScanningSearches, CodesAtTheEdges) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 24; ++trial) {
        std::vector<std::uint8_t> bytes(StreamFile::kBlockSize + 320000, 0x55);
        const std::int64_t anchors[] = {0,
                                        kPictureSearchLimit - 4,
                                        kPictureSearchLimit - 3,
                                        kFrameBufSize - 4,
                                        kFrameBufSize - 3,
                                        StreamFile::kBlockSize - 4,
                                        StreamFile::kBlockSize - 2,
                                        StreamFile::kBlockSize,
                                        static_cast<std::int64_t>(bytes.size()) - 4};
        for (int k = 0; k < 6; ++k) {
            const std::int64_t at =
                anchors[rng() % std::size(anchors)] + static_cast<std::int64_t>(rng() % 5) - 2;
            if (at < 0 || at + 4 > static_cast<std::int64_t>(bytes.size())) continue;
            const std::uint8_t code[4] = {0, 0, 1,
                                          rng() % 2 ? std::uint8_t{0x00} : std::uint8_t{0xB7}};
            std::copy(code, code + 4, bytes.begin() + at);
        }
        CompareOnBytes(bytes, rng, 30, "edges " + std::to_string(trial));
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace droskal
