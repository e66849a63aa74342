// The searches and the decoder driven on a real window: labels, position display and the
// drawn picture follow each picture.
#include <QTemporaryDir>

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "Recordings.h"
#include "app/Form1.h"
#include "app/PositionCounter.h"
#include "decoder/Decoder.h"

namespace droskal {
namespace {

class PictureTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeDesktop desktop;
    std::unique_ptr<Form1> form;

    Form1& Start(const QString& path) {
        form = std::make_unique<Form1>(desktop, StartupInfo{path, dir.path(), "Droskal"});
        form->Form_Load();
        return *form;
    }
    bool ReadNext() {
        return form->FindStartUp(1) && form->FindPicStart(1) && form->ReadFrame(1, *form->frameBuf);
    }
    bool ReadPrevious() {
        return form->FindStartDown(1) && form->FindPicStart(1) &&
               form->ReadFrame(1, *form->frameBuf);
    }
};

TEST_F(PictureTest, SearchesUpdateLabelsAndPositionDisplay) {
    const TestRecording rec = WriteRecording(dir.path() + "/r.m1v", RecordingOptions{4});
    Start(rec.path);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(ReadNext());
        EXPECT_EQ(form->state.picturePos, rec.pictures[i].picturePos);
        const int kmh = static_cast<int>(std::floor((10 + i) * 1.852 + 0.5));
        EXPECT_EQ(form->lblSpeed->text(), QString("%1 km/h").arg(kmh));
        EXPECT_EQ(form->lblTime->text(), QString("30.03.2006  22:34:%1").arg(10 + i));
        EXPECT_TRUE(form->lblSpeed->isVisibleTo(form.get()));
        EXPECT_TRUE(form->chkGps->isVisibleTo(form.get()));
        // The display shows where FindPicStart stopped: the slice start code.
        const CounterFigures figures =
            CounterAt(rec.pictures[i].slicePos, form->state.fileLength, 9375.0f);
        EXPECT_EQ(form->lblPlay->text(), QString::fromStdString(figures.caption));
        EXPECT_FLOAT_EQ(form->shPlay->Width(), figures.playWidth);
        EXPECT_FLOAT_EQ(form->lblPlay->Left(), 120 + figures.playWidth - 187.5f);
    }
    EXPECT_FALSE(form->FindStartUp(1));
    for (int i = 2; i >= 0; --i) {
        ASSERT_TRUE(ReadPrevious());
        EXPECT_EQ(form->state.picturePos, rec.pictures[i].picturePos);
        EXPECT_EQ(form->lblTime->text(), QString("30.03.2006  22:34:%1").arg(10 + i));
    }
    EXPECT_FALSE(form->FindStartDown(1));
}

// The picture drawn in Pic1 is the decoder's output, placed for the format.
TEST_F(PictureTest, ShowPicDrawsTheDecodedPictureForBothFormats) {
    struct Case {
        int width, height, drawX;
    };
    for (const Case c : {Case{640, 480, 0}, Case{320, 240, 160}}) {
        SCOPED_TRACE(c.width);
        const TestRecording rec = WriteRecording(dir.path() + "/f.m1v",
                                                 RecordingOptions{2, c.width, c.height, 3, true});
        Start(rec.path);
        ASSERT_TRUE(ReadNext());
        ASSERT_TRUE(form->ShowPic());

        Decoder reference;
        std::vector<std::uint8_t> expected(static_cast<std::size_t>(c.width) * c.height * 3);
        ASSERT_TRUE(reference.DecodePicture(*form->frameBuf, c.width == 640 ? 1 : 2,
                                            expected.data()));
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
        // And the picture resembles what was encoded.
        const auto rgb = TestPictureRgb(0, c.width, c.height);
        double error = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const QRgb p = shown.pixel(c.drawX + x, y);
                error += std::abs(qRed(p) - rgb[(static_cast<std::size_t>(y) * c.width + x) * 3]);
            }
        }
        EXPECT_LT(error / (c.width * c.height), 6.0);
    }
}

TEST_F(PictureTest, AbandonedPictureLeavesTheImageAlone) {
    const TestRecording rec = WriteRecording(dir.path() + "/r.m1v", RecordingOptions{2});
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

TEST_F(PictureTest, WithoutAFormatShowPicDrawsNothing) {
    Start(QString());
    const QImage before = form->Pic1->image();
    EXPECT_TRUE(form->ShowPic());
    EXPECT_EQ(form->Pic1->image(), before);
}

}  // namespace
}  // namespace droskal
