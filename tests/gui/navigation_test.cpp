// Stepping, end jumps, playback and the position bar on a real window.
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "Recordings.h"
#include "app/Form1.h"

namespace droskal {
namespace {

const QStringList kForwardEnd = {"DownE", "DownFFF", "DownFF", "DownF", "Down", "StopU",
                                 "UpU",   "UpFU",    "UpFFU",  "UpFFFU", "UpEU"};
const QStringList kBackwardEnd = {"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU",
                                  "Up",     "UpF",      "UpFF",    "UpFFF",  "UpE"};
const QStringList kAllNormalStopU = {"DownE", "DownFFF", "DownFF", "DownF", "Down", "StopU",
                                     "Up",    "UpF",     "UpFF",   "UpFFF", "UpE"};

class NavigationTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeDesktop desktop;
    std::unique_ptr<Form1> form;
    TestRecording rec;
    std::vector<std::int64_t> shown;  // picturePos of every picture shown

    void Open(const RecordingOptions& options = {}) {
        desktop.clockStep = 1;  // speed 1 waits at most one round unless a test says otherwise
        rec = WriteRecording(dir.path() + "/r.m1v", options);
        form = std::make_unique<Form1>(desktop, StartupInfo{rec.path, dir.path(), "Droskal"});
        form->Form_Load();
        form->onPictureShown = [this] { shown.push_back(form->state.picturePos); };
    }
    std::vector<std::int64_t> Positions(std::initializer_list<int> indexes) const {
        std::vector<std::int64_t> out;
        for (int i : indexes) out.push_back(rec.pictures[static_cast<std::size_t>(i)].picturePos);
        return out;
    }
    QStringList Pictures() const {
        QStringList keys;
        for (PictureButton* b : {form->cmdDownE, form->cmdDownFFF, form->cmdDownFF, form->cmdDownF,
                                 form->cmdDown, form->cmdStop, form->cmdUp, form->cmdUpF,
                                 form->cmdUpFF, form->cmdUpFFF, form->cmdUpE}) {
            keys << b->pictureKey();
        }
        return keys;
    }
    // Runs `action` from inside the next playback loop's event processing.
    void During(std::function<void()> action) { QTimer::singleShot(0, form.get(), action); }
};

TEST_F(NavigationTest, SteppingVisitsEveryPictureBothWays) {
    Open(RecordingOptions{4});
    for (int i = 0; i < 5; ++i) form->cmdUp_Click();
    EXPECT_EQ(shown, Positions({0, 1, 2, 3}));
    EXPECT_EQ(Pictures(), kForwardEnd);
    shown.clear();
    for (int i = 0; i < 4; ++i) form->cmdDown_Click();
    EXPECT_EQ(shown, Positions({2, 1, 0}));
    EXPECT_EQ(Pictures(), kBackwardEnd);
}

TEST_F(NavigationTest, BackwardRightAfterOpeningReadsNothing) {
    Open();
    form->cmdDown_Click();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(form->streamFile.readPosition(), 7);
    EXPECT_EQ(Pictures(), kBackwardEnd);
}

TEST_F(NavigationTest, EndJumps) {
    Open(RecordingOptions{5});
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
    form = std::make_unique<Form1>(desktop, StartupInfo{"", dir.path(), "Droskal"});
    form->Form_Load();
    form->onPictureShown = [this] { shown.push_back(0); };
    const QStringList before = Pictures();
    for (auto handler : {&Form1::cmdUp_Click, &Form1::cmdDown_Click, &Form1::cmdUpE_Click,
                         &Form1::cmdDownE_Click, &Form1::cmdUpF_Click, &Form1::cmdDownFF_Click,
                         &Form1::cmdUpFFF_Click}) {
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
        {"speed 1 forward", &Form1::cmdUpF_Click, false, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         kForwardEnd},
        {"speed 1 backward", &Form1::cmdDownF_Click, true, 0, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0},
         kBackwardEnd},
        {"speed 2 forward", &Form1::cmdUpFF_Click, false, 0, {4, 9}, kForwardEnd},
        {"speed 2 backward", &Form1::cmdDownFF_Click, true, 0, {6, 1}, kBackwardEnd},
        // About 153,400 bytes from picture to picture: each jump of 200,000 passes one.
        {"speed 3 forward", &Form1::cmdUpFFF_Click, false, 150000, {2, 4, 6, 8, 10},
         kForwardEnd},
        {"speed 3 backward", &Form1::cmdDownFFF_Click, true, 150000, {9, 7, 5, 3, 1, 0},
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
        for (int i : c.pictures) expected.push_back(rec.pictures[static_cast<std::size_t>(i)].picturePos);
        EXPECT_EQ(shown, expected);
        EXPECT_FALSE(form->state.playing);
        EXPECT_EQ(Pictures(), c.endPictures);
    }
}

TEST_F(NavigationTest, SpeedOneWaitsForTheDelayWithEventsBetweenPictures) {
    Open(RecordingOptions{3});
    desktop.clockStep = 0.01;  // every look at the clock takes 10 ms
    form->state.playDelay = 0.1f;
    int rounds = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++rounds; });
    ticker.start(0);
    form->cmdUpF_Click();
    EXPECT_EQ(shown.size(), 3u);
    // Each picture waits about ten clock reads; a negative delay still gives one round each.
    EXPECT_GE(rounds, 20);
    rounds = 0;
    Open(RecordingOptions{3});
    desktop.clockStep = 0;
    form->state.playDelay = -1;
    shown.clear();
    form->cmdUpF_Click();
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_GE(rounds, 3);
}

