#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/IniFile.h"
#include "gps/MapGeometry.h"

namespace droskal {
namespace {

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
    struct Case {
        const char* what;
        std::int32_t x, y;
        bool mapLoaded;
        MapOrigin old;
        Placed e;
    };
    const Case cases[] = {
        {"worked example", 1679, 2248, true, Origin(0, 0), {true, 1359, 2008, true, 314, 234}},
        {"band inner edges stay", 1160, 1120, true, Origin(1000, 1000), {true, 1000, 1000, false, 154, 114}},
        {"band outer edges stay", 1480, 1360, true, Origin(1000, 1000), {true, 1000, 1000, false, 474, 354}},
        {"159 across recentres", 1159, 1200, true, Origin(1000, 1000), {true, 839, 1000, true, 314, 194}},
        {"481 across recentres", 1481, 1200, true, Origin(1000, 1000), {true, 1161, 1000, true, 314, 194}},
        {"119 down recentres", 1300, 1119, true, Origin(1000, 1000), {true, 1000, 879, true, 294, 234}},
        {"361 down recentres", 1300, 1361, true, Origin(1000, 1000), {true, 1000, 1121, true, 294, 234}},
        {"top-left corner clamps to 0", 100, 50, true, Origin(1000, 1000), {true, 0, 0, true, 94, 44}},
        {"map corner 0,0 from origin 0,0", 0, 0, true, Origin(0, 0), {true, 0, 0, false, -6, -6}},
        {"right and bottom edges clamp", 4095, 4095, true, Origin(0, 0), {true, 3456, 3616, true, 633, 473}},
        {"x 4096 is off", 4096, 100, true, Origin(7, 9), {false, 7, 9, false, 0, 0}},
        {"y -1 is off", 100, -1, true, Origin(7, 9), {false, 7, 9, false, 0, 0}},
        {"x -1 is off", -1, 100, true, Origin(7, 9), {false, 7, 9, false, 0, 0}},
        {"y 4096 is off", 100, 4096, true, Origin(7, 9), {false, 7, 9, false, 0, 0}},
        {"no map is off", 1679, 2248, false, Origin(7, 9), {false, 7, 9, false, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectPlacement(PlaceOnMap(c.x, c.y, c.mapLoaded, c.old), c.e);
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
    MapCalibration edge = halves;
    edge.latScale = 1.0f;
    edge.lonScale = 1024.0f;

    struct Case {
        const char* what;
        const char* lat;
        const char* lon;
        MapCalibration cal;
        bool mapLoaded;
        MapOrigin old;
        std::int32_t x, y;
        Placed e;
    };
    const MapCalibration def = DefaultCalibration();
    const Case cases[] = {
        {"worked example", "5212.3456", "02101.2345", def, true, Origin(0, 0), 1679, 2248, {true, 1359, 2008, true, 314, 234}},
        {"halves to even 0.5", "09", "002", halves, true, Origin(0, 0), 0, 0, {true, 0, 0, false, -6, -6}},
        {"halves to even 1.5", "07", "006", halves, true, Origin(0, 0), 2, 2, {true, 0, 0, false, -4, -4}},
        {"halves to even 2.5", "05", "010", halves, true, Origin(0, 0), 2, 2, {true, 0, 0, false, -4, -4}},
        {"row -1", "11", "001", edge, true, Origin(3, 4), 1024, -1, {false, 3, 4, false, 0, 0}},
        {"column 4096", "09", "004", edge, true, Origin(3, 4), 4096, 1, {false, 3, 4, false, 0, 0}},
        {"no sentence yet", "", "", def, true, Origin(3, 4), -152339, 558396, {false, 3, 4, false, 0, 0}},
        {"no map", "5212.3456", "02101.2345", def, false, Origin(3, 4), 1679, 2248, {false, 3, 4, false, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MapPosition p = LocateOnMap(c.lat, c.lon, c.cal, c.mapLoaded, c.old);
        EXPECT_EQ(p.x, c.x);
        EXPECT_EQ(p.y, c.y);
        ExpectPlacement(p.placement, c.e);
    }
    const MapPosition example =
        LocateOnMap("5212.3456", "02101.2345", DefaultCalibration(), true, {});
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
        {7.25, "\xD9\xAB",
         "7\xD9\xAB"
         "25000"},  // a multi-byte separator
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
