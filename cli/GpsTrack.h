#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "gps/RmcFields.h"
#include "recording/Walker.h"

namespace droskal::cli {

struct TrackPoint {
    std::int64_t index = 0;
    std::int64_t picturePos = 0;
    RmcSentence fix;
    bool newSegment = false;  // first point, or the fix was lost or the time jumped before it
};

// Gathers the GPS side of a walk: one point per picture with a valid fix, and what the
// summary needs. A picture's sentence is its user data as FindPicStart collected it; a
// picture without user data is left with the previous text shortened, which is no sentence.
class GpsTrack {
  public:
    static constexpr double kMaxGapSeconds = 2.0;

    void add(const WalkedPicture& picture);

    const std::vector<TrackPoint>& points() const { return points_; }
    std::int64_t badChecksums() const { return badChecksums_; }
    std::int64_t unreadSentences() const { return unreadSentences_; }
    // Sentences with date and time, whatever their status: receivers keep the clock
    // running without a fix.
    const std::optional<RmcSentence>& firstTimed() const { return firstTimed_; }
    const std::optional<RmcSentence>& lastTimed() const { return lastTimed_; }

    double distanceKm() const;
    std::optional<double> averageSpeedKmh() const;
    std::optional<double> topSpeedKmh() const;

  private:
    std::vector<TrackPoint> points_;
    bool fixLost_ = true;
    std::int64_t badChecksums_ = 0;
    std::int64_t unreadSentences_ = 0;
    std::optional<RmcSentence> firstTimed_;
    std::optional<RmcSentence> lastTimed_;
};

}  // namespace droskal::cli
