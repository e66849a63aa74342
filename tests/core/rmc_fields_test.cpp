// The track export's by-field sentence reading.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

#include "gps/RmcFields.h"
#include "tools/RecorderWriter.h"

namespace droskal {
namespace {

std::string WithChecksum(const std::string& body) {
    unsigned sum = 0;
    for (std::size_t i = 1; i < body.size(); ++i) sum ^= static_cast<unsigned char>(body[i]);
    char hex[4];
    std::snprintf(hex, sizeof hex, "*%02X", sum);
    return body + hex;
}

TEST(RmcFields, ReadsFieldsWhateverTheirLengthAndHemisphere) {
    struct Case {
        std::string text;
        RmcResult result;
        bool validFix;
        double lat, lon, seconds;
        bool hasDate;
    };
    const Case cases[] = {
        {WithChecksum("$GPRMC,223416.000,A,5212.3000,N,02101.5000,E,12.3,45.6,300306,,"), RmcResult::Ok,
         true, 52.205, 21.025, 81256.0, true},
        {WithChecksum("$GPRMC,223416,A,5212.3000,S,02101.5000,W,,,300306,,"), RmcResult::Ok, true,
         -52.205, -21.025, 81256.0, true},
        {"$GNRMC,223416.5,A,0030.0000,S,17930.0000,E,0.0,,010100,,\r\n", RmcResult::Ok, true, -0.5,
         179.5, 81256.5, true},
        {WithChecksum("$GPRMC,223416.00,V,5212.3000,N,02101.5000,E,0,0,300306,,"), RmcResult::Ok, false,
         52.205, 21.025, 81256.0, true},
        // Hemisphere missing or unknown: no position rather than a guessed one.
        {"$GPRMC,223416.000,A,5212.3000,,02101.5000,E,1,1,300306,,", RmcResult::Ok, false, 0, 0, 81256.0,
         true},
        {"$GPRMC,223416.000,A,5260.0000,N,02101.5000,E,1,1,310206,,", RmcResult::Ok, false, 0, 0, 81256.0,
         false},
        {"$GPRMC,223416.000,A,5212.3000,N,02101.5000,E,1,1,300306,,*00", RmcResult::BadChecksum, false, 0,
         0, 0, false},
        {"$GPRMC,223416.000,A,5212.3000,N,02101.5000,E,1,1,300306,,*4", RmcResult::BadChecksum, false, 0,
         0, 0, false},
        {"GPRMC,223416.000,A,5212.3000,N,02101.5000,E,1,1,300", RmcResult::NotRmc, false, 0, 0, 0, false},
        {"$GPGGA,223416.000,5212.3000,N,02101.5000,E,1,08", RmcResult::NotRmc, false, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RmcSentence s;
        ASSERT_EQ(c.result, ParseRmcFields(c.text, s));
        if (c.result != RmcResult::Ok) continue;
        EXPECT_EQ(c.validFix, s.validFix());
        if (s.hasPosition) {
            EXPECT_NEAR(c.lat, s.latitude, 1e-9);
            EXPECT_NEAR(c.lon, s.longitude, 1e-9);
        }
        EXPECT_TRUE(s.hasTime);
        EXPECT_DOUBLE_EQ(c.seconds, s.secondsOfDay);
        EXPECT_EQ(c.hasDate, s.hasDate);
    }
}

TEST(RmcFields, WordsThatReadAsNumbersAreNotNumbers) {
    // "nan" and "inf" pass a general number parse; a damaged sentence must not carry them into
    // speeds, courses or positions.
    struct Case {
        const char* text;
        bool hasPosition, hasSpeed, hasCourse;
    };
    const Case cases[] = {
        {"$GPRMC,223416.000,A,5212.3000,N,02101.5000,E,NAN,inf,300306,,", true, false, false},
        {"$GPRMC,223416.000,A,nan,N,INFINITY,E,-1,+2,300306,,", false, false, false},
        {"$GPRMC,NE,\001C,,C,,0.A,6,NAN", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RmcSentence s;
        ASSERT_EQ(RmcResult::Ok, ParseRmcFields(c.text, s));
        EXPECT_EQ(c.hasPosition, s.hasPosition);
        EXPECT_EQ(c.hasSpeed, s.hasSpeed);
        EXPECT_EQ(c.hasCourse, s.hasCourse);
        EXPECT_TRUE(std::isfinite(s.speedKnots) && std::isfinite(s.course));
        EXPECT_TRUE(std::isfinite(s.latitude) && std::isfinite(s.longitude));
    }
}

TEST(RmcFields, TimesCountAcrossMidnightAndMonthEnds) {
    // The recorder's own sentences as input; each pair lies 2 seconds apart.
    const std::pair<const char*, const char*> dates[] = {
        {"300306", "310306"}, {"310306", "010406"}, {"290204", "010304"}, {"311204", "010105"}};
    for (const auto& [dateBefore, dateAfter] : dates) {
        RmcFields f;
        f.time = "235959.000";
        f.date = dateBefore;
        RmcSentence before, after;
        ASSERT_EQ(RmcResult::Ok, ParseRmcFields(BuildGprmc(f), before));
        f.time = "000001.000";
        f.date = dateAfter;
        ASSERT_EQ(RmcResult::Ok, ParseRmcFields(BuildGprmc(f), after));
        EXPECT_DOUBLE_EQ(2.0, after.secondsSince2000() - before.secondsSince2000()) << dateBefore;
    }
}

}  // namespace
}  // namespace droskal
