// The decoder driven on a real window: the drawn picture follows each picture read.
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
        const TestRecording rec = WriteRecording(Path("f.m1v"), RecordingOptions{2, c.width, c.height, 3, true});
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

}  // namespace
}  // namespace droskal
