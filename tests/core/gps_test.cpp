// The GPS side: the window's fixed-place sentence parse, the track export's by-field parse,
// and the map geometry that places a position on the calibrated map.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "config/IniFile.h"
#include "gps/MapGeometry.h"
#include "gps/Nmea.h"
#include "gps/RmcFields.h"
#include "tools/RecorderWriter.h"

namespace droskal {
namespace {

const char* const kExample = "$GPRMC,223416.000,A,5212.3456,N,02101.2345,E,12.3,45.6,300306,,";

struct Expect {
    std::string lblTime, lblSpeed, gpsLat, gpsLon;
    bool gpsValid, gpsOn;
};

void Check(const std::string& text, const NmeaDisplay& start, const Expect& e) {
    SCOPED_TRACE(text);
    NmeaDisplay d = start;
    EXPECT_EQ(ParseNmea(text, d), e.gpsOn);
    EXPECT_EQ(d.lblTime, e.lblTime);
    EXPECT_EQ(d.lblSpeed, e.lblSpeed);
    EXPECT_EQ(d.gpsLat, e.gpsLat);
    EXPECT_EQ(d.gpsLon, e.gpsLon);
    EXPECT_EQ(d.gpsValid, e.gpsValid);
}

NmeaDisplay Previous() {
    return {"prev time", "prev speed", "prevLat", "prevLon", true};
}

TEST(Nmea, RecorderSentences) {
    const struct {
        std::string text;
        Expect e;
    } cases[] = {
        {kExample, {"30.03.2006  22:34:16", "23 km/h", "5212.3456", "02101.2345", true, true}},
        {"$GPRMC,223416.000,V,5212.3456,N,02101.2345,E,12.3,45.6,010199,,",
         {"01.01.2099  22:34:16", "23 km/h", "5212.3456", "02101.2345", false, true}},
        // A seven-character time field moves the status and latitude places.
        {"$GPRMC,2234160,A,5212.3456,N,02101.2345,E,12.3,45.6,300306,,",
         {"30.03.2006  22:34:16", "23 km/h", "2.3456", "02101.2345", false, true}},
        // Date field cut short: parts near the end come out shorter.
        {"$GPRMC,223416.000,A,5212.3456,N,02101.2345,E,12.3,45.6,3003",
         {"30.03.20  22:34:16", "23 km/h", "5212.3456", "02101.2345", true, true}},
    };
    for (const auto& c : cases) Check(c.text, Previous(), c.e);
    // The speed is the field's leading decimal number of knots, in whole km/h rounded half up.
    const std::pair<std::string, const char*> speeds[] = {
        {"0.27", "1 km/h"},  {"0.26", "0 km/h"}, {"", "0 km/h"},    {"  7.5x", "14 km/h"},
        {"1 2.3", "2 km/h"}, {"&H20", "0 km/h"}, {"1D3", "2 km/h"}, {"1E12", "1852000000000 km/h"},
        {"1E400", ""}};
    for (const auto& [field, speed] : speeds) {
        Check("$GPRMC,223416.000,A,5212.3456,N,02101.2345,E," + field + ",45.6,300306,,",
              Previous(), {"30.03.2006  22:34:16", speed, "5212.3456", "02101.2345", true, true});
    }
}

TEST(Nmea, CutShortAtEachComma) {
    // The example cut just before its n-th comma from position 8 keeps what was set so far.
    const std::string full = kExample;
    std::vector<std::size_t> commas;
    for (std::size_t i = 7; i < full.size(); ++i) {
        if (full[i] == ',') commas.push_back(i);
    }
    const Expect expected[] = {
        {"prev time", "prev speed", "prevLat", "prevLon", false, true},  // no comma from 8
        {"22:34:16", "prev speed", "prevLat", "prevLon", true, true},  // stops at c1... status read
        {"22:34:16", "prev speed", "prevLat", "prevLon", true, true},  // no comma after lat
        {"22:34:16", "prev speed", "5212.3456", "prevLon", true, true},     // no c2
        {"22:34:16", "prev speed", "5212.3456", "prevLon", true, true},     // no c3
        {"22:34:16", "prev speed", "5212.3456", "02101.2345", true, true},  // no c4
        {"22:34:16", "prev speed", "5212.3456", "02101.2345", true, true},  // no c5
        {"22:34:16", "23 km/h", "5212.3456", "02101.2345", true, true},     // no c6
        {"30.03.2006  22:34:16", "23 km/h", "5212.3456", "02101.2345", true, true},
    };
    ASSERT_EQ(commas.size(), 10u);
    for (std::size_t n = 0; n < std::size(expected); ++n) {
        const std::string cut = n < commas.size() ? full.substr(0, commas[n]) : full;
        Check(cut, Previous(), expected[n]);
    }
}

TEST(Nmea, TextsThatAreNoSentence) {
    const Expect noSentence{"", "", "prevLat", "prevLon", false, false};
    for (const std::string& text :
         {std::string(), std::string("\xB2q\0\0\x01", 5),
          std::string("GPRMC,223416.000,A,5212.3456,N,02101.2345,E,12.3"),
          std::string("$GPGGA,223416.000,5212.3456,N,02101.2345,E,1,08,0.9,545.4,M,46.9,M,,"),
          std::string("$gprmc,223416.000,A,5212.3456,N,02101.2345,E,12.3,45.6,300306,,")}) {
        Check(text, Previous(), noSentence);
    }
}

TEST(Nmea, RealReceiverSentences) {
    std::ifstream in(DROSKAL_TEST_DATA "/nmea/gpsd-zeus9-rmc.txt");
    ASSERT_TRUE(in);
    // Speeds worked out by hand: floor(knots x 1.852 + 0.5).
    const char* const speeds[] = {"10 km/h", "11 km/h", "11 km/h", "10 km/h", "12 km/h", "10 km/h",
                                  "12 km/h", "10 km/h", "12 km/h", "11 km/h", "11 km/h", "10 km/h"};
    std::string line;
    std::size_t n = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ASSERT_LT(n, std::size(speeds));
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
        const std::string date =
            f[9].substr(0, 2) + "." + f[9].substr(2, 2) + ".20" + f[9].substr(4, 2);
        const std::string time =
            f[1].substr(0, 2) + ":" + f[1].substr(2, 2) + ":" + f[1].substr(4, 2);

        // As logged, the 6-character time field shifts the fixed places; in the recorder's
        // shape (10-character time) every field lands in place.
        for (bool recorderShape : {false, true}) {
            std::string text = line;
            if (recorderShape) text.insert(13, ".000");
            NmeaDisplay d;
            EXPECT_TRUE(ParseNmea(text, d));
            EXPECT_EQ(d.lblTime, date + "  " + time);
            EXPECT_EQ(d.lblSpeed, speeds[n]);
            EXPECT_EQ(d.gpsValid, recorderShape) << text;
            EXPECT_EQ(d.gpsLat, recorderShape ? f[3] : f[3].substr(4));
            EXPECT_EQ(d.gpsLon, f[5]);
        }
        ++n;
    }
    EXPECT_EQ(n, std::size(speeds));
}

// ---- The track export's by-field reading ----

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
    const std::string good = "$GPRMC,223416.000,A,5212.3000,N,02101.5000,E,1,1,300306,,";
    const Case cases[] = {
        {WithChecksum("$GPRMC,223416.000,A,5212.3000,N,02101.5000,E,12.3,45.6,300306,,"),
         RmcResult::Ok, true, 52.205, 21.025, 81256.0, true},
        {WithChecksum("$GPRMC,223416,A,5212.3000,S,02101.5000,W,,,300306,,"), RmcResult::Ok, true,
         -52.205, -21.025, 81256.0, true},
        {"$GNRMC,223416.5,A,0030.0000,S,17930.0000,E,0.0,,010100,,\r\n", RmcResult::Ok, true, -0.5,
         179.5, 81256.5, true},
        {WithChecksum("$GPRMC,223416.00,V,5212.3000,N,02101.5000,E,0,0,300306,,"), RmcResult::Ok,
         false, 52.205, 21.025, 81256.0, true},
        // Hemisphere missing or unknown: no position rather than a guessed one.
        {"$GPRMC,223416.000,A,5212.3000,,02101.5000,E,1,1,300306,,", RmcResult::Ok, false, 0, 0,
         81256.0, true},
        {"$GPRMC,223416.000,A,5260.0000,N,02101.5000,E,1,1,310206,,", RmcResult::Ok, false, 0, 0,
         81256.0, false},
        {good + "*00", RmcResult::BadChecksum, false, 0, 0, 0, false},
        {good + "*4", RmcResult::BadChecksum, false, 0, 0, 0, false},
        {good.substr(1), RmcResult::NotRmc, false, 0, 0, 0, false},
        {"$GPGGA" + good.substr(6), RmcResult::NotRmc, false, 0, 0, 0, false},
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

// Words that a general number parse takes ("nan", "inf") and numbers far beyond any angle,
// speed or time: nothing infinite or off the globe is carried on, and neither parse overflows.
TEST(RmcFields, HostileNumbersAreNoNumbers) {
    const std::string nines(40, '9');
    const struct {
        std::string text;
        bool position;
        int speed, course;  // has one: 1 yes, 0 no, -1 either
    } cases[] = {
        {"$GPRMC,223416.000,A,5212.3000,N,02101.5000,E,NAN,inf,300306,,", true, 0, 0},
        {"$GPRMC,223416.000,A,nan,N,INFINITY,E,-1,+2,300306,,", false, 0, 0},
        {"$GPRMC,NE,\001C,,C,,0.A,6,NAN", false, 1, 0},
        // Found by fuzzing: a latitude of 1e24 overflowed the cast to whole degrees.
        {"$EPRMC,03650,,0099999999999999999999999999,N4,9<", false, -1, -1},
        {"$GPRMC,223416.000,A," + nines + ",N,02101.2345,E,12.3,45.6,300306,,", false, -1, -1},
        {"$GPRMC,223416.000,A,5212.3456,N," + nines + ",E,12.3,45.6,300306,,", false, -1, -1},
        {"$GPRMC,223416.000,A,5212.3456,N,02101.2345,E," + nines + ",45.6,300306,,", true, -1, -1},
        {"$GPRMC," + nines + ",A,5212.3456,N,02101.2345,E,12.3,45.6,300306,,", true, -1, -1},
        {"$GPRMC,223416.000,A,9000.0000,N,18000.0000,W,0,0,300306,,", true, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RmcSentence s;
        const RmcResult result = ParseRmcFields(c.text, s);
        EXPECT_EQ(result == RmcResult::Ok && s.hasPosition, c.position);
        EXPECT_TRUE(c.speed < 0 || s.hasSpeed == (c.speed == 1));
        EXPECT_TRUE(c.course < 0 || s.hasCourse == (c.course == 1));
        EXPECT_TRUE(std::isfinite(s.speedKnots) && std::isfinite(s.course));
        EXPECT_LE(std::abs(s.latitude), 90.0);  // false for NaN too
        EXPECT_LE(std::abs(s.longitude), 180.0);
        NmeaDisplay display;
        ParseNmea(c.text, display);
        EXPECT_LE(display.gpsLat.size(), c.text.size());
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

// ---- Map geometry ----

struct Placed {
    bool onMap;
    int originX, originY;
    bool redraw;
    int left, top;
};

void ExpectPlacement(const MapPlacement& p, const Placed& e) {
    EXPECT_EQ(p.onMap, e.onMap);
    EXPECT_EQ(p.origin.mapOriginX, e.originX);
    EXPECT_EQ(p.origin.mapOriginY, e.originY);
    EXPECT_EQ(p.redraw, e.redraw);
    if (e.onMap) {
        EXPECT_EQ(p.pointLeft, e.left);
        EXPECT_EQ(p.pointTop, e.top);
    }
}

MapOrigin Origin(int x, int y) {
    return {static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)};
}

TEST(MapGeometry, PlacementAgainstTheOldOrigin) {
    const struct {
        std::int32_t x, y;
        int oldX, oldY;
        Placed e;
    } cases[] = {
        {1160, 1120, 1000, 1000, {true, 1000, 1000, false, 154, 114}},  // band inner edges stay
        {1480, 1360, 1000, 1000, {true, 1000, 1000, false, 474, 354}},  // band outer edges stay
        {1159, 1200, 1000, 1000, {true, 839, 1000, true, 314, 194}},    // recentred across
        {1481, 1200, 1000, 1000, {true, 1161, 1000, true, 314, 194}},
        {1300, 1119, 1000, 1000, {true, 1000, 879, true, 294, 234}},  // recentred down
        {1300, 1361, 1000, 1000, {true, 1000, 1121, true, 294, 234}},
        {100, 50, 1000, 1000, {true, 0, 0, true, 94, 44}},  // clamped at the top left
        {0, 0, 0, 0, {true, 0, 0, false, -6, -6}},
        {4095, 4095, 0, 0, {true, 3456, 3616, true, 633, 473}},  // and the bottom right
        {4096, 100, 7, 9, {false, 7, 9, false, 0, 0}},           // off the map
        {100, -1, 7, 9, {false, 7, 9, false, 0, 0}},
        {-1, 100, 7, 9, {false, 7, 9, false, 0, 0}},
        {100, 4096, 7, 9, {false, 7, 9, false, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        ExpectPlacement(PlaceOnMap(c.x, c.y, true, Origin(c.oldX, c.oldY)), c.e);
    }
}

TEST(MapGeometry, DegreesFromTheRecorderFields) {
    struct Case {
        const char* lat;
        const char* lon;
        double eLat, eLon;
    };
    const Case cases[] = {
        {"5212.3456", "02101.2345", 52.20576, 21.020575},
        {"", "", 0.0, 0.0},
        {"52", "021", 52.0, 21.0},
        {"5", "2", 5.0, 2.0},
        {"52xx", "021,5", 52.0, 21.0},
        // Fixed places: a leading blank shifts the degrees and minutes apart.
        {" 5212.3456", "2101.2345", 5.0 + 212.3456 / 60.0, 210.0 + 1.2345 / 60.0},
        {"52-30", "021-30", 51.5, 20.5},
        // A field's number ends where a decimal number cannot go on.
        {"5212 30", "021&H10", 52.2, 21.0},
        {"5212D1", "02101.5E1", 52.2, 21.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.lat << "\" \"" << c.lon << '"');
        EXPECT_NEAR(NmeaLatitude(c.lat), c.eLat, 1e-12);
        EXPECT_NEAR(NmeaLongitude(c.lon), c.eLon, 1e-12);
    }
}

TEST(MapGeometry, RoundsHalvesToEvenAndSaturates) {
    constexpr std::int32_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t hi = std::numeric_limits<std::int32_t>::max();
    const struct {
        double v;
        std::int32_t e;
    } cases[] = {{0.5, 0},         {1.5, 2},       {2.5, 2},   {-0.5, 0},   {-1.5, -2},
                 {2247.574, 2248}, {4095.5, 4096}, {1e12, hi}, {-1e12, lo}, {std::nan(""), lo}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v);
        EXPECT_EQ(RoundToMapPixel(c.v), c.e);
    }
}

TEST(MapGeometry, LocateFromFieldsAndCalibration) {
    // With whole degrees and power-of-two scales the products are exact, so halves really
    // reach the rounding.
    MapCalibration halves;
    halves.mapLat1 = 10.0f;
    halves.latScale = 0.5f;
    halves.mapLon1 = 0.0f;
    halves.lonScale = 0.25f;

    const MapCalibration def = DefaultCalibration();
    const char *la = "5212.3456", *lo = "02101.2345";
    const struct {
        const char* lat;
        const char* lon;
        MapCalibration cal;
        bool mapLoaded;
        MapOrigin old;
        std::int32_t x, y;
        Placed e;
    } cases[] = {
        {la, lo, def, true, {0, 0}, 1679, 2248, {true, 1359, 2008, true, 314, 234}},
        {"09", "002", halves, true, {0, 0}, 0, 0, {true, 0, 0, false, -6, -6}},    // 0.5 to even
        {"05", "010", halves, true, {0, 0}, 2, 2, {true, 0, 0, false, -4, -4}},    // 2.5 to even
        {"", "", def, true, {3, 4}, -152339, 558396, {false, 3, 4, false, 0, 0}},  // no sentence
        {la, lo, def, false, {3, 4}, 1679, 2248, {false, 3, 4, false, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lat << " " << c.mapLoaded);
        const MapPosition p = LocateOnMap(c.lat, c.lon, c.cal, c.mapLoaded, c.old);
        EXPECT_EQ(p.x, c.x);
        EXPECT_EQ(p.y, c.y);
        ExpectPlacement(p.placement, c.e);
    }
    const MapPosition example = LocateOnMap(la, lo, def, true, {});
    EXPECT_NEAR(example.lat, 52.20576, 1e-12);
    EXPECT_NEAR(example.lon, 21.020575, 1e-12);
}

TEST(MapGeometry, CoordinateLabels) {
    const struct {
        double v;
        const char* sep;
        const char* e;
    } cases[] = {
        {0.0, ".", "0.00000"},
        {52.20576, ",", "52,20576"},
        {123.456789, ".", "123.45679"},
        {1234.5, ".", "1234.50000"},
        {-0.5, ".", "-0.50000"},
        {9.999996, ",", "10,00000"},
        {0.000004, ".", "0.00000"},
        {7.25, "\331\253", "7\331\25325000"},  // a multi-byte separator, octal escapes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.e);
        EXPECT_EQ(FormatMapDegrees(c.v, c.sep), c.e);
    }
    const MapPosition none = LocateOnMap("", "", DefaultCalibration(), true, {});
    EXPECT_EQ(MapLatLabel(none.lat, ","), "Lat: 0,00000\xC2\xB0");
    EXPECT_EQ(MapLonLabel(none.lon, ","), "Lon: 0,00000\xC2\xB0");
    EXPECT_EQ(MapLatLabel(52.20576, "."), "Lat: 52.20576\xC2\xB0");
}

}  // namespace
}  // namespace droskal
