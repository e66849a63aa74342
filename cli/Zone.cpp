#include "cli/Zone.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>

namespace droskal::cli {

namespace {

constexpr qint64 kEpoch2000 = 946684800;

QTimeZone ZoneOf(const std::string& id, bool local) {
    if (local) return QTimeZone::systemTimeZone();
    if (id.empty()) return QTimeZone::utc();
    return QTimeZone(QByteArray::fromStdString(id));
}

}  // namespace

std::optional<Zone> Zone::Find(const std::string& name) {
    Zone zone;
    if (name.empty() || name == "UTC" || name == "utc" || name == "Z") return zone;
    if (name == "local") {
        zone.local_ = true;
        return zone;
    }
    if (!QTimeZone::isTimeZoneIdAvailable(QByteArray::fromStdString(name))) return std::nullopt;
    zone.id_ = name;
    return zone;
}

std::string Zone::format(double secondsSince2000) const {
    const qint64 ms = std::llround(secondsSince2000 * 1000) + kEpoch2000 * 1000;
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    const QDateTime t = (!local_ && id_.empty()) ? utc : utc.toTimeZone(ZoneOf(id_, local_));
    return t.toString(ms % 1000 ? Qt::ISODateWithMs : Qt::ISODate).toStdString();
}

std::optional<double> Zone::parse(const std::string& text, bool endOfDay) const {
    const QString s = QString::fromStdString(text);
    QDateTime t;
    if (s.size() == 10) {
        const QDate day = QDate::fromString(s, Qt::ISODate);
        if (!day.isValid()) return std::nullopt;
        t = endOfDay ? QDateTime(day, QTime(23, 59, 59, 999), ZoneOf(id_, local_))
                     : QDateTime(day, QTime(0, 0), ZoneOf(id_, local_));
    } else {
        t = QDateTime::fromString(s, Qt::ISODate);
        if (!t.isValid()) return std::nullopt;
        if (t.timeSpec() == Qt::LocalTime) t = QDateTime(t.date(), t.time(), ZoneOf(id_, local_));
    }
    if (!t.isValid()) return std::nullopt;
    return static_cast<double>(t.toMSecsSinceEpoch() - kEpoch2000 * 1000) / 1000.0;
}

}  // namespace droskal::cli
