// What a user meets in everyday use: opening one file after another, map view across
// opens, marks, the keyboard and the mouse on a real window.
#include <QFontMetrics>
#include <QTest>

#include <gtest/gtest.h>

#include "Fixture.h"

namespace droskal {
namespace {

class EverydayTest : public RecordingTest {
  protected:
    // Opens `path` through the open-file button, or reopens the current file (a cancel).
    void OpenThroughButton(const QString& path = QString()) {
        if (!path.isEmpty()) desktop.dialogAnswers.push_back(path);
        form->cmdFile_Click();
    }
};

// A press between a stop request and the loop's exit starts nothing inside the loop; it is
// carried out once the loop has left.
TEST_F(EverydayTest, PressesWhileStoppingWaitForTheLoopToLeave) {
    const std::tuple<const char*, std::function<void(Form1&)>, std::size_t, std::size_t> cases[] = {
        {"play again", [](Form1& f) { f.cmdUpF_Click(); }, 5, 0},
        {"open", [](Form1& f) { f.cmdFile_Click(); }, 1, 1},
        {"snapshot", [](Form1& f) { f.cmdBmp_Click(); }, 1, 1},
        {"save fragment", [](Form1& f) { f.cmdSaveCut_Click(); }, 1, 1},
    };
    for (const auto& [name, press, inAll, dialogs] : cases) {
        SCOPED_TRACE(name);
        Open({6});
        for (auto step : {&Form1::cmdUp_Click, &Form1::cmdCut_Click, &Form1::cmdUp_Click,
                          &Form1::cmdCut_Click, &Form1::cmdDownE_Click})
            (form.get()->*step)();
        desktop.clockStep = 0;
        desktop.dialogs.clear();
        bool pressing = false, nested = false;
        std::size_t dialogsInLoop = 0, pictures = 0;
        form->onPictureShown = [&] {
            nested = nested || pressing;
            if (++pictures != 1) return;
            form->cmdStop_Click();
            pressing = true;
            press(*form);
            pressing = false;
            dialogsInLoop = desktop.dialogs.size();
        };
        form->cmdUpF_Click();
        EXPECT_FALSE(nested);
        EXPECT_EQ(dialogsInLoop, 0u);
        EXPECT_EQ(pictures, inAll);
        EXPECT_EQ(desktop.dialogs.size(), dialogs);
        EXPECT_FALSE(form->PlaybackLoopRunning());
    }
}

// Keyboard and mouse: Enter clicks the focused button as Space does, a double-click on the
// bar steps once per click, and the first focus is on the picture, where Space does nothing.
TEST_F(EverydayTest, KeysAndClicksPressOnceEach) {
    Open({8});
    form->show();
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(form->focusWidget(), form->Pic1);

    // Enter clicks the focused button; Space belongs to the window's keys (play and stop).
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(form->cmdUp, key);
    EXPECT_EQ(shown.size(), 2u);

    const float thumb = form->shPlay->Left() + form->shPlay->Width();
    const QPoint besideThumb(static_cast<int>((thumb + 600) / 15), 400 / 15);
    Mouse(form->fraCmd, besideThumb,
          {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
           QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease});
    EXPECT_EQ(shown.size(), 4u);

    // A stray Space from the first focus sets no mark.
    form->Pic1->setFocus();
    QTest::keyClick(form->focusWidget(), Qt::Key_Space);
    EXPECT_EQ(form->cmdCut->pictureKey(), "1");
}

// "100%" fits the counter's caption with the stand-in font, where the label stands.
TEST_F(EverydayTest, FullCounterCaptionFits) {
    Open({2});
    form->cmdUpE_Click();
    form->lblPlay->setText("100%");
    form->SetPlayCounter(false);
    const float left = form->lblPlay->Left();
    form->lblPlay->setText("100%");
    EXPECT_LE(form->lblPlay->fontMetrics().horizontalAdvance("100%"),
              form->lblPlay->contentsRect().width());
    EXPECT_FLOAT_EQ(form->lblPlay->Left(), left);
}

// Until a picture of the open file has been shown there is no place in it to mark. After a
// longer file's end, a step back in a shorter file shows its last picture.
TEST_F(EverydayTest, MarksAndStepsAfterOpeningAnotherFile) {
    Open({12});
    const auto unmarkedWithABeep = [this] {
        desktop.beeps = 0;
        form->cmdCut_Click();
        EXPECT_EQ(desktop.beeps, 1);
        EXPECT_EQ(form->state.cutStart, -1);
        EXPECT_EQ(form->cmdCut->pictureKey(), "1");
        EXPECT_FALSE(form->linCut1->isVisibleTo(form.get()));
    };
    unmarkedWithABeep();
    form->cmdUpE_Click();
    const TestRecording shorter = WriteRecording(Path("short.m1v"), RecordingOptions{3});
    OpenThroughButton(shorter.path);
    unmarkedWithABeep();
    form->cmdDown_Click();
    EXPECT_EQ(form->state.picturePos, shorter.pictures.back().picturePos);
    EXPECT_EQ(form->cmdDown->pictureKey(), "Down");
    form->cmdCut_Click();
    EXPECT_EQ(form->cmdCut->pictureKey(), "2");
}

// Opening a file, or cancelling the dialog, leaves map view: the file's own layout, its
// pictures, and a check box that comes back with its sentences. The design's captions never
// show, and a first sentence cut short before its fields shows empty captions instead.
TEST_F(EverydayTest, OpeningLeavesMapViewAndShowsNoPlaceholderCaptions) {
    const QString cut =
        WriteRecording(Path("cut.m1v"), RecordingOptions{2}, {"$GPRMC,2234", ""}).path;
    for (const QString& next : {QString(), cut}) {
        SCOPED_TRACE(next.toStdString());
        Open({2});
        form->cmdUp_Click();
        ShowMap(true);
        OpenThroughButton(next);
        EXPECT_FALSE(form->chkGps->isChecked());
        EXPECT_FALSE(form->shPoint->isVisibleTo(form->Pic1));
        EXPECT_TRUE(form->Pic1->isVisibleTo(form.get()));
        EXPECT_EQ(form->Pic1->height(), 242);
        EXPECT_EQ(form->lblSpeed->text() + form->lblTime->text(), "");
        const QImage cleared = form->Pic1->image();
        form->cmdUp_Click();
        EXPECT_NE(form->Pic1->image(), cleared);  // a decoded picture, not a map
        EXPECT_TRUE(form->lblSpeed->isVisibleTo(form.get()));
        EXPECT_EQ(form->lblTime->text().isEmpty(), !next.isEmpty());
    }
}

}  // namespace
}  // namespace droskal
