#include "cli/GpsTrack.h"

#include <algorithm>
#include <cmath>

#include "cli/Geo.h"

namespace droskal::cli {

void GpsTrack::add(const WalkedPicture& picture) {
    if (!picture.sentenceRead) {
        ++unreadSentences_;
        fixLost_ = true;
        return;
    }
    RmcSentence s;
    const RmcResult result = ParseRmcFields(*picture.nmeaText, s);
    if (result == RmcResult::BadChecksum) {
        // A damaged sentence says nothing about the fix; the time check still splits the
        // track when many are missing.
        ++badChecksums_;
        return;
    }
    if (result != RmcResult::Ok) {
        fixLost_ = true;
        return;
    }
    if (s.hasDate && s.hasTime) {
        if (!firstTimed_) firstTimed_ = s;
        lastTimed_ = s;
    }
    if (!s.validFix()) {
        fixLost_ = true;
        return;
    }
    TrackPoint point{picture.index, picture.picturePos, s, fixLost_};
    if (!point.newSegment && !points_.empty()) {
        const RmcSentence& prev = points_.back().fix;
        if (prev.hasDate && prev.hasTime && s.hasDate && s.hasTime &&
            std::fabs(s.secondsSince2000() - prev.secondsSince2000()) > kMaxGapSeconds) {
            point.newSegment = true;
        }
    }
    fixLost_ = false;
    points_.push_back(point);
}

double GpsTrack::distanceKm() const {
    double km = 0;
    for (std::size_t i = 1; i < points_.size(); ++i) {
        const RmcSentence& a = points_[i - 1].fix;
        const RmcSentence& b = points_[i].fix;
        km += HaversineKm(a.latitude, a.longitude, b.latitude, b.longitude);
    }
    return km;
}

std::optional<double> GpsTrack::averageSpeedKmh() const {
    double sum = 0;
    int n = 0;
    for (const auto& p : points_) {
        if (!p.fix.hasSpeed) continue;
        sum += p.fix.speedKnots * kKmPerNauticalMile;
        ++n;
    }
    if (n == 0) return std::nullopt;
    return sum / n;
}

std::optional<double> GpsTrack::topSpeedKmh() const {
    std::optional<double> top;
    for (const auto& p : points_) {
        if (p.fix.hasSpeed)
            top = std::max(top.value_or(0.0), p.fix.speedKnots * kKmPerNauticalMile);
    }
    return top;
}

}  // namespace droskal::cli
