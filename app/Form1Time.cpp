// The time caption in the chosen zone, the speed caption in the chosen unit, and the keys
// that choose them.
#include <QKeySequence>

#include "app/Form1.h"
#include "app/RouteView.h"
#include "app/TimelineStrip.h"
#include "gps/RmcFields.h"

namespace droskal {

namespace {

constexpr double kSecondsFrom1970To2000 = 946684800.0;
const char* const kDisplay = "Display";
const QColor kCaptionGreen(0, 192, 0);
const QColor kCaptionStale(112, 112, 112);

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    if (palette.color(QPalette::WindowText) == colour) return;
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

}  // namespace

void Form1::LoadTimeSettings() {
    const auto setting = [&](const char* key, const char* fallback) {
        return desktop_.GetSetting(startup_.appName, kDisplay, key, fallback);
    };
    timeView.zone = DisplayZoneFromText(setting("TimeZone", "UTC")).value_or(DisplayZone{});
    timeView.unit =
        ParseSpeedUnit(setting("SpeedUnit", "km/h").toStdString()).value_or(SpeedUnit::Kmh);
    bool ok = false;
    const double braking = setting("HardBrakingKmh", "12").toDouble(&ok);
    if (ok && braking > 0) timeView.eventSettings.brakingKmh = braking;
    const double acceleration = setting("HardAccelerationKmh", "12").toDouble(&ok);
    if (ok && acceleration > 0) timeView.eventSettings.accelerationKmh = acceleration;
    const double limit = setting("SpeedLimitKmh", "").toDouble(&ok);
    timeView.eventSettings.speedLimitKmh =
        ok && limit > 0 ? std::optional<double>(limit) : std::nullopt;
    if (setting("Timeline", "0") == "1" && !timeView.timelineOn) ToggleTimeline();
}

void Form1::ApplyTimeCaption() {
    RmcSentence rmc;
    if (ParseRmcFields(state.nmeaText, rmc) == RmcResult::NotRmc) return;
    const bool valid = rmc.status == 'A';
    const bool timed = rmc.hasDate && rmc.hasTime;
    const double utc = rmc.secondsSince2000() + kSecondsFrom1970To2000;
    if (valid && timed) {
        timeView.haveLastValid = true;
        timeView.lastValidUtc = utc;
    }
    // Without a fix the recorder's clock is not to be trusted: the last valid time stands in,
    // greyed, and says so.
    const bool stale = !valid && timeView.haveLastValid;
    const double shown = stale ? timeView.lastValidUtc : utc;
    QString tip;
    if (stale || (timed && !timeView.zone.isUtc())) {
        const QDateTime time = InZone(shown, timeView.zone);
        lblTime->setText(timeView.zone.isUtc() ? time.toString("dd.MM.yyyy  HH:mm:ss")
                                               : ZonedCaption(time));
        tip = "Czas: " + ZoneDescription(time, timeView.zone);
    } else if (timed) {
        tip = "Czas: UTC (zapisany przez odbiornik GPS)";
    }
    if (!valid) {
        tip = (stale ? "Brak ważnej pozycji GPS: ostatni ważny czas.\n"
                     : "Brak ważnej pozycji GPS: czas niepewny.\n") +
              tip;
    }
    lblTime->setToolTip(tip);
    SetTextColour(lblTime, valid ? kCaptionGreen : kCaptionStale);
    if (timeView.unit != SpeedUnit::Kmh && rmc.hasSpeed) {
        lblSpeed->setText(QString::fromStdString(SpeedText(rmc.speedKnots, timeView.unit)));
    }
    if (timeline && timeline->isVisible()) timeline->update();
}

void Form1::ChooseTimeZone() {
    QString text = timeView.zone.settingText();
    if (!desktop_.InputText("Strefa czasu wyświetlanego: UTC, local (czas komputera)\n"
                            "lub nazwa strefy IANA, np. Europe/Warsaw:",
                            text)) {
        return;
    }
    const auto zone = DisplayZoneFromText(text);
    if (!zone) {
        desktop_.MessageBox("Nieznana strefa czasu: " + text.trimmed(), Desktop::Icon::Exclamation,
                            Desktop::Buttons::Ok);
        return;
    }
    timeView.zone = *zone;
    desktop_.SaveSetting(startup_.appName, kDisplay, "TimeZone", zone->settingText());
    if (lblTime->isVisible()) ShowNmea();
    if (timeline) timeline->DataChanged();
}

void Form1::CycleSpeedUnit() {
    timeView.unit = timeView.unit == SpeedUnit::Kmh   ? SpeedUnit::Mph
                    : timeView.unit == SpeedUnit::Mph ? SpeedUnit::Knots
                                                      : SpeedUnit::Kmh;
    desktop_.SaveSetting(startup_.appName, kDisplay, "SpeedUnit", SpeedUnitName(timeView.unit));
    if (lblSpeed->isVisible()) ShowNmea();
    if (timeline) timeline->DataChanged();
    if (routeView->active && routeView->routeOn) DrawRouteWindow();  // the legend's unit
}

}  // namespace droskal
