// Stepping, end jumps, playback and the position bar on a real window.
#include <QTimer>

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "Recordings.h"
#include "app/PositionCounter.h"

namespace droskal {
namespace {

class NavigationTest : public WindowTest {
  protected:
    TestRecording rec;
    std::vector<std::int64_t> shown;  // picturePos of every picture shown

    void Open(const RecordingOptions& options = {}) {
        desktop.clockStep = 1;  // speed 1 waits at most one round unless a test says otherwise
        rec = WriteRecording(Path("r.m1v"), options);
        Start(rec.path);
        form->onPictureShown = [this] { shown.push_back(form->state.picturePos); };
    }
    std::vector<std::int64_t> Positions(std::initializer_list<int> indexes) const {
        std::vector<std::int64_t> out;
        for (int i : indexes) out.push_back(rec.pictures[static_cast<std::size_t>(i)].picturePos);
        return out;
    }
    // Runs `action` from inside the playback loop's event processing once `count` pictures
    // have been shown.
    void After(std::size_t count, std::function<void()> action) {
        form->onPictureShown = [this, count, action] {
            shown.push_back(form->state.picturePos);
            if (shown.size() == count) QTimer::singleShot(0, form.get(), action);
        };
    }
};

// Each picture shown brings its sentence's labels and puts the position display where the
// slice search stopped.
TEST_F(NavigationTest, SteppingVisitsEveryPictureBothWays) {
    Open(RecordingOptions{4});
    const char* const speeds[] = {"19 km/h", "20 km/h", "22 km/h", "24 km/h"};  // 10..13 knots
    form->onPictureShown = [&] {
        const std::size_t i =
            static_cast<std::size_t>(std::find_if(rec.pictures.begin(), rec.pictures.end(),
                                                  [&](const PicturePositions& p) {
                                                      return p.picturePos == form->state.picturePos;
                                                  }) -
                                     rec.pictures.begin());
        ASSERT_LT(i, rec.pictures.size());
        shown.push_back(form->state.picturePos);
        EXPECT_EQ(form->lblTime->text(), QString("30.03.2006  22:34:%1").arg(10 + i));
        EXPECT_EQ(form->lblSpeed->text(), speeds[i]);
        EXPECT_TRUE(form->lblSpeed->isVisibleTo(form.get()));
        EXPECT_TRUE(form->chkGps->isVisibleTo(form.get()));
        const CounterFigures figures =
            CounterAt(rec.pictures[i].slicePos, form->state.fileLength, 9375.0f);
        EXPECT_EQ(form->lblPlay->text(), QString::fromStdString(figures.caption));
        EXPECT_FLOAT_EQ(form->shPlay->Width(), figures.playWidth);
        EXPECT_FLOAT_EQ(form->lblPlay->Left(), 120 + figures.playWidth - 187.5f);
    };
    for (int i = 0; i < 5; ++i) form->cmdUp_Click();
    EXPECT_EQ(shown, Positions({0, 1, 2, 3}));
    EXPECT_EQ(Pictures(), kForwardEnd);
    shown.clear();
    for (int i = 0; i < 4; ++i) form->cmdDown_Click();
    EXPECT_EQ(shown, Positions({2, 1, 0}));
    EXPECT_EQ(Pictures(), kBackwardEnd);
}

TEST_F(NavigationTest, BackwardRightAfterOpeningReadsNothingAndEndJumps) {
    Open(RecordingOptions{5});
    form->cmdDown_Click();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(form->streamFile.readPosition(), 7);
    EXPECT_EQ(Pictures(), kBackwardEnd);
    form->cmdUpE_Click();
    form->cmdDownE_Click();
    form->cmdUpE_Click();
    EXPECT_EQ(shown, Positions({4, 0, 4}));
    EXPECT_EQ(Pictures(), kForwardEnd);
    form->cmdDownE_Click();
    EXPECT_EQ(Pictures(), kBackwardEnd);
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

TEST_F(NavigationTest, WithoutAFileNothingReadsOrDecodes) {
    Start();
    form->onPictureShown = [this] { shown.push_back(0); };
    const QStringList before = Pictures();
    for (auto handler :
         {&Form1::cmdUp_Click, &Form1::cmdDown_Click, &Form1::cmdUpE_Click, &Form1::cmdDownE_Click,
          &Form1::cmdUpF_Click, &Form1::cmdDownFF_Click, &Form1::cmdUpFFF_Click}) {
        (form.get()->*handler)();
    }
    form->state.barEnabled = true;
    form->fraCmd_MouseDown(1, 0, 121, 400);
    form->fraCmd_MouseDown(1, 0, 5000, 400);
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(form->state.playing);
    EXPECT_EQ(Pictures(), before);
}

TEST_F(NavigationTest, PlaybackAtEachSpeedShowsItsPictures) {
    struct Case {
        const char* name;
        void (Form1::*play)();
        bool fromEnd;
        int junk;
        std::vector<int> pictures;
        QStringList endPictures;
    };
    const Case cases[] = {
        {"speed 1 forward",
         &Form1::cmdUpF_Click,
         false,
         0,
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         kForwardEnd},
        {"speed 1 backward",
         &Form1::cmdDownF_Click,
         true,
         0,
         {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0},
         kBackwardEnd},
        {"speed 2 forward", &Form1::cmdUpFF_Click, false, 0, {4, 9}, kForwardEnd},
        {"speed 2 backward", &Form1::cmdDownFF_Click, true, 0, {6, 1}, kBackwardEnd},
        // About 153,400 bytes from picture to picture: each jump of 200,000 passes one.
        {"speed 3 forward", &Form1::cmdUpFFF_Click, false, 150000, {2, 4, 6, 8, 10}, kForwardEnd},
        {"speed 3 backward",
         &Form1::cmdDownFFF_Click,
         true,
         150000,
         {9, 7, 5, 3, 1, 0},
         kBackwardEnd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingOptions options{12};
        options.junkAfter = c.junk;
        Open(options);
        if (c.fromEnd) form->cmdUpE_Click();
        shown.clear();
        (form.get()->*c.play)();
        std::vector<std::int64_t> expected;
        for (int i : c.pictures)
            expected.push_back(rec.pictures[static_cast<std::size_t>(i)].picturePos);
        EXPECT_EQ(shown, expected);
        EXPECT_FALSE(form->state.playing);
        EXPECT_EQ(Pictures(), c.endPictures);
    }
}

// The fake clock moves only while the loop sleeps, so every shown picture at every speed
// must sleep out the whole delay; a stop during a long delay ends the sleep at once.
TEST_F(NavigationTest, EverySpeedPacesItsPicturesAndStopsWithoutWaiting) {
    const struct {
        const char* name;
        void (Form1::*play)();
        int junk;
        std::size_t pictures;
    } cases[] = {
        {"speed 1", &Form1::cmdUpF_Click, 0, 12},
        {"speed 2", &Form1::cmdUpFF_Click, 0, 2},
        {"speed 3", &Form1::cmdUpFFF_Click, 150000, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingOptions options{12};
        options.junkAfter = c.junk;
        Open(options);
        shown.clear();
        desktop.clockStep = 0;
        desktop.waits.clear();
        form->state.playDelay = 0.25f;
        (form.get()->*c.play)();
        EXPECT_EQ(shown.size(), c.pictures);
        EXPECT_EQ(desktop.waits, std::vector<double>(c.pictures, 0.25));

        form->cmdDownE_Click();
        desktop.waits.clear();
        form->state.playDelay = 2;
        shown.clear();
        After(1, [this] { form->cmdStop_Click(); });
        (form.get()->*c.play)();
        EXPECT_EQ(shown.size(), 2u);
        EXPECT_TRUE(desktop.waits.empty());
    }
    // A delay shorter than a picture takes still gives one round of events per picture.
    Open(RecordingOptions{3});
    shown.clear();
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
    QStringList duringPlayback;
    const struct {
        const char* name;
        int count;
        void (Form1::*play)();
        std::size_t after;
        std::function<void()> action;
        std::vector<int> pictures;
        QStringList endPictures;
    } cases[] = {
        // Stopped, not ended: everything normal but the stop button.
        {"stop at speed 1",
         10,
         &Form1::cmdUpF_Click,
         2,
         [this] { form->cmdStop_Click(); },
         {0, 1, 2},
         kStopped},
        // The running group of five seeks completes.
        {"stop at speed 2",
         20,
         &Form1::cmdUpFF_Click,
         1,
         [this] { form->cmdStop_Click(); },
         {4, 9},
         kStopped},
        // Another play button stops playback and starts nothing.
        {"speed 2 back at speed 1",
         10,
         &Form1::cmdUpF_Click,
         1,
         [this] { form->cmdDownFF_Click(); },
         {0, 1},
         kStopped},
        {"step back at speed 1 goes on from there",
         6,
         &Form1::cmdUpF_Click,
         3,
         [this] { form->cmdDown_Click(); },
         {0, 1, 2, 1, 2, 3, 4, 5},
         kForwardEnd},
        {"up and file are ignored",
         4,
         &Form1::cmdUpF_Click,
         1,
         [&] {
             duringPlayback = Pictures();
             form->cmdUp_Click();
             form->cmdFile_Click();
         },
         {0, 1, 2, 3},
         kForwardEnd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open(RecordingOptions{c.count});
        shown.clear();
        After(c.after, c.action);
        (form.get()->*c.play)();
        std::vector<std::int64_t> expected;
        for (int i : c.pictures)
            expected.push_back(rec.pictures[static_cast<std::size_t>(i)].picturePos);
        EXPECT_EQ(shown, expected);
        EXPECT_FALSE(form->state.playing);
        EXPECT_TRUE(form->state.barEnabled);
        EXPECT_EQ(Pictures(), c.endPictures);
    }
    EXPECT_EQ(duringPlayback, QStringList({"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU",
                                           "Stop", "UpU", "UpFA", "UpFFU", "UpFFFU", "UpEU"}));
    EXPECT_TRUE(desktop.dialogs.empty());
}

TEST_F(NavigationTest, CloseDuringPlaybackWaitsForTheLoop) {
    for (int count : {10, 1}) {  // stopped by the close, or by the end of the file
        SCOPED_TRACE(count);
        Open(RecordingOptions{count});
        form->show();
        desktop.settingWrites = 0;
        shown.clear();
        After(1, [this] { form->close(); });
        form->cmdUpF_Click();
        EXPECT_EQ(shown.size(), 1u + (count > 1));  // one more picture after the refused close
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(desktop.settingWrites, 2);
        EXPECT_EQ(desktop.settings.value("Droskal/Setup/MpegFile"), rec.path);
    }
}

TEST(PositionCounter, FiguresFollowTheReadPosition) {
    const struct {
        std::int64_t pos, length;
        float width;
        const char* caption;
    } cases[] = {
        {500, 1000, 4687.5f, "49%"},   // 50,000 / 1,000.5
        {1000, 1000, 9375.0f, "99%"},  // the 0.5 keeps a small file below 100%
        {0, 1000, 0.0f, "0%"},
        {10000000, 10000000, 9375.0f, "100%"},          // the 0.5 is lost in the float: 100%
        {5000000000LL, 10000000000LL, 4687.5f, "50%"},  // beyond 32 bits
        {7, 1000, 65.625f, "0%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pos);
        const CounterFigures f = CounterAt(c.pos, c.length, 9375.0f);
        EXPECT_FLOAT_EQ(f.playWidth, c.width);
        EXPECT_EQ(f.caption, c.caption);
    }
}

// Bar geometry in fraCmd twips: shFile 120..9495 across, 360..615 down; the thumb is at
// shPlay's right end.
TEST_F(NavigationTest, ThumbZoneAndClicksBesideIt) {
    Open(RecordingOptions{4});
    form->cmdUp_Click();
    form->cmdUp_Click();
    const float thumb = form->shPlay->Left() + form->shPlay->Width();
    const struct {
        const char* name;
        int button;
        float x, y;
        bool dragging;
        int pictures;  // pictures shown by the press
        Qt::CursorShape cursor;
    } cases[] = {
        {"in the zone", 1, thumb + 59.5f, 400, true, 0, Qt::SizeHorCursor},
        {"60 twips right is outside: steps forward", 1, thumb + 60, 400, false, 1, Qt::ArrowCursor},
        {"60 twips left is outside: steps backward", 1, thumb - 60, 400, false, 1, Qt::ArrowCursor},
        {"right button", 2, thumb, 400, false, 0, Qt::ArrowCursor},
        {"frame outside the bar", 1, 60, 400, false, 0, Qt::ArrowCursor},
        {"on the bar's top edge", 1, thumb, 360, false, 0, Qt::ArrowCursor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form->setCursor(Qt::ArrowCursor);
        form->state.barDragging = false;
        form->state.barEnabled = true;
        shown.clear();
        form->fraCmd_MouseDown(c.button, 0, c.x, c.y);
        EXPECT_EQ(form->state.barDragging, c.dragging);
        EXPECT_EQ(static_cast<int>(shown.size()), c.pictures);
        EXPECT_EQ(form->cursor().shape(), c.cursor);
        // Put the thumb back for the next case.
        if (c.pictures == 1) {
            if (c.x > thumb)
                form->cmdDown_Click();
            else
                form->cmdUp_Click();
        }
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
    const auto split = bytes.begin() + (two.pictures[1].headersStart - 1);
    bytes.insert(split, static_cast<std::size_t>(gap), 0);
    bytes.resize(static_cast<std::size_t>(2 * (second + gap - 2) + 1), 0xFF);
    WriteBytes(Path("r.m1v"), bytes);
    Start(Path("r.m1v"));
    form->onPictureShown = [this] { shown.push_back(form->state.picturePos); };

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
    EXPECT_EQ(shown, (std::vector<std::int64_t>{second + gap}));
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