TEST_F(NavigationTest, StopButtonEndsPlaybackAfterOneMorePicture) {
    Open(RecordingOptions{10});
    form->onPictureShown = [this] {
        shown.push_back(form->state.picturePos);
        if (shown.size() == 2) During([this] { form->cmdStop_Click(); });
    };
    form->cmdUpFF_Click();
    EXPECT_EQ(shown, Positions({4, 9}));  // the running group of five seeks completes
    // Stopped, not ended: everything normal but the stop button.
    shown.clear();
    Open(RecordingOptions{10});
    form->onPictureShown = [this] {
        shown.push_back(form->state.picturePos);
        if (shown.size() == 2) During([this] { form->cmdStop_Click(); });
    };
    form->cmdUpF_Click();
    EXPECT_EQ(shown, Positions({0, 1, 2}));
    EXPECT_EQ(Pictures(), kAllNormalStopU);
    EXPECT_TRUE(form->state.barEnabled);
}

TEST_F(NavigationTest, PlayButtonsDuringPlaybackStopAndStartNothing) {
    Open(RecordingOptions{10});
    bool pressed = false;
    QStringList duringPlayback;
    form->onPictureShown = [&] {
        shown.push_back(form->state.picturePos);
        if (duringPlayback.isEmpty()) duringPlayback = Pictures();
        if (!pressed) {
            pressed = true;
            During([this] { form->cmdDownFF_Click(); });
        }
    };
    form->cmdUpF_Click();
    EXPECT_EQ(duringPlayback, QStringList({"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU",
                                           "Stop", "UpU", "UpFA", "UpFFU", "UpFFFU", "UpEU"}));
    EXPECT_EQ(shown, Positions({0, 1}));
    EXPECT_FALSE(form->state.playing);
    EXPECT_EQ(Pictures(), kAllNormalStopU);
    // The second press starts the new playback: from picture 2 there are not five pictures
    // back, so it runs into the beginning at once.
    shown.clear();
    form->onPictureShown = [this] { shown.push_back(form->state.picturePos); };
    form->cmdDownFF_Click();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(form->state.picturePos, rec.pictures[0].picturePos);
    EXPECT_EQ(Pictures(), kBackwardEnd);
}

