// Time zones, speed units, the timeline strip, events and going to a time, on a real window.
#include <QTest>

#include <cmath>

#include <gtest/gtest.h>

#include "Fixture.h"
#include "app/TimelineStrip.h"
#include "zone/DisplayZone.h"

namespace droskal {
namespace {

QDateTime Utc(const char* iso) {
    return QDateTime::fromString(iso, Qt::ISODate).toUTC();
}

// Warsaw's changes of time are met again in the window below.
TEST(DisplayZones, ConversionBothWaysAcrossDaylightSavingMidnightAndYearEnd) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"Europe/Warsaw", "2024-12-31T22:59:59Z", "2024-12-31T23:59:59+01:00"},
        {"Europe/Warsaw", "2024-12-31T23:00:00Z", "2025-01-01T00:00:00+01:00"},
        {"Australia/Sydney", "2024-04-06T15:59:59Z", "2024-04-07T02:59:59+11:00"},
        {"Australia/Sydney", "2024-04-06T16:00:00Z", "2024-04-07T02:00:00+10:00"},
        {"Australia/Sydney", "2024-10-05T15:59:59Z", "2024-10-06T01:59:59+10:00"},
        {"Australia/Sydney", "2024-10-05T16:00:00Z", "2024-10-06T03:00:00+11:00"},
        {"Australia/Sydney", "2024-12-31T13:00:00Z", "2025-01-01T00:00:00+11:00"},
        {"Asia/Kolkata", "2023-12-31T18:29:59Z", "2023-12-31T23:59:59+05:30"},
        {"UTC", "2024-12-31T23:59:59Z", "2024-12-31T23:59:59+00:00"},
    };
    for (const auto& [name, utc, shown] : cases) {
        const auto zone = DisplayZoneFromText(name);
        ASSERT_TRUE(zone) << name;
        EXPECT_EQ(shown, IsoWithOffset(InZone(Utc(utc).toSecsSinceEpoch(), *zone)).toStdString())
            << name << " " << utc;
    }
    EXPECT_FALSE(DisplayZoneFromText("Europe/Nowhere"));
    EXPECT_FALSE(DisplayZoneFromText(""));
    EXPECT_TRUE(DisplayZoneFromText("local"));
    // Back from the wall clock: a time in the spring gap does not exist, one of the autumn
    // hour's two is taken the first time.
    // Zone, wall-clock time and the UTC time it is (nullptr: it does not exist there).
    const std::tuple<const char*, const char*, const char*> walls[] = {
        {"Europe/Warsaw", "2024-10-27T02:30:00", "2024-10-27T00:30:00Z"},
        {"Europe/Warsaw", "2025-01-01T00:00:00", "2024-12-31T23:00:00Z"},
        {"Australia/Sydney", "2024-04-07T02:30:00", "2024-04-06T15:30:00Z"},
        {"Australia/Sydney", "2024-10-06T02:30:00", nullptr},
    };
    for (const auto& [zone, text, utc] : walls) {
        const QDateTime wall = QDateTime::fromString(text, Qt::ISODate);
        const auto back = UtcFromZone(wall.date(), wall.time(), *DisplayZoneFromText(zone));
        EXPECT_EQ(back, utc ? std::optional<double>(Utc(utc).toSecsSinceEpoch()) : std::nullopt)
            << text;
    }
}

// A drive of one picture a second from 2024-10-27 00:59:40 UTC, across the end of summer time
// in Warsaw: 50 km/h, a hard braking to 30 at second 10, a gentle stop standing from second 14
// to 27, then away gently. Picture 5 has lost its fix.
constexpr int kSeconds = 40;
double DriveKmh(int s) {
    if (s < 10) return 50;
    if (s < 14) return 30 - (s - 10) * 7.5;
    if (s < 28) return 0;
    return (s - 27) * 3.5;
}

