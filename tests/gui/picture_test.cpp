// What the picture area shows on a real window: the decoded picture placed for its format,
// and the map view with its point, the map window, the labels off the map and the switching
// between the views.
#include <gtest/gtest.h>

#include "Recordings.h"
#include "decoder/Decoder.h"

namespace droskal {
namespace {

class PictureTest : public WindowTest {
  protected:
    bool ReadNext() {
        return form->FindStartUp(1) && form->FindPicStart(1) && form->ReadFrame(1, *form->frameBuf);
    }
};

// The picture drawn in Pic1 is the decoder's output, placed for the format.
TEST_F(PictureTest, ShowPicDrawsTheDecodedPictureForBothFormats) {
    struct Case {
        int width, height, drawX;
    };
    for (const Case c : {Case{640, 480, 0}, Case{320, 240, 160}}) {
        SCOPED_TRACE(c.width);
        const TestRecording rec =
            WriteRecording(Path("f.m1v"), RecordingOptions{2, c.width, c.height, 3, true});
        Start(rec.path);
        ASSERT_TRUE(ReadNext());
        ASSERT_TRUE(form->ShowPic());

        Decoder reference;
        std::vector<std::uint8_t> expected(static_cast<std::size_t>(c.width) * c.height * 3);
        ASSERT_TRUE(
            reference.DecodePicture(*form->frameBuf, c.width == 640 ? 1 : 2, expected.data()));
        const QImage& shown = form->Pic1->image();
        ASSERT_EQ(shown.height(), c.height == 480 ? 480 : 242);
        int mismatches = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const std::uint8_t* bgr =
                    &expected[(static_cast<std::size_t>(c.height - 1 - y) * c.width + x) * 3];
                if (shown.pixel(c.drawX + x, y) != qRgb(bgr[2], bgr[1], bgr[0])) ++mismatches;
            }
        }
        EXPECT_EQ(mismatches, 0);
        // Outside the picture the area keeps its dark grey.
        if (c.drawX > 0) {
            EXPECT_EQ(shown.pixelColor(10, 10), QColor(64, 64, 64));
        }
    }
}

TEST_F(PictureTest, AbandonedPictureLeavesTheImageAlone) {
    const TestRecording rec = WriteRecording(Path("r.m1v"), RecordingOptions{2});
    Start(rec.path);
    ASSERT_TRUE(ReadNext());
    form->ShowPic();
    const QImage before = form->Pic1->image();
    ASSERT_TRUE(ReadNext());
    // The first macroblock of the second picture loses its address-increment bit.
    (*form->frameBuf)[0] &= 0xFD;
    EXPECT_TRUE(form->ShowPic());
    EXPECT_EQ(form->Pic1->image(), before);
}

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
            for (int x = 0; x < 4096; ++x)
                line[x] = static_cast<uchar>((x / 64 + y / 64 * 3) & 0xFF);
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
