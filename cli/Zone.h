#pragma once

#include <optional>
#include <string>

namespace droskal::cli {

// The time zone dates are written and read in: UTC, the system's ("local"), or a named one
// (Europe/Warsaw), from the system's zone data.
class Zone {
  public:
    // Empty or "UTC": UTC. Nullopt for a name the system does not know.
    static std::optional<Zone> Find(const std::string& name);

    // "2006-03-30T22:34:16Z" in UTC, "2006-03-31T00:34:16+02:00" elsewhere; milliseconds when
    // the time has a fraction.
    std::string format(double secondsSince2000) const;
    // "YYYY-MM-DD" (the day's first moment, or with `endOfDay` its last) or
    // "YYYY-MM-DDTHH:MM[:SS]" in this zone, or with its own offset or Z. Seconds since 2000 UTC.
    std::optional<double> parse(const std::string& text, bool endOfDay) const;

  private:
    std::string id_;  // empty: UTC
    bool local_ = false;
};

}  // namespace droskal::cli
