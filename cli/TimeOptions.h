#pragma once

#include <set>
#include <string>

#include "cli/Args.h"
#include "gps/RmcFields.h"
#include "timeline/Units.h"
#include "zone/DisplayZone.h"

namespace droskal::cli {

// --tz UTC|local|ZONE and --units km/h|mph|kn, for every command that shows times or speeds.
struct TimeOptions {
    DisplayZone zone;
    bool zoneGiven = false;  // without --tz times keep their UTC form ("...Z")
    SpeedUnit unit = SpeedUnit::Kmh;
};

// The value options to pass to ParseArgs, and the usage lines that describe them.
inline const std::set<std::string> kTimeOptionNames = {"--tz", "--units"};
inline constexpr const char* kTimeOptionsUsage =
    "  --tz UTC|local|ZONE  times in UTC (default), local time or an IANA zone such as\n"
    "                       Europe/Warsaw, written with their offset\n"
    "  --units km/h|mph|kn  speeds in this unit (default km/h)\n";

// Adds the names to a command's own value options.
std::set<std::string> WithTimeOptions(std::set<std::string> valueOptions);
// False with a message for an unknown zone or unit.
bool ReadTimeOptions(const ParsedArgs& args, TimeOptions& options, std::string& error);

// The sentence's time: "2006-03-30T22:34:16Z" without --tz, "2024-10-27T02:59:59+02:00" with
// it; empty without both date and time.
std::string TimeText(const RmcSentence& sentence, const TimeOptions& options);
// A km/h figure in the chosen unit, fixed-point.
std::string SpeedValue(double kmh, const TimeOptions& options, int decimals);
// "kmh", "mph" or "kn": for column names and JSON keys.
std::string UnitWord(const TimeOptions& options);

}  // namespace droskal::cli
