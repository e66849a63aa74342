// Stepping, end jumps, playback and the position bar on a real window.
#include <QTimer>

#include <gtest/gtest.h>

#include "Fixture.h"
#include "app/PositionCounter.h"

namespace droskal {
namespace {

using NavigationTest = RecordingTest;
using Indexes = std::vector<int>;

// Each picture shown brings its sentence's labels and puts the position display where the
// slice search stopped; a step back right after opening reads nothing.
TEST_F(NavigationTest, SteppingAndEndJumpsVisitEveryPictureWithItsLabels) {
    Open({4});
    form->cmdDown_Click();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(form->streamFile.readPosition(), 7);
    EXPECT_EQ(Pictures(), kBackwardEnd);
    QStringList labels;
    form->onPictureShown = [&] {
        const int i = Index();
        ASSERT_GE(i, 0);
        shown.push_back(i);
        labels << form->lblTime->text() + " " + form->lblSpeed->text();
        EXPECT_TRUE(form->lblSpeed->isVisibleTo(form.get()) &&
                    form->chkGps->isVisibleTo(form.get()));
        const double width = 9375.0 * static_cast<double>(rec.pictures[i].slicePos) /
                             static_cast<double>(form->state.fileLength);
        EXPECT_FLOAT_EQ(form->shPlay->Width(), static_cast<float>(width));
        EXPECT_FLOAT_EQ(form->lblPlay->Left(), static_cast<float>(120 + width - 187.5));
    };
    for (int i = 0; i < 5; ++i) form->cmdUp_Click();
    EXPECT_EQ(Pictures(), kForwardEnd);
    for (int i = 0; i < 4; ++i) form->cmdDown_Click();
    EXPECT_EQ(Pictures(), kBackwardEnd);
    form->cmdUpE_Click();
    form->cmdDownE_Click();
    form->cmdUpE_Click();
    EXPECT_EQ(Pictures(), kForwardEnd);
    EXPECT_EQ(shown, (Indexes{0, 1, 2, 3, 2, 1, 0, 3, 0, 3}));
    EXPECT_EQ(labels.mid(0, 4),
              QStringList({"30.03.2006  22:34:10 19 km/h", "30.03.2006  22:34:11 20 km/h",
                           "30.03.2006  22:34:12 22 km/h", "30.03.2006  22:34:13 24 km/h"}));
}

TEST_F(NavigationTest, CutOffLastPictureEndJumpFallsBackToTheBeginningState) {
    RecordingOptions options{3};
    options.lastEndCode = false;
    Open(options);
    form->cmdUp_Click();
    const QImage before = form->Pic1->image();
    form->cmdUpE_Click();
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(Pictures(), kBackwardEnd);
    EXPECT_EQ(form->Pic1->image(), before);
}

// The fake clock moves only while the loop sleeps, so every picture shown at every speed
// must sleep out the whole delay.
TEST_F(NavigationTest, PlaybackAtEachSpeedShowsAndPacesItsPictures) {
    using Play = void (Form1::*)();
    // The button, whether playback starts from the end, the bytes after each picture, and the
    // pictures shown.
    const std::tuple<const char*, Play, bool, int, Indexes> cases[] = {
        {"speed 1 forward", &Form1::cmdUpF_Click, false, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"speed 1 backward", &Form1::cmdDownF_Click, true, 0, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
        {"speed 2 forward", &Form1::cmdUpFF_Click, false, 0, {4, 9}},
        {"speed 2 backward", &Form1::cmdDownFF_Click, true, 0, {6, 1}},
        // About 153,400 bytes from picture to picture: each jump of 200,000 passes one.
        {"speed 3 forward", &Form1::cmdUpFFF_Click, false, 150000, {2, 4, 6, 8, 10}},
        {"speed 3 backward", &Form1::cmdDownFFF_Click, true, 150000, {9, 7, 5, 3, 1, 0}},
    };
    for (const auto& [name, play, fromEnd, junk, pictures] : cases) {
        SCOPED_TRACE(name);
        RecordingOptions options{12};
        options.junkAfter = junk;
        Open(options);
        if (fromEnd) form->cmdUpE_Click();
        shown.clear();
        desktop.clockStep = 0;
        desktop.waits.clear();
        form->state.playDelay = 0.25f;
        (form.get()->*play)();
        EXPECT_EQ(shown, pictures);
        EXPECT_EQ(desktop.waits, std::vector<double>(pictures.size(), 0.25));
        EXPECT_FALSE(form->state.playing);
        EXPECT_EQ(Pictures(), fromEnd ? kBackwardEnd : kForwardEnd);
    }
    // A delay shorter than a picture takes still gives one round of events per picture.
    Open({3});
    form->state.playDelay = -1;
    int rounds = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++rounds; });
    ticker.start(0);
    form->cmdUpF_Click();
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_GE(rounds, 3);
}

// Buttons pressed from inside the playback loop once some pictures were shown.
TEST_F(NavigationTest, ButtonsDuringPlayback) {
    using F = Form1;
    using Press = void (Form1::*)();
    // Pictures in the recording, the play button, the pictures after which the other button is
    // pressed, the pictures shown and the buttons at the end.
    const std::tuple<const char*, int, Press, std::size_t, Press, Indexes, QStringList> cases[] = {
        // Stopped, not ended: everything normal but the stop button.
        {"stop, speed 1", 10, &F::cmdUpF_Click, 2, &F::cmdStop_Click, {0, 1, 2}, kStopped},
        // The running group of five seeks completes.
        {"stop, speed 2", 20, &F::cmdUpFF_Click, 1, &F::cmdStop_Click, {4, 9}, kStopped},
        // Another play button stops playback and starts nothing.
        {"speed 2 back", 10, &F::cmdUpF_Click, 1, &F::cmdDownFF_Click, {0, 1}, kStopped},
        // A step back goes on from the picture before it.
        {"back", 6, &F::cmdUpF_Click, 3, &F::cmdDown_Click, {0, 1, 2, 1, 2, 3, 4, 5}, kForwardEnd},
        {"file is ignored", 4, &F::cmdUpF_Click, 1, &F::cmdFile_Click, {0, 1, 2, 3}, kForwardEnd},
        {"up is ignored", 4, &F::cmdUpF_Click, 1, &F::cmdUp_Click, {0, 1, 2, 3}, kForwardEnd},
    };
    QStringList duringPlayback;
    for (const auto& [name, count, play, after, press, pictures, endPictures] : cases) {
        SCOPED_TRACE(name);
        Open({count});
        After(after, [&] {
            duringPlayback = Pictures();
            (form.get()->*press)();
        });
        (form.get()->*play)();
        EXPECT_EQ(shown, pictures);
        EXPECT_FALSE(form->state.playing);
        EXPECT_TRUE(form->state.barEnabled);
        EXPECT_EQ(Pictures(), endPictures);
    }
    EXPECT_EQ(duringPlayback, QStringList({"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU",
                                           "Stop", "UpU", "UpFA", "UpFFU", "UpFFFU", "UpEU"}));
    EXPECT_TRUE(desktop.dialogs.empty());
    // A stop during a long delay ends the sleep at once.
    for (auto play : {&Form1::cmdUpF_Click, &Form1::cmdUpFF_Click}) {
        Open({12});
        desktop.clockStep = 0;
        desktop.waits.clear();
        form->state.playDelay = 2;
        After(1, [this] { form->cmdStop_Click(); });
        (form.get()->*play)();
        EXPECT_EQ(shown.size(), 2u);
        EXPECT_TRUE(desktop.waits.empty());
    }
    // A close during playback waits for the loop.
    for (int count : {10, 1}) {  // stopped by the close, or by the end of the file
        SCOPED_TRACE(count);
        Open({count});
        form->show();
        desktop.settingWrites = 0;
        After(1, [this] { form->close(); });
        form->cmdUpF_Click();
        EXPECT_EQ(shown.size(), 1u + (count > 1));  // one more picture after the refused close
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(desktop.settingWrites, 2);
        EXPECT_EQ(desktop.settings.value("Droskal/Setup/MpegFile"), rec.path);
    }
}

TEST(PositionCounter, FiguresFollowTheReadPosition) {
    const std::tuple<std::int64_t, std::int64_t, float, const char*> cases[] = {
        {500, 1000, 4687.5f, "49%"},   // 50,000 / 1,000.5
        {1000, 1000, 9375.0f, "99%"},  // the 0.5 keeps a small file below 100%
        {0, 1000, 0.0f, "0%"},
        {10000000, 10000000, 9375.0f, "100%"},          // the 0.5 is lost in the float: 100%
        {5000000000LL, 10000000000LL, 4687.5f, "50%"},  // beyond 32 bits
        {7, 1000, 65.625f, "0%"},
    };
    for (const auto& [pos, length, width, caption] : cases) {
        const CounterFigures f = CounterAt(pos, length, 9375.0f);
        EXPECT_FLOAT_EQ(f.playWidth, width) << pos;
        EXPECT_EQ(f.caption, caption) << pos;
    }
}

// Bar geometry in fraCmd twips: shFile 120..9495 across, 360..615 down; the thumb is at
// shPlay's right end.
TEST_F(NavigationTest, ThumbZoneAndClicksBesideIt) {
    Open({4});
    form->cmdUp_Click();
    form->cmdUp_Click();
    const float thumb = form->shPlay->Left() + form->shPlay->Width();
    // The press (button, x, y), then whether it drags, the pictures it shows and the cursor.
    const std::tuple<const char*, int, float, float, bool, int, Qt::CursorShape> cases[] = {
        {"in the zone", 1, thumb + 59.5f, 400, true, 0, Qt::SizeHorCursor},
        {"60 twips right is outside: steps forward", 1, thumb + 60, 400, false, 1, Qt::ArrowCursor},
        {"60 twips left is outside: steps backward", 1, thumb - 60, 400, false, 1, Qt::ArrowCursor},
        {"right button", 2, thumb, 400, false, 0, Qt::ArrowCursor},
        {"frame outside the bar", 1, 60, 400, false, 0, Qt::ArrowCursor},
        {"on the bar's top edge", 1, thumb, 360, false, 0, Qt::ArrowCursor},
    };
    for (const auto& [name, button, x, y, dragging, pictures, cursor] : cases) {
        SCOPED_TRACE(name);
        form->setCursor(Qt::ArrowCursor);
        form->state.barDragging = false;
        form->state.barEnabled = true;
        shown.clear();
        form->fraCmd_MouseDown(button, 0, x, y);
        EXPECT_EQ(form->state.barDragging, dragging);
        EXPECT_EQ(static_cast<int>(shown.size()), pictures);
        EXPECT_EQ(form->cursor().shape(), cursor);
        if (pictures == 1) (x > thumb) ? form->cmdDown_Click() : form->cmdUp_Click();
    }
}

// Released at half the bar of a file of odd length 2m + 1, the jump lands on m, rounded half
// to even; the search from m + 1 meets the 01 00 of the second picture's start code, whose
// zeros lie at m - 1 and m.
TEST_F(NavigationTest, DragFreezesOutsideTheBarAndReleaseSeeks) {
    const TestRecording two = WriteRecording(Path("two.m1v"), RecordingOptions{2});
    const std::int64_t second = two.pictures[1].picturePos;
    const auto length = static_cast<std::int64_t>(two.bytes.size());
    std::int64_t gap = std::max<std::int64_t>(0, length + 3 - 2 * second);
    if ((second + gap) % 2 != 0) ++gap;  // m even: rounding half up would give m + 1
    std::vector<std::uint8_t> bytes = two.bytes;
    bytes.insert(bytes.begin() + (two.pictures[1].headersStart - 1), static_cast<std::size_t>(gap),
                 0);
    bytes.resize(static_cast<std::size_t>(2 * (second + gap - 2) + 1), 0xFF);
    WriteBytes(Path("r.m1v"), bytes);
    rec.pictures = {two.pictures[0], two.pictures[1]};
    rec.pictures[1].picturePos += gap;
    OpenFile(Path("r.m1v"));

    form->fraCmd_MouseDown(1, 0, 120 + 30, 400);  // the thumb is at the bar's left end
    ASSERT_TRUE(form->state.barDragging);
    form->fraCmd_MouseMove(0, 0, 4807.5f, 400);
    EXPECT_FLOAT_EQ(form->shPlay->Width(), 4687.5f);
    EXPECT_EQ(form->lblPlay->text(), "50%");
    EXPECT_FLOAT_EQ(form->lblPlay->Left(), 120 + 4687.5f - 187.5f);
    form->fraCmd_MouseMove(0, 0, 6000, 100);  // outside: the thumb stays
    EXPECT_FLOAT_EQ(form->shPlay->Width(), 4687.5f);
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
    form->fraCmd_MouseUp(2, 0, 6000, 100);  // any button ends the drag
    EXPECT_FALSE(form->state.barDragging);
    EXPECT_EQ(shown, (Indexes{1}));
    // The display follows the picture found.
    EXPECT_FLOAT_EQ(form->shPlay->Width(),
                    static_cast<float>(static_cast<double>(two.pictures[1].slicePos + gap) /
                                       static_cast<double>(bytes.size()) * 9375.0));

    // Dragging to the far right finds no further picture: the forward end.
    shown.clear();
    const float thumb = form->shPlay->Left() + form->shPlay->Width();
    form->fraCmd_MouseDown(1, 0, thumb, 400);
    form->fraCmd_MouseMove(0, 0, 9494, 400);
    form->fraCmd_MouseUp(1, 0, 9494, 400);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(Pictures(), kForwardEnd);
}

}  // namespace
}  // namespace droskal
