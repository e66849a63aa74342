// The map view on a real window: the point, the map window, the labels off the map, and
// switching between the views.
#include <gtest/gtest.h>

#include "Recordings.h"

namespace droskal {
namespace {

class MapViewTest : public WindowTest {
protected:
    // A 4096 x 4096 map whose colour encodes its 64-pixel tile, so a drawn window tells
    // where it was taken from.
    static QImage TileMap() {
        QImage map(4096, 4096, QImage::Format_Indexed8);
        map.setColorCount(256);
        for (int i = 0; i < 256; ++i) map.setColor(i, qRgb(i, 255 - i, (i * 7) & 0xFF));
        for (int y = 0; y < 4096; ++y) {
            uchar* line = map.scanLine(y);
            for (int x = 0; x < 4096; ++x) line[x] = static_cast<uchar>((x / 64 + y / 64 * 3) & 0xFF);
        }
        return map;
    }

    void StartWith(bool withMap) {
        Start(WriteRecording(Path("r.m1v"), RecordingOptions{2}).path);
        if (withMap) form->state.mapPicture = TileMap();
    }
    void ShowMap(bool on) {
        form->chkGps->setChecked(on);
        form->chkGps_Click();
    }
    void Position(const char* lat, const char* lon, bool valid) {
        form->state.gpsLat = lat;
        form->state.gpsLon = lon;
        form->state.gpsValid = valid;
    }
};

TEST_F(MapViewTest, WorkedExampleDrawsTheWindowAndPlacesThePoint) {
    StartWith(true);
    Position("5212.3456", "02101.2345", true);
    ShowMap(true);
    EXPECT_EQ(form->state.mapOriginX, 1359);
    EXPECT_EQ(form->state.mapOriginY, 2008);
    EXPECT_EQ(form->shPoint->geometry().topLeft(), QPoint(314, 234));
    EXPECT_EQ(form->shPoint->fillColor(), QColor(255, 0, 0));
    EXPECT_TRUE(form->shPoint->isVisibleTo(form->Pic1));
    EXPECT_TRUE(form->Pic1->isVisibleTo(form.get()));
    EXPECT_EQ(form->Pic1->height(), 480);
    const QImage map = TileMap();
    EXPECT_EQ(form->Pic1->image().pixel(0, 0), map.pixel(1359, 2008));
    EXPECT_EQ(form->Pic1->image().pixel(639, 479), map.pixel(1359 + 639, 2008 + 479));

    // Status V: the same place, a blue point, and no redraw for a move inside the band.
    const QImage drawn = form->Pic1->image();
    Position("5212.3556", "02101.2445", false);
    form->ShowPos();
    EXPECT_EQ(form->shPoint->fillColor(), QColor(0, 0, 255));
    EXPECT_EQ(form->state.mapOriginX, 1359);
    EXPECT_EQ(form->Pic1->image(), drawn);
}

TEST_F(MapViewTest, OffTheMapShowsTheDegreesBeneathThePicture) {
    for (bool withMap : {true, false}) {
        SCOPED_TRACE(withMap);
        StartWith(withMap);
        form->state.mapOriginX = 100;
        Position(withMap ? "5000.0000" : "5212.3456", "02101.2345", true);
        ShowMap(true);
        EXPECT_FALSE(form->Pic1->isVisibleTo(form.get()));
        const QString point = QLocale().decimalPoint();
        EXPECT_EQ(form->lblLat->text(),
                  QString("Lat: %1°").arg(withMap ? "50.00000" : "52.20576").replace('.', point));
        EXPECT_EQ(form->lblLon->text(), QString("Lon: 21.02058°").replace('.', point));
        EXPECT_EQ(form->state.mapOriginX, 100);  // the origin stays
        EXPECT_EQ(form->size(), QSize(642, 625));
    }
}

TEST_F(MapViewTest, BackToVideoRereadsAndDecodesTheCurrentPicture) {
    StartWith(true);
    form->cmdUp_Click();
    const QImage picture = form->Pic1->image();
    const std::int64_t picturePos = form->state.picturePos;
    ShowMap(true);
    ASSERT_EQ(form->Pic1->height(), 480);
    form->state.nmeaText.clear();
    form->lblTime->clear();
    ShowMap(false);
    EXPECT_FALSE(form->shPoint->isVisibleTo(form->Pic1));
    EXPECT_EQ(form->Pic1->height(), 242);
    EXPECT_EQ(form->Pic1->image(), picture);
    EXPECT_EQ(form->lblTime->text(), "30.03.2006  22:34:10");
    EXPECT_EQ(form->state.picturePos, picturePos);
    // The next forward step goes on with the picture after it.
    form->cmdUp_Click();
    EXPECT_GT(form->state.picturePos, picturePos);
}

TEST_F(MapViewTest, BackToVideoDuringPlaybackLeavesThePictureToTheLoop) {
    StartWith(true);
    form->cmdUp_Click();
    ShowMap(true);
    form->state.playing = true;
    const std::int64_t readPos = form->streamFile.readPosition();
    ShowMap(false);
    EXPECT_EQ(form->streamFile.readPosition(), readPos);
    EXPECT_EQ(form->Pic1->image().pixelColor(300, 100), QColor(64, 64, 64));  // cleared
}

TEST_F(MapViewTest, StepsInMapViewMoveThePointInsteadOfDecoding) {
    StartWith(true);
    ShowMap(true);
    int shown = 0;
    form->onPictureShown = [&] { ++shown; };
    const QImage before = form->Pic1->image();
    form->cmdUp_Click();
    EXPECT_EQ(shown, 1);
    // The test recording's point (52.2058 N, 21.0206 E) lies on the map.
    EXPECT_TRUE(form->Pic1->isVisibleTo(form.get()));
    EXPECT_NE(form->Pic1->image(), before);
    EXPECT_EQ(form->cmdDown->pictureKey(), "Down");
}

}  // namespace
}  // namespace droskal
