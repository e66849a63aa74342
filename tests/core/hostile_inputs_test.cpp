// Files a viewer for damaged memory cards meets: too short, not files at all, unreadable,
// shrinking under the reader, pictures and user data at and beyond the reader's limits,
// sentences with absurd numbers, and recordings cut off anywhere or with bits flipped.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <random>
#include <set>
#include <string_view>

#include <gtest/gtest.h>

#include "TestRecordings.h"
#include "decoder/PictureFormat.h"
#include "recording/Recording.h"
#include "recording/Walker.h"
#include "stream/Fragment.h"

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
        ASSERT_EQ(file.open(folder.write("short.m1v", c.bytes)), 0);
        EXPECT_EQ(CheckRecording(file).picFormat, c.format);
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
        int err;  // what open says
    };
    std::vector<Case> cases = {
        {regular, 0},
        {folder.file("link.m1v"), 0},
        {"", ENOENT},
        {folder.file("missing.m1v"), ENOENT},
        {folder.file("missing/inside.m1v"), ENOENT},
        {folder.file("folder.m1v"), ENOENT},
        {folder.file("fifo.m1v"), ENOENT},
        {"/dev/null", ENOENT},
        {regular + "/below-a-file", ENOTDIR},
        {folder.file("loop_a.m1v"), ELOOP},
        {folder.file(std::string(300, 'x')), ENAMETOOLONG},
    };
    // Permissions do not stop root.
    if (::geteuid() != 0) {
        const std::string locked = folder.write("locked.m1v", {0, 0, 1, 0xB3, 0x14, 0x00, 0xF0});
        ::chmod(locked.c_str(), 0);
        cases.push_back({locked, EACCES});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 80));
        StreamFile file;
        EXPECT_EQ(file.open(c.path), c.err);
        EXPECT_EQ(file.isOpen(), c.err == 0);
        EXPECT_EQ(file.length(), c.err == 0 ? 10 : 0);
        EXPECT_EQ(file.readPosition(), 0);
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
    const std::int64_t overhead =
        probe.pictures()[0].slicePos - probe.pictures()[0].picturePos - 1000;
    const auto atLimit = static_cast<std::size_t>(kSliceSearchLimit - overhead);
    const struct {
        std::size_t userBytes;
        bool readable;
        bool nextFound;  // a forward search gives up after 299,999 bytes of user data
    } cases[] = {{atLimit - 1, true, true},
                 {atLimit, true, true},
                 {atLimit + 1, false, true},
                 {100000, false, true},
                 {1 << 20, false, false}};
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

// ---- Recordings damaged the way half-written or failing memory cards damage them ----
//
// Cut off at many places and with bits flipped: opening, walking both ways, decoding and
// cutting a fragment must neither crash nor run away, and the reader's state must stay inside
// the file.

RecorderWriter MakeRecording(int format) {
    return BuildRecording(
        {.width = format == 1 ? 640 : 320,
         .height = format == 1 ? 480 : 240,
         .count = format == 1 ? 2 : 3,
         .quantiser = 12,
         .sentence = [](int i) { return Sentence({.knots = std::to_string(20 + i) + ".0"}); }});
}

// What one walk saw: the picture positions forward and backward, and a hash of every picture
// decoded on the way forward (0 for a picture read but not decoded).
struct Walk {
    std::vector<std::int64_t> forward, backward;
    std::vector<std::size_t> decoded;
};

// Walks an opened recording forward with the shared walker, checking that every position
// stays inside the file and that each search read no more than its limit, then backward as
// the window steps; then cuts a fragment from the first picture found to the end of the file.
void WalkChecked(Walker& walker, Walk& walk) {
    StreamFile& file = walker.file();
    CountingObserver observer;
    auto frame = std::make_unique<FrameBuffer>();
    const std::int64_t length = file.length();
    std::int64_t picturePos = 0;
    const auto inside = [&] {
        EXPECT_TRUE(file.readPosition() >= 0 && file.readPosition() <= length && picturePos >= 0 &&
                    picturePos <= length)
            << file.readPosition() << " " << picturePos << " of " << length;
    };
    const PictureFormatInfo* info = FormatInfo(walker.picFormat());

    // Every picture start code takes four bytes, so a walk that finds more has gone round.
    const std::size_t maxPictures = static_cast<std::size_t>(length / 4 + 1);
    WalkedPicture pic;
    std::int64_t from = file.readPosition();
    while (walker.next(pic, Decode::Bitmap)) {
        EXPECT_EQ(pic.searchFrom, from);
        EXPECT_LE(pic.picturePos - pic.searchFrom, kPictureSearchLimit);
        EXPECT_LE(pic.slicePos - pic.picturePos, kSliceSearchLimit);
        EXPECT_LE(pic.endPos - pic.slicePos, kFrameBufSize);
        EXPECT_GT(pic.picturePos, picturePos);
        picturePos = pic.picturePos;
        inside();
        from = file.readPosition();
        walk.forward.push_back(picturePos);
        ASSERT_LE(walk.forward.size(), maxPictures) << "forward walk does not end";
        walk.decoded.push_back(
            pic.decoded && info
                ? std::hash<std::string_view>{}({reinterpret_cast<const char*>(pic.picBuf),
                                                 static_cast<std::size_t>(info->pixelCount) * 3})
                : 0);
    }
    EXPECT_LE(file.readPosition() - from, kPictureSearchLimit);
    inside();

    std::string nmeaText;
    for (;;) {
        const std::int64_t before = picturePos;
        if (!FindStartDown(file, picturePos, observer)) {
            inside();
            EXPECT_EQ(picturePos, before);
            // Never below where the limit lets the search reach.
            EXPECT_TRUE(before <= 5 ||
                        file.readPosition() >= before - 5 - (kPictureSearchLimit - 1));
            break;
        }
        inside();
        EXPECT_LE(picturePos, before - 4);
        EXPECT_EQ(file.readPosition(), picturePos);
        walk.backward.push_back(picturePos);
        ASSERT_LE(walk.backward.size(), maxPictures) << "backward walk does not end";
        // A picture reached backward is read the same way.
        if (FindPicStart(file, nmeaText, observer)) ReadFrame(file, *frame);
        inside();
    }

    if (!walk.forward.empty()) {
        std::int64_t copied = 0;
        std::string error;
        const auto count = [&copied](const std::uint8_t*, std::size_t n, std::string&) {
            copied += static_cast<std::int64_t>(n);
            return true;
        };
        EXPECT_TRUE(CopyFragment(file, walk.forward.front(), length, count, error)) << error;
        const FragmentPlan plan = PlanFragment(walk.forward.front(), length, length);
        EXPECT_EQ(copied, plan.headerBytes + plan.count);
        inside();
    }
}

