#include "zone/DisplayZone.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace droskal {

QString DisplayZone::settingText() const {
    switch (kind) {
        case Kind::Utc:
            return "UTC";
        case Kind::Local:
            return "local";
        case Kind::Named:
            return QString::fromLatin1(zone.id());
    }
    return "UTC";
}

QString DisplayZone::name() const {
    return kind == Kind::Utc ? QString("UTC") : QString::fromLatin1(zone.id());
}

std::optional<DisplayZone> DisplayZoneFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare("UTC", Qt::CaseInsensitive) == 0) return DisplayZone{};
    if (t.compare("local", Qt::CaseInsensitive) == 0) {
        return DisplayZone{DisplayZone::Kind::Local, QTimeZone::systemTimeZone()};
    }
    const QByteArray id = t.toLatin1();
    if (id.isEmpty() || !QTimeZone::isTimeZoneIdAvailable(id)) return std::nullopt;
    QTimeZone zone(id);
    if (!zone.isValid()) return std::nullopt;
    return DisplayZone{DisplayZone::Kind::Named, zone};
}

QDateTime InZone(double utcSeconds, const DisplayZone& zone) {
    const auto seconds = static_cast<qint64>(std::floor(utcSeconds));
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()).toTimeZone(zone.zone);
}

namespace {
QString Offset(int seconds, bool alwaysMinutes) {
    const int minutes = std::abs(seconds) / 60;
    QString text =
        QString(seconds < 0 ? "-" : "+") + QString("%1").arg(minutes / 60, 2, 10, QChar('0'));
    if (alwaysMinutes || minutes % 60 != 0)
        text += QString(":%1").arg(minutes % 60, 2, 10, QChar('0'));
    return text;
}
}  // namespace

QString OffsetText(const QDateTime& time) {
    return Offset(time.offsetFromUtc(), false);
}

QString IsoWithOffset(const QDateTime& time) {
    const char* format =
        time.time().msec() != 0 ? "yyyy-MM-ddTHH:mm:ss.zzz" : "yyyy-MM-ddTHH:mm:ss";
    return time.toString(format) + Offset(time.offsetFromUtc(), true);
}

QString ZonedCaption(const QDateTime& time) {
    return time.toString("dd.MM.yy HH:mm:ss") + OffsetText(time);
}

QString ZoneDescription(const QDateTime& time, const DisplayZone& zone) {
    return zone.name() + " (" + time.timeZoneAbbreviation() + ", UTC" +
           Offset(time.offsetFromUtc(), true) + ")";
}

std::vector<double> UtcFromZoneAll(const QDate& date, const QTime& time, const DisplayZone& zone) {
    std::vector<double> moments;
    if (!date.isValid() || !time.isValid()) return moments;
    // Every offset the zone has around that day is tried; the clock must read back as given.
    const qint64 naive = QDateTime(date, time, QTimeZone::utc()).toSecsSinceEpoch();
    for (qint64 guess = naive - 26 * 3600; guess <= naive + 26 * 3600; guess += 900) {
        const QDateTime there =
            QDateTime::fromSecsSinceEpoch(guess, QTimeZone::utc()).toTimeZone(zone.zone);
        const qint64 candidate = naive - there.offsetFromUtc();
        const QDateTime check =
            QDateTime::fromSecsSinceEpoch(candidate, QTimeZone::utc()).toTimeZone(zone.zone);
        const auto value = static_cast<double>(candidate);
        if (check.date() == date && check.time() == time &&
            std::find(moments.begin(), moments.end(), value) == moments.end()) {
            moments.push_back(value);
        }
    }
    std::sort(moments.begin(), moments.end());
    return moments;
}

std::optional<double> UtcFromZone(const QDate& date, const QTime& time, const DisplayZone& zone) {
    const auto moments = UtcFromZoneAll(date, time, zone);
    if (moments.empty()) return std::nullopt;
    return moments.front();
}

}  // namespace droskal
