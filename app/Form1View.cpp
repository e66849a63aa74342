// Zoom, pan and full screen: how the picture area is shown. The persistent image stays the
// picture as drawn; only the painting scales it, so the BMP snapshot is unchanged.
#include <QBuffer>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "app/Actions.h"
#include "app/Form1.h"
#include "app/SafeSave.h"
#include "decoder/PictureFormat.h"

namespace droskal {

namespace {

constexpr int kMostZoomStep = 6;  // 8x
constexpr int kWheelNotch = 120;  // eighths of a degree

double StepFactor(int step) {
    const double whole = std::ldexp(1.0, step / 2);
    return step % 2 == 0 ? whole : whole * std::sqrt(2.0);
}

// Whole notches out of a wheel's deltas; a touchpad's small ones add up.
int Notches(int& pending, int delta) {
    pending += delta;
    const int notches = pending / kWheelNotch;
    pending -= notches * kWheelNotch;
    return notches;
}

}  // namespace

double Form1::ZoomFactor() const {
    return StepFactor(zoomStep_);
}

QRectF Form1::PictureContent() const {
    const QRectF whole(QPointF(0, 0), QSizeF(Pic1->image().size()));
    const PictureFormatInfo* info = FormatInfo(state.picFormat);
    if (chkGps->isChecked() || info == nullptr) return whole;
    return QRectF(info->drawX, 0, info->width, std::min<double>(info->height, whole.height()));
}

bool Form1::ViewOf(QRectF& source, QRectF& target) const {
    // The map view is never zoomed; in full screen its window stays unscaled (the box
    // itself is centred).
    if (chkGps->isChecked() || (zoomStep_ == 0 && !fullScreen_)) return false;
    const QRectF content = PictureContent();
    if (content.isEmpty()) return false;
    target = content;  // in the window the picture keeps its place
    double fit = 1;
    if (fullScreen_) {
        const QSizeF area = Pic1->size();
        fit = std::min(area.width() / content.width(), area.height() / content.height());
        const QSizeF size = content.size() * fit;
        target = QRectF(
            QPointF((area.width() - size.width()) / 2, (area.height() - size.height()) / 2), size);
    }
    const double zoom = ZoomFactor();
    const QSizeF size = content.size() / zoom;
    QPointF corner = zoomCentre_ - QPointF(size.width() / 2, size.height() / 2);
    corner.setX(std::clamp(corner.x(), content.left(), content.right() - size.width()));
    corner.setY(std::clamp(corner.y(), content.top(), content.bottom() - size.height()));
    if (std::abs(fit * zoom - std::round(fit * zoom)) < 1e-9) {
        corner = QPointF(std::round(corner.x()), std::round(corner.y()));  // whole pixel blocks
    }
    source = QRectF(corner, size);
    return true;
}

void Form1::ZoomBy(int steps, QPointF at) {
    if (chkGps->isChecked() || state.picFormat == 0) return;
    const int next = std::clamp(zoomStep_ + steps, 0, kMostZoomStep);
    if (next == zoomStep_) return;
    QRectF source = PictureContent(), target = source;
    ViewOf(source, target);
    // The image point under `at` stays under it.
    const QPointF point =
        source.topLeft() + (at - target.topLeft()) * (source.width() / target.width());
    zoomStep_ = next;
    const double scale = target.width() / (PictureContent().width() / ZoomFactor());
    const QPointF corner = point - (at - target.topLeft()) / scale;
    const QSizeF size = PictureContent().size() / ZoomFactor();
    zoomCentre_ = corner + QPointF(size.width() / 2, size.height() / 2);
    Pic1->update();
}

void Form1::ZoomBy(int steps) {
    QRectF source = PictureContent(), target = source;
    ViewOf(source, target);
    ZoomBy(steps, target.center());
}

void Form1::ZoomReset() {
    zoomStep_ = 0;
    Pic1->update();
}

void Form1::LayOutFullScreen() {
    if (!fullScreen_) return;
    fraCmd->move((width() - fraCmd->width()) / 2, height() - fraCmd->height());
    const QRect area(0, 0, width(), height() - fraCmd->height());
    if (chkGps->isChecked()) {
        // The map window unscaled in the middle, so the point keeps its place on it.
        const QSize size = Pic1->image().size();
        Pic1->setDisplayRect(
            QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
    } else {
        Pic1->setDisplayRect(area);
    }
    Pic1->update();
}

void Form1::ToggleFullScreen() {
    if (fullScreen_) {
        LeaveFullScreen();
        return;
    }
    normalGeometry_ = geometry();
    normalFraPos_ = fraCmd->pos();
    fullScreen_ = true;
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    showFullScreen();
    LayOutFullScreen();
}

void Form1::LeaveFullScreen() {
    if (!fullScreen_) return;
    fullScreen_ = false;
    Pic1->setDisplayRect(QRect());
    showNormal();
    setFixedSize(normalGeometry_.size());
    setGeometry(normalGeometry_);
    fraCmd->move(normalFraPos_);
    // A format or view changed meanwhile is laid out as the window does it.
    SetFormat(chkGps->isChecked() ? 1 : state.picFormat);
    Pic1->update();
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutFullScreen();
}

QImage Form1::ShownView() const {
    return Pic1->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void Form1::SaveViewPng() {
    if (state.playing) return;
    if (pngFileName_.isEmpty() && !state.bmpFileName.isEmpty()) {
        pngFileName_ = state.bmpFileName.left(state.bmpFileName.lastIndexOf('.')) + ".png";
    }
    const QString name = desktop_.SaveFileDialog("*.png|*.png", pngFileName_);
    if (name.isEmpty()) return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!ShownView().save(&buffer, "PNG")) return;
    const bool saved = SaveReporting(name, [&png](QSaveFile& file, QString& why) {
        return WriteAll(file, reinterpret_cast<const std::uint8_t*>(png.constData()), png.size(),
                        why);
    });
    if (saved) pngFileName_ = name;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fraCmd && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (!shFile->geometry().contains(wheel->position().toPoint())) return false;
        const int notches = Notches(wheelBar_, wheel->angleDelta().y());
        StepPictures(-10 * notches);  // down = forward
        return true;
    }
    if (watched != Pic1) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(event);
            if (wheel->modifiers() & Qt::ControlModifier) {
                ZoomBy(Notches(wheelZoom_, wheel->angleDelta().y()), wheel->position());
            } else {
                StepPictures(-Notches(wheelPicture_, wheel->angleDelta().y()));
            }
            return true;
        }
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
            ToggleFullScreen();
            return true;
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || zoomStep_ == 0 || chkGps->isChecked())
                return false;
            panning_ = true;
            panFrom_ = mouse->position();
            Pic1->setCursor(Qt::ClosedHandCursor);
            return true;
        }
        case QEvent::MouseMove: {
            if (!panning_) return false;
            auto* mouse = static_cast<QMouseEvent*>(event);
            QRectF source, target;
            if (ViewOf(source, target)) {
                // Start from the place actually shown, so a pan beyond the edge does not build up.
                zoomCentre_ = source.center() -
                              (mouse->position() - panFrom_) * (source.width() / target.width());
                Pic1->update();
            }
            panFrom_ = mouse->position();
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (!panning_) return false;
            panning_ = false;
            Pic1->unsetCursor();
            return true;
        default:
            return false;
    }
}

}  // namespace droskal