TEST_F(NavigationTest, CloseDuringPlaybackWaitsForTheLoop) {
    Open(RecordingOptions{10});
    form->show();
    form->onPictureShown = [this] {
        shown.push_back(form->state.picturePos);
        if (shown.size() == 1) During([this] { form->close(); });
    };
    form->cmdUpF_Click();
    EXPECT_EQ(shown.size(), 2u);  // one more picture after the refused close
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(desktop.settingWrites, 2);
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/MpegFile"), rec.path);
    // Also when the loop reaches the end instead.
    Open(RecordingOptions{1});
    form->show();
    desktop.settingWrites = 0;
    form->onPictureShown = [this] { During([this] { form->close(); }); };
    form->cmdUpF_Click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(desktop.settingWrites, 2);
}

TEST_F(NavigationTest, StepBackDuringForwardPlaybackGoesOnFromThere) {
    Open(RecordingOptions{6});
    form->onPictureShown = [this] {
        shown.push_back(form->state.picturePos);
        if (shown.size() == 3) During([this] { form->cmdDown_Click(); });
    };
    form->cmdUpF_Click();
    EXPECT_EQ(shown, Positions({0, 1, 2, 1, 2, 3, 4, 5}));
    EXPECT_EQ(Pictures(), kForwardEnd);
}

TEST_F(NavigationTest, UpAndFileClicksAreIgnoredWhilePlaying) {
    Open(RecordingOptions{4});
    form->onPictureShown = [this] {
        shown.push_back(form->state.picturePos);
        if (shown.size() == 1) {
            During([this] {
                form->cmdUp_Click();
                form->cmdFile_Click();
            });
        }
    };
    form->cmdUpF_Click();
    EXPECT_EQ(shown, Positions({0, 1, 2, 3}));
    EXPECT_TRUE(desktop.dialogs.empty());
}

// Bar geometry in fraCmd twips: shFile 120..9495 across, 360..615 down; the thumb is at
// shPlay's right end.
TEST_F(NavigationTest, ThumbZoneAndClicksBesideIt) {
    Open(RecordingOptions{4});
    form->cmdUp_Click();
    form->cmdUp_Click();
    const float thumb = form->shPlay->Left() + form->shPlay->Width();
    struct Case {
        const char* name;
        int button;
        float x, y;
        bool dragging;
        int pictures;  // pictures shown by the press
        Qt::CursorShape cursor;
    };
    const Case cases[] = {
        {"in the zone", 1, thumb + 59.5f, 400, true, 0, Qt::SizeHorCursor},
        {"60 twips right is outside: steps forward", 1, thumb + 60, 400, false, 1,
         Qt::ArrowCursor},
        {"60 twips left is outside: steps backward", 1, thumb - 60, 400, false, 1,
         Qt::ArrowCursor},
        {"right button", 2, thumb, 400, false, 0, Qt::ArrowCursor},
        {"frame outside the bar", 1, 60, 400, false, 0, Qt::ArrowCursor},
        {"on the bar's top edge", 1, thumb, 360, false, 0, Qt::ArrowCursor},
    };
    for (const Case& c : cases) {
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
            if (c.x > thumb) form->cmdDown_Click(); else form->cmdUp_Click();
        }
    }
}

TEST_F(NavigationTest, DragFreezesOutsideTheBarAndReleaseSeeks) {
    RecordingOptions options{8};
    options.junkAfter = 5000;
    Open(options);
    form->state.barEnabled = true;
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
    // p = 0.5 x length, rounded half to even; the search begins at p + 1.
    const std::int64_t p = (form->state.fileLength + (form->state.fileLength % 4 == 2 ? 0 : 1)) / 2;
    std::int64_t expected = 0;
    for (const PicturePositions& pic : rec.pictures) {
        if (pic.picturePos - 3 > p) {
            expected = pic.picturePos;
            break;
        }
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], expected);
    // The display follows the picture found.
    const PicturePositions* found = nullptr;
    for (const PicturePositions& pic : rec.pictures) {
        if (pic.picturePos == expected) found = &pic;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_FLOAT_EQ(form->shPlay->Width(),
                    static_cast<float>(static_cast<double>(found->slicePos) /
                                       static_cast<double>(form->state.fileLength) * 9375.0));

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
