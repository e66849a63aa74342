#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <optional>
#include <vector>

namespace droskal {

// The zone times are shown in: the recorded UTC, the computer's local time or a named IANA
// zone, with daylight saving from the zone's rules.
struct DisplayZone {
    enum class Kind { Utc, Local, Named };
    Kind kind = Kind::Utc;
    QTimeZone zone = QTimeZone::utc();

    bool isUtc() const { return kind == Kind::Utc; }
    // "UTC", "local" or the IANA name, as the settings and the command line spell it.
    QString settingText() const;
    // The name a user recognises: "UTC", the local zone's IANA name, or the named one.
    QString name() const;
};

// "UTC" and "local" in any case, or an IANA name the zone database knows; nothing otherwise.
std::optional<DisplayZone> DisplayZoneFromText(const QString& text);

// A moment (seconds since 1970-01-01 UTC, fraction dropped) as a date and time in the zone.
QDateTime InZone(double utcSeconds, const DisplayZone& zone);
// The offset from UTC: "+02", "-03", "+05:30", "+00".
QString OffsetText(const QDateTime& time);
// ISO 8601 with the offset: "2024-10-27T02:59:59+02:00", with milliseconds when there are any.
QString IsoWithOffset(const QDateTime& time);
// The time caption outside UTC: "27.10.24 02:59:59+02" (two-digit year, so the offset fits).
QString ZonedCaption(const QDateTime& time);
// "Europe/Warsaw (CEST, UTC+02:00)".
QString ZoneDescription(const QDateTime& time, const DisplayZone& zone);

// The UTC moments (seconds since 1970) at which the zone's clocks read this date and time,
// earliest first: none for a time skipped by the change to summer time, two for one repeated
// by the change back.
std::vector<double> UtcFromZoneAll(const QDate& date, const QTime& time, const DisplayZone& zone);
// The first of them.
std::optional<double> UtcFromZone(const QDate& date, const QTime& time, const DisplayZone& zone);

}  // namespace droskal