class TimeTest : public RecordingTest {
  protected:
    void OpenDrive() {
        std::vector<std::string> sentences;
        for (int s = 0; s < kSeconds; ++s) {
            sentences.push_back(
                test::Sentence({.seconds = 59 * 60 + 40.0 + s,  // from 00:59:40
                                .knots = QString::number(DriveKmh(s) / 1.852, 'f', 3).toStdString(),
                                .status = s == 5 ? "V" : "A",
                                .date = "271024"}));
        }
        rec = WriteRecording(Path("drive.m1v"), RecordingOptions{kSeconds}, sentences);
        OpenFile(Path("drive.m1v"));
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->timeView.complete; }, 10000));
    }
    void Step(int count) {
        for (int i = 0; i < count; ++i) form->cmdUp_Click();
    }
    // The middle of second `s` of the trip on the strip, while it shows the whole trip.
    QPointF X(double s) const {
        const int w = form->timeline->width();
        return QPointF(std::lround(4 + (w - 8) * (s / (kSeconds - 1))), 30);
    }
};

TEST_F(TimeTest, CaptionsForEachZoneAndUnit) {
    // Zone, unit and picture, and the time, speed and greying shown for them.
    const std::tuple<const char*, const char*, int, const char*, const char*, bool> cases[] = {
        {"UTC", "km/h", 0, "27.10.2024  00:59:40", "50 km/h", false},
        {"UTC", "mph", 0, "27.10.2024  00:59:40", "31 mph", false},
        {"UTC", "kn", 0, "27.10.2024  00:59:40", "27 kn", false},
        {"Europe/Warsaw", "km/h", 0, "27.10.24 02:59:40+02", "50 km/h", false},
        {"Europe/Warsaw", "km/h", 25, "27.10.24 02:00:05+01", "0 km/h", false},
        {"Australia/Sydney", "km/h", 0, "27.10.24 11:59:40+11", "50 km/h", false},
        // Lost fix: the last valid time, greyed.
        {"UTC", "km/h", 5, "27.10.2024  00:59:44", "50 km/h", true},
        {"Europe/Warsaw", "km/h", 5, "27.10.24 02:59:44+02", "50 km/h", true},
    };
    for (const auto& [zone, unit, picture, time, speed, grey] : cases) {
        SCOPED_TRACE(std::string(zone) + " " + unit + " " + std::to_string(picture));
        desktop.settings["Droskal/Display/TimeZone"] = zone;
        desktop.settings["Droskal/Display/SpeedUnit"] = unit;
        OpenDrive();
        Step(picture + 1);  // the first step shows picture 0
        ASSERT_EQ(picture, Index());
        EXPECT_EQ(time, form->lblTime->text().toStdString());
        EXPECT_EQ(speed, form->lblSpeed->text().toStdString());
        EXPECT_EQ(grey, form->lblTime->palette().color(QPalette::WindowText) != QColor(0, 192, 0));
        EXPECT_TRUE(std::string(zone) == "UTC" || form->lblTime->toolTip().contains(zone))
            << form->lblTime->toolTip().toStdString();
    }
}

// T, Z and U are remembered; the strip switched off leaves the window pixel for pixel.
TEST_F(TimeTest, StripZoneAndUnitChosenInTheWindow) {
    OpenDrive();
    QApplication::processEvents();
    const QRect frame = form->geometry();
    const QImage before = form->grab().toImage();
    Key(Qt::Key_T);
    EXPECT_EQ("1", desktop.settings["Droskal/Display/Timeline"]);
    EXPECT_EQ(frame.height() + 64, form->height());
    EXPECT_EQ(frame.bottom(), form->geometry().bottom());
    EXPECT_TRUE(form->timeline->isVisible());
    EXPECT_EQ(form->fraCmd->geometry().bottom() + 3, form->timeline->y());
    Key(Qt::Key_T);
    EXPECT_EQ("0", desktop.settings["Droskal/Display/Timeline"]);
    QApplication::processEvents();
    EXPECT_EQ(frame, form->geometry());
    EXPECT_TRUE(before == form->grab().toImage());

    Step(1);
    desktop.inputAnswers = {"Mars/Olympus", "Europe/Warsaw"};
    Key(Qt::Key_Z);
    ASSERT_EQ(1u, desktop.messages.size());
    EXPECT_TRUE(desktop.messages[0].text.contains("Mars/Olympus"));
    Key(Qt::Key_Z);
    EXPECT_EQ("27.10.24 02:59:40+02", form->lblTime->text().toStdString());
    EXPECT_EQ("Europe/Warsaw", desktop.settings["Droskal/Display/TimeZone"]);
    Key(Qt::Key_U);
    EXPECT_EQ("31 mph", form->lblSpeed->text().toStdString());
    EXPECT_EQ("mph", desktop.settings["Droskal/Display/SpeedUnit"]);
}

