// The position bar: drag the thumb to jump, click beside it to step one picture.
// X and Y arrive in fraCmd's twips; the tests here use the bar's twip geometry.
#include <cmath>

#include "app/Form1.h"

namespace droskal {

namespace {
constexpr float kThumbHalfWidth = 60;  // twips: 4 pixels either side of the thumb

std::int64_t RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    auto result = static_cast<std::int64_t>(lower);
    if (fraction > 0.5 || (fraction == 0.5 && (result % 2) != 0)) ++result;
    return result;
}
}  // namespace

bool Form1::InThumbZone(float X, float Y) const {
    const float thumb = shPlay->Left() + shPlay->Width();
    return thumb - kThumbHalfWidth < X && X < thumb + kThumbHalfWidth && shFile->Top() < Y &&
           Y < shFile->Top() + shFile->Height();
}

bool Form1::InsideBar(float X, float Y) const {
    return shFile->Left() < X && X < shFile->Left() + shFile->Width() && shFile->Top() < Y &&
           Y < shFile->Top() + shFile->Height();
}

void Form1::fraCmd_MouseDown(int Button, int /*Shift*/, float X, float Y) {
    if (Button != 1 || !state.barEnabled || !streamFile.isOpen()) return;
    if (InThumbZone(X, Y)) {
        setCursor(Qt::SizeHorCursor);
        state.barDragging = true;
    } else if (InsideBar(X, Y)) {
        if (X > shPlay->Left() + shPlay->Width()) {
            cmdUp_Click();
        } else {
            cmdDown_Click();
        }
    } else {
        setCursor(Qt::ArrowCursor);
    }
}

void Form1::fraCmd_MouseMove(int /*Button*/, int /*Shift*/, float X, float Y) {
    if (!state.barEnabled) return;
    if (state.barDragging) {
        if (InsideBar(X, Y)) {
            shPlay->setWidth(X - shFile->Left());
            const float percent = shPlay->Width() * 100 / shFile->Width();
            lblPlay->setText(QString::number(static_cast<long long>(std::floor(percent))) + "%");
            lblPlay->setLeft(shPlay->Left() + shPlay->Width() - lblPlay->Width() * 0.5f);
            setCursor(Qt::SizeHorCursor);
        } else {
            // The thumb stays where it was last drawn; the drag goes on.
            setCursor(Qt::ArrowCursor);
        }
        return;
    }
    setCursor(InThumbZone(X, Y) ? Qt::SizeHorCursor : Qt::ArrowCursor);
}

void Form1::fraCmd_MouseUp(int /*Button*/, int /*Shift*/, float /*X*/, float /*Y*/) {
    if (!state.barDragging) return;
    setCursor(Qt::ArrowCursor);
    state.barDragging = false;
    if (!streamFile.isOpen()) return;
    SeekToThumb();
}

void Form1::SeekToThumb() {
    const float share = shPlay->Width() / shFile->Width();
    std::int64_t target =
        RoundHalfEven(static_cast<double>(share) * static_cast<double>(state.fileLength));
    if (target < 1) target = 1;  // a tiny file and a thumb at the very left: start at byte 1
    std::uint8_t skipped = 0;
    streamFile.readAt(target, skipped);

    if (!FindStartUp(1) || !FindPicStart(1)) {
        UpEnd();
        return;
    }
    if (!ReadFrame(1, *frameBuf)) return;
    ShowReadPicture();
}

}  // namespace droskal
