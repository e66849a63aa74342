// What the picture area shows on a real window: the decoded picture placed for its format,
// and the map view with its point, the map window, the labels off the map and the switching
// between the views.
#include <gtest/gtest.h>

#include "Fixture.h"
#include "decoder/Decoder.h"

namespace droskal {
namespace {

// The picture drawn in Pic1 is the decoder's output, placed for the format; outside the
// picture the area keeps its dark grey. A picture the decoder abandons leaves it alone.
TEST_F(WindowTest, ShowPicDrawsTheDecodedPictureForBothFormats) {
    for (const auto& [width, height, drawX] :
         {std::tuple{640, 480, 0}, std::tuple{320, 240, 160}}) {
        SCOPED_TRACE(width);
        Start(WriteRecording(Path("f.m1v"), RecordingOptions{2, width, height, 3, true}).path);
        const auto readNext = [this] {
            return form->FindStartUp(1) && form->FindPicStart(1) &&
                   form->ReadFrame(1, *form->frameBuf);
        };
        ASSERT_TRUE(readNext() && form->ShowPic());
        Decoder reference;
        std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3);
        ASSERT_TRUE(reference.DecodePicture(*form->frameBuf, width == 640 ? 1 : 2, bgr.data()));
        const QImage expected =
            QImage(bgr.data(), width, height, width * 3, QImage::Format_BGR888).mirrored();
        const QImage& shown = form->Pic1->image();
        ASSERT_EQ(shown.height(), height == 480 ? 480 : 242);
        EXPECT_EQ(shown.copy(drawX, 0, width, height).convertToFormat(QImage::Format_RGB32),
                  expected.convertToFormat(QImage::Format_RGB32));
        EXPECT_TRUE(drawX == 0 || shown.pixelColor(10, 10) == QColor(64, 64, 64));

        const QImage before = shown;
        ASSERT_TRUE(readNext());
        (*form->frameBuf)[0] &= 0xFD;  // the first macroblock loses its address-increment bit
        EXPECT_TRUE(form->ShowPic());
        EXPECT_EQ(form->Pic1->image(), before);
    }
}

class MapViewTest : public RecordingTest {
  protected:
    // A 4096 x 4096 map whose colour encodes its 64-pixel tile, so a drawn window tells
    // where it was taken from.
    static QImage TileMap() {
        QImage map(4096, 4096, QImage::Format_Indexed8);
        map.setColorCount(256);
        for (int i = 0; i < 256; ++i) map.setColor(i, qRgb(i, 255 - i, (i * 7) & 0xFF));
        for (int y = 0; y < 4096; ++y) {
            uchar* line = map.scanLine(y);
            for (int x = 0; x < 4096; ++x)
                line[x] = static_cast<uchar>((x / 64 + y / 64 * 3) & 0xFF);
        }
        return map;
    }

    void StartWith(bool withMap) {
        Open({2});
        if (withMap) form->state.mapPicture = TileMap();
    }
    void Position(const char* lat, const char* lon, bool valid) {
        form->state.gpsLat = lat;
        form->state.gpsLon = lon;
        form->state.gpsValid = valid;
    }
};

TEST_F(MapViewTest, WorkedExampleDrawsTheWindowAndPlacesThePointOrTheDegrees) {
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

    // Off the map, or without one, the degrees stand beneath the picture; the origin stays.
    const QString point = QLocale().decimalPoint();
    for (bool withMap : {true, false}) {
        SCOPED_TRACE(withMap);
        if (!withMap) StartWith(false);
        ShowMap(false);
        Position(withMap ? "5000.0000" : "5212.3456", "02101.2345", true);
        ShowMap(true);
        EXPECT_FALSE(form->Pic1->isVisibleTo(form.get()));
        EXPECT_EQ(form->lblLat->text(),
                  QString("Lat: %1°").arg(withMap ? "50.00000" : "52.20576").replace('.', point));
        EXPECT_EQ(form->lblLon->text(), QString("Lon: 21.02058°").replace('.', point));
        EXPECT_EQ(form->state.mapOriginX, withMap ? 1359 : 0);
        EXPECT_EQ(form->size(), QSize(642, 625));
    }
}

// Steps in map view move the point instead of decoding; back to video the current picture is
// read and decoded anew, unless playback runs, which shows the next picture itself.
TEST_F(MapViewTest, StepsInMapViewAndBackToVideo) {
    StartWith(true);
    form->cmdUp_Click();
    const QImage picture = form->Pic1->image();
    ShowMap(true);
    ASSERT_EQ(form->Pic1->height(), 480);
    const QImage map = form->Pic1->image();
    form->cmdUp_Click();
    EXPECT_EQ(form->cmdDown->pictureKey(), "Down");
    form->cmdDown_Click();
    // The test recording's point (52.2058 N, 21.0206 E) lies on the map; no picture is
    // decoded over it.
    EXPECT_TRUE(form->Pic1->isVisibleTo(form.get()));
    EXPECT_EQ(form->Pic1->image(), map);
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 0}));
    form->state.nmeaText.clear();
    form->lblTime->clear();
    ShowMap(false);
    EXPECT_FALSE(form->shPoint->isVisibleTo(form->Pic1));
    EXPECT_EQ(form->Pic1->height(), 242);
    EXPECT_EQ(form->Pic1->image(), picture);
    EXPECT_EQ(form->lblTime->text(), "30.03.2006  22:34:10");
    EXPECT_EQ(Index(), 0);
    form->cmdUp_Click();  // the next forward step goes on with the picture after it
    EXPECT_EQ(Index(), 1);

    ShowMap(true);
    form->state.playing = true;
    const std::int64_t readPos = form->streamFile.readPosition();
    ShowMap(false);
    EXPECT_EQ(form->streamFile.readPosition(), readPos);
    EXPECT_EQ(form->Pic1->image().pixelColor(300, 100), QColor(64, 64, 64));  // cleared
}

}  // namespace
}  // namespace droskal