TEST_F(TimeTest, StripClickDragWheelAndEvents) {
    desktop.settings["Droskal/Display/Timeline"] = "1";
    OpenDrive();
    TimelineStrip* strip = form->timeline;
    ASSERT_TRUE(strip && strip->isVisible());
    // Braking at second 9 to 10, the stop from 14 to 27.
    ASSERT_EQ(2u, form->timeView.events.size());
    EXPECT_TRUE(strip->toolTip().contains("Gwałtowne hamowanie")) << strip->toolTip().toStdString();
    EXPECT_TRUE(strip->toolTip().contains("Postój"));

    Mouse(strip, X(20), {QEvent::MouseButtonPress});
    EXPECT_EQ(20, Index());
    Mouse(strip, X(33), {QEvent::MouseMove, QEvent::MouseButtonRelease});
    EXPECT_EQ(33, Index());
    Mouse(strip, X(3), {QEvent::MouseMove}, Qt::NoButton);  // no longer dragging
    EXPECT_EQ(33, Index());

    // P and N go to the event before and after; past the last, a beep.
    for (const auto& [key, picture] :
         {std::pair{Qt::Key_P, 14}, {Qt::Key_P, 9}, {Qt::Key_N, 14}, {Qt::Key_N, 14}}) {
        Key(key);
        EXPECT_EQ(picture, Index());
    }
    EXPECT_EQ(1, desktop.beeps);

    const auto wheel = [&](int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        Wheel(strip, X(30), 120 * notches, modifiers);
    };
    const double pivot = strip->TimeAt(X(30).x());
    wheel(1);
    EXPECT_NEAR(39 * 0.8, strip->ViewEnd() - strip->ViewStart(), 1e-6);
    EXPECT_NEAR(pivot, strip->TimeAt(X(30).x()), 1e-6);
    wheel(20);
    EXPECT_NEAR(10, strip->ViewEnd() - strip->ViewStart(), 1e-6);
    EXPECT_NEAR(pivot, strip->TimeAt(X(30).x()), 1e-6);
    const double start = strip->ViewStart();
    wheel(-1, Qt::ShiftModifier);
    EXPECT_NEAR(start + 1, strip->ViewStart(), 1e-6);
    wheel(-50, Qt::ShiftModifier);
    EXPECT_NEAR(strip->ViewStart() + 10, strip->ViewEnd(), 1e-6);
    EXPECT_NEAR(form->timeView.samples.back().utcSeconds, strip->ViewEnd(), 1e-6);
    wheel(-30);
    EXPECT_NEAR(39, strip->ViewEnd() - strip->ViewStart(), 1e-6);
}

TEST_F(TimeTest, GoToTimeInsideAtTheEdgesAndOutside) {
    desktop.settings["Droskal/Display/TimeZone"] = "Europe/Warsaw";
    OpenDrive();
    // The answer typed, the picture shown then (-1: the one before) and part of the message.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"27.10.2024 02:59:50", 10, nullptr},
        {"27.10.2024 02:00:19", 39, nullptr},  // the last second, after the change to winter time
        {"27.10.2024 02:59:40", 0, nullptr},   // the first second
        {"27.10.2024 02:59:39", -1, "nie obejmuje"},
        {"27.10.2024 02:00:20", -1, "nie obejmuje"},
        {"27.10.2024 03:00:00", -1, "nie obejmuje"},
        {"31.03.2024 02:30:00", -1, "nie istnieje"},
        {"jutro", -1, "Nieprawidłowa"},
    };
    for (const auto& [answer, picture, message] : cases) {
        SCOPED_TRACE(answer);
        Step(1);
        const int before = Index();
        desktop.messages.clear();
        desktop.inputAnswers = {answer};
        Key(Qt::Key_G, Qt::ControlModifier);
        EXPECT_EQ(picture < 0 ? before : picture, Index());
        ASSERT_EQ(desktop.messages.size(), message ? 1u : 0u);
        EXPECT_TRUE(!message || desktop.messages[0].text.contains(QString::fromUtf8(message)));
    }
}

}  // namespace
}  // namespace droskal
