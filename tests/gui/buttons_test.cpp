// Button state sets, the position counter figures and the settings store.
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "app/Form1.h"
#include "app/PositionCounter.h"
#include "app/QtDesktop.h"

namespace droskal {
namespace {

// Picture keys of the eleven navigation buttons, in the order of this list.
QStringList Pictures(Form1& f) {
    QStringList keys;
    for (PictureButton* b : {f.cmdDownE, f.cmdDownFFF, f.cmdDownFF, f.cmdDownF, f.cmdDown,
                             f.cmdStop, f.cmdUp, f.cmdUpF, f.cmdUpFF, f.cmdUpFFF, f.cmdUpE}) {
        keys << b->pictureKey();
    }
    return keys;
}

TEST(ButtonStateSets, EachOperationSetsItsButtonsAndTheBar) {
    struct Case {
        const char* name;
        void (Form1::*operation)();
        bool barBefore;
        QStringList keys;
        bool barAfter;
    };
    // Starting from all pictures at "A" (never set by these operations) shows exactly which
    // buttons an operation leaves alone.
    const QStringList untouched = {"DownEA", "DownFFFA", "DownFFA", "DownFA", "DownA", "Stop",
                                   "UpA",    "UpFA",     "UpFFA",   "UpFFFA", "UpEA"};
    const Case cases[] = {
        {"UnActiveCmd", &Form1::UnActiveCmd, true,
         {"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU", "UpU", "UpFU", "UpFFU",
          "UpFFFU", "UpEU"},
         false},
        {"ActiveCmd", &Form1::ActiveCmd, false,
         {"DownE", "DownFFF", "DownFF", "DownF", "Down", "Stop", "Up", "UpF", "UpFF", "UpFFF",
          "UpE"},
         true},
        {"ActiveUpCmd", &Form1::ActiveUpCmd, false,
         {"DownEA", "DownFFFA", "DownFFA", "DownFA", "DownA", "Stop", "Up", "UpF", "UpFF",
          "UpFFF", "UpE"},
         true},
        {"UnActiveUpCmd", &Form1::UnActiveUpCmd, true,
         {"DownEA", "DownFFFA", "DownFFA", "DownFA", "DownA", "StopU", "UpU", "UpFU", "UpFFU",
          "UpFFFU", "UpEU"},
         true},
        {"UnActiveUpCmd keeps a stopped bar", &Form1::UnActiveUpCmd, false,
         {"DownEA", "DownFFFA", "DownFFA", "DownFA", "DownA", "StopU", "UpU", "UpFU", "UpFFU",
          "UpFFFU", "UpEU"},
         false},
        {"ActiveDownCmd", &Form1::ActiveDownCmd, false,
         {"DownE", "DownFFF", "DownFF", "DownF", "Down", "Stop", "UpA", "UpFA", "UpFFA", "UpFFFA",
          "UpEA"},
         true},
        {"UnActiveDownCmd", &Form1::UnActiveDownCmd, false,
         {"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU", "UpA", "UpFA", "UpFFA",
          "UpFFFA", "UpEA"},
         false},
    };
    FakeDesktop desktop;
    Form1 form(desktop, StartupInfo{});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QList<PictureButton*> buttons = {
            form.cmdDownE, form.cmdDownFFF, form.cmdDownFF, form.cmdDownF, form.cmdDown, form.cmdStop,
            form.cmdUp,    form.cmdUpF,     form.cmdUpFF,   form.cmdUpFFF, form.cmdUpE};
        for (int i = 0; i < buttons.size(); ++i) form.SetButtonPicture(buttons[i], untouched[i]);
        form.state.barEnabled = c.barBefore;
        (form.*c.operation)();
        EXPECT_EQ(Pictures(form), c.keys);
        EXPECT_EQ(form.state.barEnabled, c.barAfter);
        // Pictures only: every button still takes clicks.
        for (PictureButton* b : buttons) EXPECT_TRUE(b->isEnabled());
    }
}

TEST(ButtonStateSets, PictureComesFromTheImageList) {
    FakeDesktop desktop;
    Form1 form(desktop, StartupInfo{});
    form.UnActiveCmd();
    const QImage shown = form.cmdUp->icon().pixmap(16, 16).toImage();
    EXPECT_EQ(shown, form.imglPic.byKey("UpU").toImage());
}

TEST(PositionCounter, FiguresFollowTheReadPosition) {
    struct Case {
        std::int64_t pos, length;
        float width;
        const char* caption;
    };
    const Case cases[] = {
        {500, 1000, 4687.5f, "49%"},        // 50,000 / 1,000.5
        {1000, 1000, 9375.0f, "99%"},       // the 0.5 keeps a small file below 100%
        {0, 1000, 0.0f, "0%"},
        {10000000, 10000000, 9375.0f, "100%"},  // the 0.5 is lost in the float: 100%
        {5000000000LL, 10000000000LL, 4687.5f, "50%"},  // beyond 32 bits
        {7, 1000, 65.625f, "0%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pos);
        const CounterFigures f = CounterAt(c.pos, c.length, 9375.0f);
        EXPECT_FLOAT_EQ(f.playWidth, c.width);
        EXPECT_EQ(f.caption, c.caption);
    }
    EXPECT_FLOAT_EQ(CounterLabelLeft(120, 4687.5f, 375), 4620.0f);
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
}

TEST(SettingsStore, PipeFilterBecomesQtFilter) {
    EXPECT_EQ(QtFilterFromPipeFilter("*.M1V (MPEG-1)|*.M1V"), "*.M1V (MPEG-1) (*.M1V)");
    EXPECT_EQ(QtFilterFromPipeFilter("*.bmp|*.bmp"), "*.bmp (*.bmp)");
}

}  // namespace
}  // namespace droskal
