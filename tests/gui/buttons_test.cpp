// Button state sets, the position counter figures and the settings store.
#include <QSettings>

#include <gtest/gtest.h>

#include "Recordings.h"
#include "app/PositionCounter.h"
#include "app/QtDesktop.h"

namespace droskal {
namespace {

TEST_F(WindowTest, EachStateSetSetsItsButtonsAndTheBar) {
    // Starting from all pictures at "A" (never set by these operations) shows exactly which
    // buttons an operation leaves alone.
    const QStringList untouched = {"DownEA", "DownFFFA", "DownFFA", "DownFA", "DownA", "Stop",
                                   "UpA",    "UpFA",     "UpFFA",   "UpFFFA", "UpEA"};
    const QStringList upUnavailable = untouched.mid(0, 5) + kForwardEnd.mid(5);
    const struct {
        const char* name;
        void (Form1::*operation)();
        bool barBefore;
        QStringList keys;
        bool barAfter;
    } cases[] = {
        {"UnActiveCmd", &Form1::UnActiveCmd, true, kAllUnavailable, false},
        {"ActiveCmd", &Form1::ActiveCmd, false, kStopped.mid(0, 5) + QStringList{"Stop"} + kStopped.mid(6), true},
        {"ActiveUpCmd", &Form1::ActiveUpCmd, false, untouched.mid(0, 6) + kForwardOnly.mid(6), true},
        {"UnActiveUpCmd", &Form1::UnActiveUpCmd, true, upUnavailable, true},
        {"UnActiveUpCmd keeps a stopped bar", &Form1::UnActiveUpCmd, false, upUnavailable, false},
        {"ActiveDownCmd", &Form1::ActiveDownCmd, false, kStopped.mid(0, 5) + QStringList{"Stop"} + untouched.mid(6), true},
        {"UnActiveDownCmd", &Form1::UnActiveDownCmd, false, kAllUnavailable.mid(0, 6) + untouched.mid(6), false},
    };
    Start();
    const QList<PictureButton*> buttons = {form->cmdDownE, form->cmdDownFFF, form->cmdDownFF, form->cmdDownF,
                                           form->cmdDown,  form->cmdStop,    form->cmdUp,     form->cmdUpF,
                                           form->cmdUpFF,  form->cmdUpFFF,   form->cmdUpE};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < buttons.size(); ++i) form->SetButtonPicture(buttons[i], untouched[i]);
        form->state.barEnabled = c.barBefore;
        (form.get()->*c.operation)();
        EXPECT_EQ(Pictures(), c.keys);
        EXPECT_EQ(form->state.barEnabled, c.barAfter);
        // Pictures only: every button still takes clicks.
        for (PictureButton* b : buttons) EXPECT_TRUE(b->isEnabled());
    }
    // The shown picture comes from the image list.
    form->UnActiveCmd();
    EXPECT_EQ(form->cmdUp->icon().pixmap(16, 16).toImage(), form->imglPic.byKey("UpU").toImage());
}

TEST(PositionCounter, FiguresFollowTheReadPosition) {
    const struct {
        std::int64_t pos, length;
        float width;
        const char* caption;
    } cases[] = {
        {500, 1000, 4687.5f, "49%"},                    // 50,000 / 1,000.5
        {1000, 1000, 9375.0f, "99%"},                   // the 0.5 keeps a small file below 100%
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

TEST(SettingsStore, RoundTripInAnIsolatedConfigFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    QtDesktop desktop;
    EXPECT_EQ(desktop.GetSetting("DroskalTest", "Setup", "MpegFile", "none"), "none");
    desktop.SaveSetting("DroskalTest", "Setup", "MpegFile", "/data/jazda ż.m1v");
    desktop.SaveSetting("DroskalTest", "Setup", "BmpFile", "/tmp/a.bmp");
    QtDesktop second;  // a new run reads what the last one stored
    EXPECT_EQ(second.GetSetting("DroskalTest", "Setup", "MpegFile", ""), "/data/jazda ż.m1v");
    EXPECT_EQ(second.GetSetting("DroskalTest", "Setup", "BmpFile", ""), "/tmp/a.bmp");
    EXPECT_EQ(second.GetSetting("OtherApp", "Setup", "MpegFile", ""), "");
    EXPECT_TRUE(QFile::exists(dir.path() + "/Droskal/DroskalTest.ini"));
    EXPECT_EQ(QtFilterFromPipeFilter("*.M1V (MPEG-1)|*.M1V"), "*.M1V (MPEG-1) (*.M1V)");
}

}  // namespace
}  // namespace droskal
