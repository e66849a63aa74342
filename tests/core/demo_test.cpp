#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include "config/IniFile.h"
#include "config/ValNumber.h"
#include "gps/MapGeometry.h"
#include "gps/Nmea.h"
#include "tools/generators/DemoMap.h"
#include "tools/generators/DemoRoute.h"
#include "tools/generators/IndexedImage.h"

namespace droskal {
namespace {

std::vector<std::string> Fields(const std::string& sentence) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = sentence.find(',', start)) != std::string::npos;
         start = comma + 1)
        fields.push_back(sentence.substr(start, comma - start));
    fields.push_back(sentence.substr(start));
    return fields;
}

class DemoDriveTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        layout_ = new DemoMapLayout(MakeDemoMapLayout());
        ground_ = new IndexedImage(RenderDemoMap(*layout_));
        sentences_ = new std::vector<std::string>(DemoSentences(PlanDemoDrive(*layout_).states));
    }
    static void TearDownTestSuite() {
        delete sentences_;
        delete ground_;
        delete layout_;
    }
    static DemoMapLayout* layout_;
    static IndexedImage* ground_;
    static std::vector<std::string>* sentences_;
};

DemoMapLayout* DemoDriveTest::layout_ = nullptr;
IndexedImage* DemoDriveTest::ground_ = nullptr;
std::vector<std::string>* DemoDriveTest::sentences_ = nullptr;

TEST_F(DemoDriveTest, EveryPositionLiesOnAStreetOfTheMap) {
    ASSERT_GE(sentences_->size(), 600u);
    MapOrigin origin;
    int redraws = 0;
    for (std::size_t i = 0; i < sentences_->size(); ++i) {
        SCOPED_TRACE(testing::Message() << "picture " << i << ": " << (*sentences_)[i]);
        NmeaDisplay shown;
        ASSERT_TRUE(ParseNmea((*sentences_)[i], shown));
        const MapPosition p =
            LocateOnMap(shown.gpsLat, shown.gpsLon, DefaultCalibration(), true, origin);
        ASSERT_TRUE(p.placement.onMap);
        const StreetDistance street = NearestStreet(*layout_, {double(p.x), double(p.y)});
        EXPECT_LE(street.distance, street.width / 2 + 1.0);
        const std::uint8_t drawn = ground_->at(p.x, p.y);
        EXPECT_TRUE(drawn == kMapStreet || drawn == kMapMainRoad) << int(drawn);
        redraws += p.placement.redraw;
        origin = p.placement.origin;
    }
    // The window follows the car, but not on every picture.
    EXPECT_GE(redraws, 1);
    EXPECT_LT(redraws, 20);
}

// A tenth of a second from sentence to sentence, speeds a car can reach and change, stops,
// and one stretch of seconds without a fix.
TEST_F(DemoDriveTest, TimeSpeedAndFixBehaveLikeARecorder) {
    double previousTime = -1.0, previousKmh = 0.0, topKmh = 0.0;
    std::vector<int> lost;
    int stops = 0;
    for (std::size_t i = 0; i < sentences_->size(); ++i) {
        const std::vector<std::string> f = Fields((*sentences_)[i]);
        ASSERT_GE(f.size(), 10u);
        ASSERT_EQ(f[1].size(), 10u);
        const double t = ValNumber(f[1].substr(0, 2)) * 3600 + ValNumber(f[1].substr(2, 2)) * 60 +
                         ValNumber(f[1].substr(4));
        if (previousTime >= 0) {
            EXPECT_NEAR(t - previousTime, 0.1, 1e-6) << i;
        }
        previousTime = t;
        ASSERT_TRUE(f[2] == "A" || f[2] == "V") << i;
        if (f[2] == "V") lost.push_back(static_cast<int>(i));
        const double kmh = ValNumber(f[7]) * 1.852;
        EXPECT_LE(kmh, 70.0) << i;
        // 2 km/h in a tenth of a second is braking at 5.6 m/s^2, more than a driver does.
        EXPECT_LE(std::fabs(kmh - previousKmh), 2.0) << i;
        stops += kmh == 0.0 && previousKmh > 0.0 && topKmh > 10.0;
        topKmh = std::max(topKmh, kmh);
        previousKmh = kmh;
    }
    ASSERT_GE(lost.size(), 20u);  // seconds, not a glitch
    EXPECT_LE(lost.size(), 100u);
    EXPECT_EQ(lost.back() - lost.front() + 1, static_cast<int>(lost.size())) << "one stretch";
    EXPECT_GE(stops, 1);
    EXPECT_GE(topKmh, 35.0);
}

TEST(DemoMapGif, WrittenPixelsReadBack) {
    IndexedImage im;
    im.width = 37;
    im.height = 5;
    im.palette = {{1, 2, 3}, {250, 0, 0}, {0, 250, 0}, {0, 0, 250}, {9, 8, 7}};
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            im.pixels.push_back(static_cast<std::uint8_t>((x * 3 + y * 7) % 5));
    const std::string path = testing::TempDir() + "droskal_demo_map_test.gif";
    std::string error;
    ASSERT_TRUE(WriteGif(path, im, &error)) << error;

    int code = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
    ASSERT_NE(gif, nullptr) << GifErrorString(code);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    EXPECT_EQ(gif->SWidth, im.width);
    EXPECT_EQ(gif->SHeight, im.height);
    ASSERT_EQ(gif->ImageCount, 1);
    ASSERT_NE(gif->SColorMap, nullptr);
    EXPECT_EQ(gif->SColorMap->Colors[1].Red, 250);
    EXPECT_EQ(gif->SColorMap->Colors[4].Blue, 7);
    EXPECT_TRUE(std::equal(im.pixels.begin(), im.pixels.end(), gif->SavedImages[0].RasterBits));
    DGifCloseFile(gif, &code);
    std::remove(path.c_str());

    EXPECT_FALSE(WriteGif("/nonexistent-dir/map.gif", im, &error));
    EXPECT_FALSE(error.empty());
    im.pixels.pop_back();
    EXPECT_FALSE(WriteGif(path, im));
}

TEST(DemoMapGif, DegreeLinesLieWhereTheCalibrationPutsThem) {
    const IndexedImage map = AddDegreeGrid(RenderDemoMap(MakeDemoMapLayout()));
    ASSERT_EQ(map.width, 4096);
    ASSERT_EQ(map.height, 4096);
    const MapCalibration cal = DefaultCalibration();
    // 52.30 N and 21.00 E; column 2 and row 2 miss the labels.
    const int row = static_cast<int>(std::lround((cal.mapLat1 - 52.30) * cal.latScale));
    const int column = static_cast<int>(std::lround((21.00 - cal.mapLon1) * cal.lonScale));
    EXPECT_EQ(map.at(2, row), kMapGridLine);
    EXPECT_EQ(map.at(column, 2), kMapGridLine);
    EXPECT_NE(map.at(2, row + 1), kMapGridLine);
    EXPECT_NE(map.at(column + 1, 2), kMapGridLine);
}

}  // namespace
}  // namespace droskal
