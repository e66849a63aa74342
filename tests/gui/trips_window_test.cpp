// A folder opened as trips on a real window: stepping and end jumps across a join with the
// caption following the file, PgUp / PgDn between trips, a fragment across a join, the folder
// entry of the open button, and read errors with the system's reason.
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "../core/TestRecordings.h"
#include "Recordings.h"

namespace droskal {
namespace {

// Two drives: a.m1v (3 pictures) and b.m1v (3) one after the other, c.m1v (2) an hour later.
class TripWindowTest : public WindowTest {
  protected:
    RecorderWriter a = test::DriveRecording(320, 3, 1000, true),
                   b = test::DriveRecording(320, 3, 1003, true),
                   c = test::DriveRecording(320, 2, 5000, true);
    std::vector<std::int64_t> positions;  // trip 1's pictures
    std::vector<std::uint8_t> trip;       // trip 1's bytes

    void SetUp() override {
        WriteBytes(Path("a.m1v"), a.bytes());
        WriteBytes(Path("b.m1v"), b.bytes());
        WriteBytes(Path("c.m1v"), c.bytes());
        for (const auto& p : a.pictures()) positions.push_back(p.picturePos);
        for (const auto& p : b.pictures())
            positions.push_back(static_cast<std::int64_t>(a.bytes().size()) + p.picturePos);
        trip = a.bytes();
        trip.insert(trip.end(), b.bytes().begin(), b.bytes().end());
    }
    void Key(int key) { PressKey(form.get(), key); }
    QString Caption(const char* name) const { return FileCaption(Path(name)); }
    // Index of the picture on screen in trip 1, with the caption it showed.
    std::pair<int, QString> Shown() const {
        const auto it = std::find(positions.begin(), positions.end(), form->state.picturePos);
        return {it == positions.end() ? -1 : static_cast<int>(it - positions.begin()),
                form->lblFile->text()};
    }
};

TEST_F(TripWindowTest, SteppingAndEndJumpsCrossTheJoinWithTheFileCaption) {
    Start(dir.path());
    // The folder opens its newest trip and is remembered as a folder.
    EXPECT_EQ(form->state.fileLength, static_cast<std::int64_t>(c.bytes().size()));
    EXPECT_EQ(form->lblFile->text(), Caption("c.m1v"));
    Key(Qt::Key_PageDown);
    EXPECT_EQ(desktop.beeps, 1);  // no trip after the last

    Key(Qt::Key_PageUp);  // trip 1 opens on its first picture
    EXPECT_EQ(form->state.fileLength,
              static_cast<std::int64_t>(trip.size()));  // the bar spans the trip
    const auto first = std::make_pair(0, Caption("a.m1v"));
    EXPECT_EQ(Shown(), first);
    const std::pair<int, QString> walk[] = {{1, Caption("a.m1v")},
                                            {2, Caption("a.m1v")},
                                            {3, Caption("b.m1v")},
                                            {4, Caption("b.m1v")},
                                            {5, Caption("b.m1v")}};
    for (const auto& expected : walk) {
        form->cmdUp_Click();
        EXPECT_EQ(Shown(), expected);
    }
    form->cmdUp_Click();
    EXPECT_EQ(Pictures(), kForwardEnd);
    for (int i = 4; i >= 0; --i) {
        form->cmdDown_Click();
        EXPECT_EQ(Shown().first, i);
        EXPECT_EQ(Shown().second, Caption(i < 3 ? "a.m1v" : "b.m1v"));
    }
    form->cmdUpE_Click();
    EXPECT_EQ(Shown(), std::make_pair(5, Caption("b.m1v")));
    form->cmdDownE_Click();
    EXPECT_EQ(Shown(), first);
    // Playback at speed 1 runs over the join both ways.
    desktop.clockStep = 1;
    std::vector<int> played;
    form->onPictureShown = [&] { played.push_back(Shown().first); };
    form->cmdUpF_Click();
    form->cmdDownF_Click();
    EXPECT_EQ(played, (std::vector<int>{1, 2, 3, 4, 5, 4, 3, 2, 1, 0}));
    Key(Qt::Key_PageUp);
    EXPECT_EQ(desktop.beeps, 2);  // no trip before the first

    form->close();
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/MpegFile"), dir.path());
}

TEST_F(TripWindowTest, FragmentAcrossTheJoinSavesTheBytesOfBothFiles) {
    Start(Path("a.m1v"));  // a single file behaves as before: a trip of one
    EXPECT_EQ(form->state.fileLength, static_cast<std::int64_t>(a.bytes().size()));
    Key(Qt::Key_PageUp);
    EXPECT_EQ(desktop.beeps, 1);

    desktop.shiftHeld = true;  // Shift with the open button: the folder dialog
    desktop.dialogAnswers.push_back(dir.path());
    form->cmdFile_Click();
    ASSERT_EQ(desktop.dialogs.back().filter, "Otwórz folder z nagraniami");
    EXPECT_EQ(desktop.dialogs.back().initialName, dir.path());
    EXPECT_EQ(form->state.mpegFileName, dir.path());
    Key(Qt::Key_PageUp);

    form->cmdUp_Click();  // picture 2 of a.m1v
    form->cmdCut_Click();
    const std::int64_t cutStart = form->state.picturePos;
    form->cmdUp_Click();
    form->cmdUp_Click();  // picture 1 of b.m1v
    form->cmdCut_Click();
    const std::int64_t cutEnd =
        static_cast<std::int64_t>(a.bytes().size()) + b.pictures()[0].endCodePos;
    ASSERT_EQ(form->state.cutEnd, cutEnd);
    desktop.dialogAnswers.push_back(Path("cut.mpeg"));
    form->cmdSaveCut_Click();
    std::vector<std::uint8_t> expected(trip.begin(), trip.begin() + 20);
    expected.insert(expected.end(), trip.begin() + cutStart - 12, trip.begin() + cutEnd);
    const QByteArray saved = ReadAll(Path("cut.mpeg"));
    EXPECT_EQ(std::vector<std::uint8_t>(saved.begin(), saved.end()), expected);
}

// A disk that fails while a picture is read: the reason in lblFile instead of a silent end,
// and the disk-check question as for a failing open.
struct FailingDisk final : ByteSource {
    std::vector<std::uint8_t> bytes;
    std::int64_t failAt;
    std::int64_t length() const override { return static_cast<std::int64_t>(bytes.size()); }
    std::int64_t read(std::int64_t offset, std::uint8_t* dst, std::int64_t n,
                      std::optional<ReadFailure>& failure) override {
        const std::int64_t end = std::min(offset + n, failAt);
        if (end <= offset) {
            failure = ReadFailure{EIO, "", offset + 1};
            return 0;
        }
        std::copy(bytes.begin() + offset, bytes.begin() + end, dst);
        return end - offset;
    }
};

TEST_F(TripWindowTest, ReadErrorShowsTheSystemsReasonAndOffersTheDiskCheck) {
    Start(Path("a.m1v"));
    auto disk = std::make_unique<FailingDisk>();
    disk->bytes = a.bytes();
    disk->failAt = a.pictures()[1].slicePos + 10;  // inside the second picture
    form->streamFile.openSource(std::move(disk));
    form->cmdUp_Click();
    EXPECT_EQ(form->lblFile->text(), Caption("a.m1v"));
    EXPECT_TRUE(desktop.messages.empty());
    form->cmdUp_Click();
    EXPECT_EQ(Pictures(), kForwardEnd);
    EXPECT_EQ(form->lblFile->text(), QString::fromLocal8Bit(std::strerror(EIO)));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.startsWith("System Windows nie może odczytać"));
    EXPECT_EQ(desktop.messages[0].buttons, Desktop::Buttons::YesNo);
}

}  // namespace
}  // namespace droskal
