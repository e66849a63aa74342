#include "cli/TimeOptions.h"

#include <cmath>

#include "cli/Text.h"

namespace droskal::cli {

namespace {
constexpr double kSecondsFrom1970To2000 = 946684800.0;
}  // namespace

std::set<std::string> WithTimeOptions(std::set<std::string> valueOptions) {
    valueOptions.insert(kTimeOptionNames.begin(), kTimeOptionNames.end());
    return valueOptions;
}

bool ReadTimeOptions(const ParsedArgs& args, TimeOptions& options, std::string& error) {
    options = TimeOptions{};
    if (args.has("--tz")) {
        const std::string text = args.value("--tz", "");
        const auto zone = DisplayZoneFromText(QString::fromStdString(text));
        if (!zone) {
            error = "unknown time zone '" + text +
                    "' (UTC, local or an IANA name such as Europe/Warsaw)";
            return false;
        }
        options.zone = *zone;
        options.zoneGiven = true;
    }
    if (args.has("--units")) {
        const std::string text = args.value("--units", "");
        const auto unit = ParseSpeedUnit(text);
        if (!unit) {
            error = "unknown speed unit '" + text + "' (km/h, mph or kn)";
            return false;
        }
        options.unit = *unit;
    }
    return true;
}

std::string TimeText(const RmcSentence& sentence, const TimeOptions& options) {
    if (!options.zoneGiven) return IsoUtc(sentence);
    if (!sentence.hasDate || !sentence.hasTime) return "";
    const auto ms = static_cast<qint64>(
        std::llround((sentence.secondsSince2000() + kSecondsFrom1970To2000) * 1000));
    return IsoWithOffset(
               QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toTimeZone(options.zone.zone))
        .toStdString();
}

std::string SpeedValue(double kmh, const TimeOptions& options, int decimals) {
    return Fixed(SpeedFromKmh(kmh, options.unit), decimals);
}

std::string UnitWord(const TimeOptions& options) {
    switch (options.unit) {
        case SpeedUnit::Kmh:
            return "kmh";
        case SpeedUnit::Mph:
            return "mph";
        case SpeedUnit::Knots:
            return "kn";
    }
    return "kmh";
}

}  // namespace droskal::cli
