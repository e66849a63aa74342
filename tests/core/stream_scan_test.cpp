// The block-scanning searches against the byte-by-byte loops they replace: same results,
// picturePos, read positions, user data and frame buffer contents, on random streams full of
// near-codes, across cache block seams, at the limits and at the end of the file.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestRecordings.h"

namespace droskal {
namespace {

using test::CountingObserver;

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
            x = r == 0 ? static_cast<std::uint8_t>(rng() % 3) : static_cast<std::uint8_t>(0x20 + rng() % 200);
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
        ASSERT_EQ(PlainStartDown(plain, pp, po), FindStartDown(fast, fp, fo)) << what << " down from " << picturePos;
        ASSERT_EQ(pp, fp) << what << " down";
    } else {
        auto fb = std::make_unique<FrameBuffer>();
        auto pb = std::make_unique<FrameBuffer>();
        fb->fill(0xEE);
        pb->fill(0xEE);
        ASSERT_EQ(PlainReadFrame(plain, *pb), ReadFrame(fast, *fb)) << what << " frame";
        ASSERT_TRUE(*fb == *pb) << what << " frame contents";
    }
    ASSERT_EQ(plain.readPosition(), fast.readPosition()) << what << " op " << op;
    ASSERT_EQ(po.counters, fo.counters) << what;
}

void CompareOnBytes(const std::vector<std::uint8_t>& bytes, std::mt19937& rng, int rounds, const std::string& what) {
    const auto n = static_cast<std::int64_t>(bytes.size());
    const test::TempFolder folder;
    const std::string path = folder.write("scan.m1v", bytes);
    for (bool fromFile : {false, true}) {
        StreamFile fast, plain;
        std::string error;
        if (fromFile) {
            ASSERT_EQ(OpenStatus::Ok, fast.open(path, error));
            ASSERT_EQ(OpenStatus::Ok, plain.open(path, error));
        } else {
            fast.openMemory(bytes);
            plain.openMemory(bytes);
        }
        for (int r = 0; r < rounds; ++r) {
            // Starts anywhere, near both ends and on the cache block seams.
            std::int64_t readPos;
            const int where = static_cast<int>(rng() % 4);
            if (where == 0) {
                readPos = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(n + 1));
            } else if (where == 1) {
                readPos = std::max<std::int64_t>(0, n - static_cast<std::int64_t>(rng() % 16));
            } else if (where == 2) {
                readPos = static_cast<std::int64_t>(rng() % 8);
            } else {
                readPos = std::min<std::int64_t>(n, StreamFile::kBlockSize * (1 + static_cast<std::int64_t>(rng() % 2)) -
                                                     4 + static_cast<std::int64_t>(rng() % 8));
            }
            const std::int64_t picturePos = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(n + 8));
            CompareAt(fast, plain, readPos, picturePos, rng,
                      what + (fromFile ? " file" : " memory") + " round " + std::to_string(r));
            if (testing::Test::HasFatalFailure()) break;
        }
    }
}

TEST(ScanningSearches, DenseNearCodesMatchTheByteLoops) {
    std::mt19937 rng(1);
    for (std::size_t n : {std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{5}, std::size_t{9}, std::size_t{200},
                          std::size_t{70000}}) {
        CompareOnBytes(RandomStream(rng, n, false), rng, 300, "dense " + std::to_string(n));
    }
}

TEST(ScanningSearches, SparseStreamsAcrossSeamsAndLimits) {
    std::mt19937 rng(2);
    // Longer than the search limits and two cache blocks, with few codes.
    CompareOnBytes(RandomStream(rng, 2 * StreamFile::kBlockSize + 70000, true), rng, 120, "sparse");
    // No 01 at all: every search runs into its limit or the end of the file.
    std::vector<std::uint8_t> none(kPictureSearchLimit * 2 + 5);
    for (std::size_t i = 0; i < none.size(); ++i) none[i] = static_cast<std::uint8_t>(0x20 + i % 200);
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
            const std::int64_t at = anchors[rng() % std::size(anchors)] + static_cast<std::int64_t>(rng() % 5) - 2;
            if (at < 0 || at + 4 > static_cast<std::int64_t>(bytes.size())) continue;
            const std::uint8_t code[4] = {0, 0, 1, rng() % 2 ? std::uint8_t{0x00} : std::uint8_t{0xB7}};
            std::copy(code, code + 4, bytes.begin() + at);
        }
        CompareOnBytes(bytes, rng, 30, "edges " + std::to_string(trial));
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace droskal
