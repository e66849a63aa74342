// Speed units and the events found in speed series with known braking, stops and speeding.
#include <gtest/gtest.h>

#include "timeline/Events.h"
#include "timeline/Units.h"

namespace droskal {
namespace {

TEST(SpeedUnits, CaptionsRoundHalfUpInEachUnit) {
    const struct {
        double knots;
        SpeedUnit unit;
        const char* text;
    } cases[] = {
        {10.0, SpeedUnit::Kmh, "19 km/h"},  // 18.52
        {10.0, SpeedUnit::Mph, "12 mph"},   // 11.51
        {10.0, SpeedUnit::Knots, "10 kn"},
        {0.0, SpeedUnit::Mph, "0 mph"},
        {53.9957, SpeedUnit::Kmh, "100 km/h"},  // 99.9998
        {86.8976, SpeedUnit::Mph, "100 mph"},   // 160.934 km/h
        {2.5, SpeedUnit::Knots, "3 kn"},
        {1e6, SpeedUnit::Kmh, "1852000 km/h"},  // never scientific notation
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, SpeedText(c.knots, c.unit)) << c.knots;
    EXPECT_NEAR(62.137, SpeedFromKmh(100, SpeedUnit::Mph), 1e-3);
}

// One sample a second at `speeds`; several pictures share each sentence, as on the recorder.
PictureSamples Series(const std::vector<double>& speeds, int picturesPerSecond = 3) {
    PictureSamples samples;
    for (std::size_t s = 0; s < speeds.size(); ++s) {
        for (int k = 0; k < picturesPerSecond; ++k) {
            PictureSample p;
            p.pictureNumber = static_cast<std::int64_t>(samples.size());
            p.streamPosition = 100 * (p.pictureNumber + 1);
            p.timeValid = p.speedValid = p.fixValid = true;
            p.utcSeconds = 1'700'000'000.0 + static_cast<double>(s);
            p.speedKmh = speeds[s];
            samples.push_back(p);
        }
    }
    return samples;
}

std::vector<double> Ramp(double from, double to, int seconds) {
    std::vector<double> v;
    for (int i = 0; i < seconds; ++i)
        v.push_back(from + (to - from) * i / std::max(1, seconds - 1));
    return v;
}

std::vector<double> Join(std::initializer_list<std::vector<double>> parts) {
    std::vector<double> v;
    for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

struct Expected {
    EventKind kind;
    double startSecond;
    double value;
};

std::vector<double> Same(int seconds, double speed) {
    return std::vector<double>(static_cast<std::size_t>(seconds), speed);
}

TEST(TripEvents, FoundInSeriesWithKnownBrakingStopsAndSpeeding) {
    using K = EventKind;
    const struct {
        std::vector<double> speeds;
        double limit;  // 0: none
        std::vector<Expected> events;
    } cases[] = {
        // A smooth drive with a gentle stop of 5 s; then braking and acceleration.
        {Join({Ramp(0, 60, 20), Ramp(60, 0, 20), Same(5, 0), Ramp(0, 40, 10)}), 0, {}},
        {Join({Same(5, 50), {35, 30}, Same(5, 30)}), 0, {{K::HardBraking, 4, 15}}},
        {Join({Same(5, 50), Same(5, 38)}), 0, {}},  // a drop of exactly 12 is not hard
        {Join({Same(3, 60), {45, 30}, Same(3, 30)}), 0, {{K::HardBraking, 2, 15}}},  // merged
        {Join({Same(13, 0), {15, 20, 25}}), 0, {{K::Stop, 0, 12}, {K::HardAcceleration, 12, 15}}},
        {Join({{10}, Same(11, 0), {5}}), 0, {}},  // a stop of exactly 10 s is not counted
        // Speeding above a set limit; it is not looked for by default.
        {Join({Ramp(40, 48, 5), {55, 58, 52}, Ramp(48, 40, 5)}), 50, {{K::Speeding, 5, 58}}},
        {Join({Ramp(40, 48, 5), {55, 58, 52}, Ramp(48, 40, 5)}), 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const PictureSamples samples = Series(c.speeds);
        EventSettings settings;
        if (c.limit > 0) settings.speedLimitKmh = c.limit;
        const auto events = FindEvents(samples, settings);
        ASSERT_EQ(c.events.size(), events.size());
        for (std::size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(c.events[i].kind, events[i].kind) << i;
            EXPECT_DOUBLE_EQ(1'700'000'000.0 + c.events[i].startSecond, events[i].startUtc) << i;
            EXPECT_NEAR(c.events[i].value, events[i].value, 1e-9) << i;
            EXPECT_EQ(events[i].startUtc, samples[events[i].first].utcSeconds);
        }
    }
}

TEST(TripEvents, SamplesWithoutAFixOrTimeAreLeftOut) {
    PictureSamples samples = Series(Join({Same(5, 50), {20}, Same(5, 50)}), 1);
    samples[5].fixValid = false;  // a receiver's 0 while it has lost the fix is not a braking
    EXPECT_TRUE(FindEvents(samples, {}).empty());
    samples[5].fixValid = true;
    samples[5].timeValid = false;
    EXPECT_TRUE(FindEvents(samples, {}).empty());
}

}  // namespace
}  // namespace droskal
