#include <QImageReader>

#include "render/MapSource.h"

namespace droskal::render {

namespace {
constexpr double kMapSide = 4096;  // the window's arithmetic for every calibrated picture
constexpr int kLargestSide = 16384;
}  // namespace

CalibratedPicture::CalibratedPicture(QString path, const MapCalibration& calibration)
    : path_(std::move(path)), calibration_(calibration) {}

CalibratedPicture::CalibratedPicture(QString label, QImage picture,
                                     const MapCalibration& calibration)
    : path_(std::move(label)),
      calibration_(calibration),
      picture_(std::move(picture)),
      tried_(true) {}

bool CalibratedPicture::load() {
    if (!tried_) {
        tried_ = true;
        QImageReader reader(path_);
        const QSize size = reader.size();
        if (size.isValid() && size.width() <= kLargestSide && size.height() <= kLargestSide) {
            picture_ = reader.read();
        }
    }
    return !picture_.isNull();
}

bool CalibratedPicture::covers(const Projection& projection, QPointF world) {
    if (projection.kind != Projection::Kind::Calibrated || projection.scale <= 0) return false;
    const QPointF map = world / projection.scale;
    return map.x() >= 0 && map.y() >= 0 && map.x() < kMapSide && map.y() < kMapSide && load();
}

bool CalibratedPicture::paint(QPainter& painter, const Projection& projection, const QRectF& view) {
    if (projection.kind != Projection::Kind::Calibrated || projection.scale <= 0 || !load())
        return false;
    const double s = projection.scale;
    const QRectF source(view.x() / s, view.y() / s, view.width() / s, view.height() / s);
    const QRectF inside = source.intersected(QRectF(picture_.rect()));
    if (inside.isEmpty()) return false;
    // Only the visible part is cut out and converted, never the whole map.
    const QRect cut = inside.toAlignedRect().intersected(picture_.rect());
    const QImage part = picture_.copy(cut);
    const QRectF target((cut.x() * s - view.x()), (cut.y() * s - view.y()), cut.width() * s,
                        cut.height() * s);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, s < 1.0);
    painter.drawImage(target, part);
    painter.restore();
    return true;
}

}  // namespace droskal::render