class CorruptionSweep : public ::testing::TestWithParam<int> {};

// Cut-off files, read from disk: every picture that lies wholly before the cut is found and
// decoded exactly as in the whole file, nothing behind the cut is invented, and the backward
// walk retraces the forward one.
TEST_P(CorruptionSweep, TruncatedAnywhere) {
    const RecorderWriter rec = MakeRecording(GetParam());
    const Bytes& bytes = rec.bytes();
    Walker whole;
    whole.openMemory(bytes);
    Walk reference;
    WalkChecked(whole, reference);
    ASSERT_EQ(reference.forward.size(), rec.pictures().size());
    for (std::size_t hash : reference.decoded) ASSERT_NE(hash, 0u);

    std::set<std::int64_t> cuts;
    const auto size = static_cast<std::int64_t>(bytes.size());
    for (std::int64_t n = 0; n <= 16; ++n) cuts.insert(n);
    for (std::int64_t n = 0; n < size; n += size / 97 + 1) cuts.insert(n);
    // Around every place where the walk changes what it does.
    for (const PicturePositions& p : rec.pictures()) {
        for (std::int64_t at : {p.picturePos, p.userDataPos, p.slicePos, p.endCodePos}) {
            for (std::int64_t d = -4; d <= 4; ++d)
                cuts.insert(std::clamp<std::int64_t>(at + d, 0, size));
        }
    }
    TempFolder folder;
    for (std::int64_t cut : cuts) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        Walker walker;
        int error = 0;
        walker.open({folder.write("cut.m1v", Bytes(bytes.begin(), bytes.begin() + cut))}, error);
        ASSERT_EQ(error, 0);
        ASSERT_EQ(walker.length(), cut);
        Walk walk;
        WalkChecked(walker, walk);
        std::size_t complete = 0;
        while (complete < rec.pictures().size() && rec.pictures()[complete].endCodePos <= cut)
            ++complete;
        ASSERT_GE(walk.forward.size(), complete);
        ASSERT_LE(walk.forward.size(), rec.pictures().size());
        for (std::size_t i = 0; i < walk.forward.size(); ++i) {
            EXPECT_EQ(walk.forward[i], rec.pictures()[i].picturePos);
            EXPECT_TRUE(i >= complete || cut < 7 || walk.decoded[i] == reference.decoded[i]) << i;
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
    const RecorderWriter rec = MakeRecording(GetParam());
    for (std::uint32_t seed = 1; seed <= 120; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed * 7919u + static_cast<std::uint32_t>(GetParam()));
        Bytes damaged = rec.bytes();
        const int flips =
            seed <= 60 ? static_cast<int>(seed % 8) + 1 : static_cast<int>(rng() % 400) + 1;
        for (int f = 0; f < flips; ++f) {
            // Half of the flips aim at the headers and start codes, where one bit does most harm.
            std::size_t at = rng() % damaged.size();
            if (rng() % 2 == 0) {
                const PicturePositions& p = rec.pictures()[rng() % rec.pictures().size()];
                const std::int64_t anchor =
                    std::array{p.headersStart, p.picturePos, p.slicePos, p.endCodePos}[rng() % 4];
                at = static_cast<std::size_t>(
                    std::clamp<std::int64_t>(anchor - 5 + static_cast<std::int64_t>(rng() % 9), 0,
                                             static_cast<std::int64_t>(damaged.size()) - 1));
            }
            damaged[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        if (seed % 5 == 0) damaged.resize(rng() % damaged.size());  // some are also cut short
        Walker walker;
        walker.openMemory(damaged);
        Walk walk;
        WalkChecked(walker, walk);  // bounded: it fails a walk that finds more pictures than fit
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(BothFormats, CorruptionSweep, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? "Vga" : "Cif";
                         });

}  // namespace
}  // namespace droskal
