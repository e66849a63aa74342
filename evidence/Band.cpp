#include "evidence/Band.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/Geo.h"
#include "cli/Text.h"
#include "timeline/Units.h"
#include "zone/DisplayZone.h"

namespace droskal::evidence {

namespace {
constexpr double kSecondsFrom1970To2000 = 946684800.0;

bool Zoned(const cli::TimeOptions& time) {
    return time.zoneGiven && !time.zone.isUtc();
}
}  // namespace

BandPlace BandFor(int pictureHeight) {
    const int height = pictureHeight * 15 / 100 / 2 * 2;
    return {pictureHeight - height, height};
}

InsetPlace InsetFor(int pictureWidth, int pictureHeight) {
    const int margin = std::max(2, pictureWidth / 80 / 2 * 2);
    const int width = pictureWidth / 4 / 2 * 2;
    const int height = pictureHeight / 4 / 2 * 2;
    return {pictureWidth - margin - width, margin, width, height};
}

std::string DateTimeText(const RmcSentence& s) {
    if (!s.hasDate || !s.hasTime) return {};
    const int whole = static_cast<int>(std::floor(s.secondsOfDay));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", s.year, s.month, s.day,
                  whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

std::string ZonedTimeText(const RmcSentence& s, const cli::TimeOptions& time) {
    const std::string utc = DateTimeText(s);
    if (utc.empty()) return {};
    if (!Zoned(time)) return utc + " UTC";
    const QDateTime local =
        InZone(std::floor(s.secondsSince2000()) + kSecondsFrom1970To2000, time.zone);
    return (local.toString("yyyy-MM-dd HH:mm:ss ") + time.zone.name() + " (UTC" +
            OffsetText(local) + ")")
        .toStdString();
}

std::string SpeedInUnit(double kmh, const cli::TimeOptions& time) {
    return cli::SpeedValue(kmh, time, 1) + " " + SpeedUnitName(time.unit);
}

std::vector<std::string> CaptionLines(const PictureCaption& caption, const cli::TimeOptions& time) {
    std::vector<std::string> lines;
    const RmcSentence* s = caption.sentence ? &*caption.sentence : nullptr;
    std::string when = s ? ZonedTimeText(*s, time) : std::string();
    if (!when.empty() && Zoned(time)) {
        // UTC beside the local time; its date only where it differs from the local one.
        const std::string utc = DateTimeText(*s);
        when += ", " + (when.compare(0, 10, utc, 0, 10) == 0 ? utc.substr(11) : utc) + " UTC";
    }
    lines.push_back(when.empty() ? "czas: brak" : when);
    std::string place;
    if (s && s->validFix()) {
        place = cli::Fixed(std::fabs(s->latitude), 6) + (s->latitude < 0 ? " S  " : " N  ") +
                cli::Fixed(std::fabs(s->longitude), 6) + (s->longitude < 0 ? " W" : " E");
    } else {
        place = "pozycja: brak";
    }
    if (s && s->validFix() && s->hasSpeed) {
        place += "   " + SpeedInUnit(s->speedKnots * cli::kKmPerNauticalMile, time);
    }
    lines.push_back(place);
    lines.push_back("plik " + caption.fileName + ", obraz " +
                    std::to_string(caption.pictureNumber));
    return lines;
}

}  // namespace droskal::evidence
