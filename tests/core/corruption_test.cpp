// Recordings damaged the way half-written or failing memory cards damage them: cut off at
// many places and with bits flipped. Opening, walking both ways, decoding and cutting a
// fragment must neither crash nor run away, and the reader's state must stay inside the file.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestRecordings.h"
#include "cli/Walker.h"
#include "decoder/Decoder.h"
#include "decoder/SequenceHeader.h"
#include "stream/Fragment.h"

namespace droskal {
namespace {

using namespace test;

struct Recording {
    Bytes bytes;
    std::vector<PicturePositions> pictures;
};

Recording MakeRecording(int width, int height, int count) {
    RecorderWriter writer(Header(width, height));
    for (int i = 0; i < count; ++i) {
        RmcFields fields;
        fields.speedKnots = std::to_string(20 + i) + ".0";
        RecorderPicture picture;
        picture.temporalReference = i;
        picture.userData.push_back(RecorderUserData(BuildGprmc(fields)));
        picture.slice = EncodedPicture(width, height, 12, 0, i);
        writer.addPicture(picture);
    }
    return {writer.bytes(), writer.pictures()};
}

// What one walk saw: the picture positions forward and backward, and a checksum of every
// picture decoded on the way forward.
struct Walk {
    std::vector<std::int64_t> forward;
    std::vector<std::int64_t> backward;
    std::vector<std::uint64_t> decoded;  // 0 for a picture read but not decoded
};

std::uint64_t Checksum(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

// Opens nothing itself: walks `file` as the window does, checking after every operation that
// the positions stay inside the file and that each search read no more than its limit.
Walk WalkChecked(StreamFile& file) {
    Walk walk;
    CountingObserver observer;
    auto frame = std::make_unique<FrameBuffer>();
    Decoder decoder;
    const std::int64_t length = file.length();
    auto inside = [&](std::int64_t picturePos) {
        EXPECT_GE(file.readPosition(), 0);
        EXPECT_LE(file.readPosition(), length);
        EXPECT_GE(picturePos, 0);
        EXPECT_LE(picturePos, length);
    };

    const std::uint8_t format = FormatOf(file);
    std::uint8_t sequenceHeader[12 + 64 + 64] = {};
    const auto got = file.peek(1, sizeof sequenceHeader, sequenceHeader);
    const auto matrix = IntraMatrixFromSequenceHeader(sequenceHeader, static_cast<std::size_t>(got));
    decoder.SetIntraMatrix(matrix ? matrix->data() : nullptr);
    const PictureFormatInfo* info = FormatInfo(format);
    std::vector<std::uint8_t> picBuf(info ? static_cast<std::size_t>(info->pixelCount) * 3 : 0);

    // Every picture start code takes four bytes, so a walk that finds more has gone round.
    const std::size_t maxPictures = static_cast<std::size_t>(length / 4 + 1);
    std::int64_t picturePos = 0;
    std::string nmeaText;
    for (;;) {
        const std::int64_t from = file.readPosition();
        const bool found = FindStartUp(file, picturePos, observer);
        EXPECT_LE(file.readPosition() - from, kPictureSearchLimit);
        inside(picturePos);
        if (!found) break;
        EXPECT_GT(picturePos, walk.forward.empty() ? 0 : walk.forward.back());
        walk.forward.push_back(picturePos);
        if (walk.forward.size() > maxPictures) {
            ADD_FAILURE() << "forward walk does not end";
            break;
        }
        const std::int64_t headerFrom = file.readPosition();
        const bool sliceFound = FindPicStart(file, nmeaText, observer);
        EXPECT_LE(file.readPosition() - headerFrom, kSliceSearchLimit);
        inside(picturePos);
        std::uint64_t sum = 0;
        if (sliceFound) {
            const std::int64_t frameFrom = file.readPosition();
            const bool read = ReadFrame(file, *frame);
            EXPECT_LE(file.readPosition() - frameFrom, kFrameBufSize);
            inside(picturePos);
            if (read && info && decoder.DecodePicture(*frame, format, picBuf.data())) {
                sum = Checksum(picBuf);
            }
            EXPECT_GE(decoder.bitPos, 0);
            EXPECT_LE(decoder.bitPos, kFrameBufSize);
        }
        walk.decoded.push_back(sum);
    }

    for (std::size_t steps = 0;; ++steps) {
        const std::int64_t before = picturePos;
        const bool found = FindStartDown(file, picturePos, observer);
        inside(picturePos);
        if (!found) {
            EXPECT_EQ(picturePos, before);
            // Never below where the limit lets the search reach.
            if (before > 5) {
                EXPECT_GE(file.readPosition(), before - 5 - (kPictureSearchLimit - 1));
            }
            break;
        }
        EXPECT_LE(picturePos, before - 4);
        EXPECT_EQ(file.readPosition(), picturePos);
        walk.backward.push_back(picturePos);
        if (steps > maxPictures) {
            ADD_FAILURE() << "backward walk does not end";
            break;
        }
        // A picture reached backward is read the same way.
        if (FindPicStart(file, nmeaText, observer)) ReadFrame(file, *frame);
        inside(picturePos);
    }

    // Cutting a fragment from the first picture found to the end of the file.
    if (!walk.forward.empty()) {
        std::int64_t copied = 0;
        std::string error;
        const bool ok = CopyFragment(
            file, walk.forward.front(), length,
            [&copied](const std::uint8_t*, std::size_t n, std::string&) {
                copied += static_cast<std::int64_t>(n);
                return true;
            },
            error);
        const FragmentPlan plan = PlanFragment(walk.forward.front(), length, length);
        EXPECT_TRUE(ok) << error;
        EXPECT_EQ(copied, plan.headerBytes + plan.count);
        inside(picturePos);
    }
    return walk;
}

class CorruptionSweep : public ::testing::TestWithParam<int> {
protected:
    static Recording Make(int format) {
        return format == 1 ? MakeRecording(640, 480, 2) : MakeRecording(320, 240, 3);
    }
};

// Cut-off files, read from disk: every picture that lies wholly before the cut is found and
// decoded exactly as in the whole file, nothing behind the cut is invented, and the backward
// walk retraces the forward one.
TEST_P(CorruptionSweep, TruncatedAnywhere) {
    const Recording rec = Make(GetParam());
    StreamFile whole;
    whole.openMemory(rec.bytes);
    const Walk reference = WalkChecked(whole);
    ASSERT_EQ(reference.forward.size(), rec.pictures.size());
    for (std::uint64_t sum : reference.decoded) ASSERT_NE(sum, 0u);

    std::set<std::int64_t> cuts;
    const auto size = static_cast<std::int64_t>(rec.bytes.size());
    for (std::int64_t n = 0; n <= 16; ++n) cuts.insert(n);
    for (std::int64_t n = 0; n < size; n += size / 97 + 1) cuts.insert(n);
    // Around every place where the walk changes what it does.
    for (const PicturePositions& p : rec.pictures) {
        for (std::int64_t at : {p.picturePos, p.userDataPos, p.slicePos, p.endCodePos}) {
            for (std::int64_t d = -4; d <= 4; ++d) cuts.insert(std::clamp<std::int64_t>(at + d, 0, size));
        }
    }

    TempFolder folder;
    for (std::int64_t cut : cuts) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        StreamFile file;
        std::string error;
        ASSERT_EQ(file.open(folder.write("cut.m1v", Bytes(rec.bytes.begin(), rec.bytes.begin() + cut)), error),
                  OpenStatus::Ok) << error;
        ASSERT_EQ(file.length(), cut);
        const Walk walk = WalkChecked(file);

        std::size_t complete = 0;
        while (complete < rec.pictures.size() && rec.pictures[complete].endCodePos <= cut) ++complete;
        ASSERT_GE(walk.forward.size(), complete);
        for (std::size_t i = 0; i < walk.forward.size(); ++i) {
            ASSERT_LT(i, rec.pictures.size());
            EXPECT_EQ(walk.forward[i], rec.pictures[i].picturePos);
            if (i < complete && cut >= 7) {
                EXPECT_EQ(walk.decoded[i], reference.decoded[i]) << "picture " << i;
            }
        }
        std::vector<std::int64_t> retraced(walk.forward.rbegin(), walk.forward.rend());
        if (!retraced.empty()) retraced.erase(retraced.begin());
        EXPECT_EQ(walk.backward, retraced);
        if (HasFatalFailure()) break;
    }
}

// Bits flipped at random (fixed seeds), from a single bit to a few hundred: whatever the
// walk makes of it, it stays bounded and inside the file.
TEST_P(CorruptionSweep, BitFlips) {
    const Recording rec = Make(GetParam());
    for (std::uint32_t seed = 1; seed <= 120; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed * 7919u + static_cast<std::uint32_t>(GetParam()));
        Bytes damaged = rec.bytes;
        const int flips = seed <= 60 ? static_cast<int>(seed % 8) + 1 : static_cast<int>(rng() % 400) + 1;
        for (int f = 0; f < flips; ++f) {
            // Half of the flips aim at the headers and start codes, where one bit does most harm.
            std::size_t at;
            if (rng() % 2 == 0) {
                const PicturePositions& p = rec.pictures[rng() % rec.pictures.size()];
                const std::int64_t anchor =
                    std::array<std::int64_t, 4>{p.headersStart, p.picturePos, p.slicePos, p.endCodePos}[rng() % 4];
                at = static_cast<std::size_t>(std::clamp<std::int64_t>(
                    anchor - 1 + static_cast<std::int64_t>(rng() % 9) - 4, 0,
                    static_cast<std::int64_t>(damaged.size()) - 1));
            } else {
                at = rng() % damaged.size();
            }
            damaged[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        // Some damaged files are also cut short.
        if (seed % 5 == 0) damaged.resize(rng() % damaged.size());
        StreamFile file;
        file.openMemory(damaged);
        const Walk walk = WalkChecked(file);
        EXPECT_LE(walk.forward.size(), damaged.size() / 4 + 1);

        // The command line's frame export walks the same bytes its own way.
        cli::Walker walker;
        std::string error;
        if (walker.openMemory(damaged, error)) {
            cli::WalkedPicture picture;
            std::size_t exported = 0;
            while (walker.next(picture, cli::Decode::Bitmap)) {
                EXPECT_GT(picture.picturePos, 0);
                EXPECT_LE(picture.picturePos, static_cast<std::int64_t>(damaged.size()));
                EXPECT_LE(walker.file().readPosition(), walker.length());
                if (++exported > damaged.size() / 4 + 1) {
                    ADD_FAILURE() << "frame export does not end";
                    break;
                }
            }
            EXPECT_EQ(exported, walk.forward.size());
        }
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(BothFormats, CorruptionSweep, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("Vga") : std::string("Cif");
                         });

}  // namespace
}  // namespace droskal
