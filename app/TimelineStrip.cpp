#include "app/TimelineStrip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace droskal {

namespace {

constexpr int kMargin = 4;  // pixels left and right of the time axis
constexpr int kTop = 12;    // room for event marks and the progress text
constexpr double kZoomPerNotch = 0.8;
constexpr double kPanPerNotch = 0.1;

QColor EventColour(EventKind kind) {
    switch (kind) {
        case EventKind::HardBraking:
            return QColor(255, 64, 64);
        case EventKind::HardAcceleration:
            return QColor(64, 160, 255);
        case EventKind::Stop:
            return QColor(255, 255, 0);
        case EventKind::Speeding:
            return QColor(255, 160, 0);
    }
    return Qt::white;
}

QString EventLine(const TripEvent& e, const TimeView& view) {
    const QString when = InZone(e.startUtc, view.zone).toString("HH:mm:ss");
    QString what;
    if (e.kind == EventKind::Stop) {
        what = QString::number(std::lround(e.value)) + " s";
    } else {
        const char* unit = SpeedUnitName(view.unit);
        what = (e.kind == EventKind::HardBraking        ? "-"
                : e.kind == EventKind::HardAcceleration ? "+"
                                                        : "") +
               QString::number(std::lround(SpeedFromKmh(e.value, view.unit))) + " " + unit;
    }
    return when + "  " + QString::fromUtf8(EventName(e.kind)) + " (" + what + ")";
}

}  // namespace

TimelineStrip::TimelineStrip(QWidget* parent, const TimeView& view) : QWidget(parent), view_(view) {
    setObjectName("timeline");
    setMouseTracking(false);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

bool TimelineStrip::TripRange(double& first, double& last) const {
    bool any = false;
    for (const PictureSample& s : view_.samples) {
        if (!s.timeValid) continue;
        first = any ? std::min(first, s.utcSeconds) : s.utcSeconds;
        last = any ? std::max(last, s.utcSeconds) : s.utcSeconds;
        any = true;
    }
    return any;
}

void TimelineStrip::SetView(double start, double end) {
    double first = 0, last = 0;
    if (!TripRange(first, last)) return;
    const double trip = std::max(last - first, kMinimumSpan);
    double span = std::clamp(end - start, std::min(kMinimumSpan, trip), trip);
    start = std::clamp(start, first, std::max(first, first + trip - span));
    start_ = start;
    end_ = start + span;
    whole_ = span >= trip;
    update();
}

void TimelineStrip::DataChanged() {
    double first = 0, last = 0;
    if (whole_ && TripRange(first, last)) {
        start_ = first;
        end_ = first + std::max(last - first, kMinimumSpan);
    }
    QStringList lines;
    for (const TripEvent& e : view_.events) {
        if (lines.size() == 40) {
            lines << QString("… i %1 więcej").arg(view_.events.size() - 40);
            break;
        }
        lines << EventLine(e, view_);
    }
    QString tip =
        lines.isEmpty() ? QString("Brak zdarzeń") : "Zdarzenia (N / P):\n" + lines.join('\n');
    if (!view_.complete)
        tip += QString("\nIndeks obrazów: %1%").arg(std::floor(view_.scanned * 100));
    setToolTip(tip);
    update();
}

double TimelineStrip::TimeAt(double x) const {
    const double w = std::max(1, width() - 2 * kMargin);
    return start_ + (x - kMargin) / w * (end_ - start_);
}

double TimelineStrip::XAt(double utc) const {
    const double span = end_ - start_;
    if (span <= 0) return kMargin;
    return kMargin + (utc - start_) / span * (width() - 2 * kMargin);
}

void TimelineStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(32, 32, 32));
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    const int bottom = height() - 3;
    const int plotHeight = bottom - kTop;

    double top = 10;
    for (const PictureSample& s : view_.samples) {
        if (s.speedValid && s.fixValid) top = std::max(top, s.speedKmh);
    }
    const auto y = [&](double kmh) { return bottom - kmh / top * plotHeight; };

    // Stretches without a fix, and the places where the trip moves to another file.
    const PictureSample* previous = nullptr;
    QPainterPath speed;
    bool drawing = false;
    for (const PictureSample& s : view_.samples) {
        if (!s.timeValid) continue;
        if (previous) {
            const double x0 = XAt(previous->utcSeconds), x1 = XAt(s.utcSeconds);
            if (!previous->fixValid && x1 >= 0 && x0 <= width()) {
                p.fillRect(QRectF(x0, kTop, std::max(1.0, x1 - x0), plotHeight),
                           QColor(90, 90, 90));
            }
            if (previous->fileIndex != s.fileIndex) {
                p.setPen(QPen(QColor(200, 200, 200), 1, Qt::DashLine));
                p.drawLine(QPointF(x1, kTop), QPointF(x1, bottom));
            }
        }
        if (s.fixValid && s.speedValid) {
            const QPointF point(XAt(s.utcSeconds), y(s.speedKmh));
            if (drawing)
                speed.lineTo(point);
            else
                speed.moveTo(point);
            drawing = true;
        } else {
            drawing = false;
        }
        previous = &s;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 220, 0), 1.5));
    p.drawPath(speed);
    p.setRenderHint(QPainter::Antialiasing, false);

    for (const TripEvent& e : view_.events) {
        const double x0 = XAt(e.startUtc), x1 = std::max(x0 + 3, XAt(e.endUtc));
        p.fillRect(QRectF(x0, 2, x1 - x0, kTop - 4), EventColour(e.kind));
    }

    if (currentPosition) {
        const std::int64_t position = currentPosition();
        const auto it = std::lower_bound(
            view_.samples.begin(), view_.samples.end(), position,
            [](const PictureSample& s, std::int64_t pos) { return s.streamPosition < pos; });
        if (it != view_.samples.end() && it->streamPosition == position && it->timeValid) {
            const double x = XAt(it->utcSeconds);
            p.setPen(QPen(Qt::white, 1));
            p.drawLine(QPointF(x, 0), QPointF(x, height()));
        }
    }

    if (!view_.complete) {
        p.setPen(QColor(220, 220, 220));
        p.drawText(rect().adjusted(0, 0, -kMargin, 0), Qt::AlignRight | Qt::AlignTop,
                   QString("Indeks obrazów: %1%").arg(std::floor(view_.scanned * 100)));
    } else if (view_.samples.empty() || start_ >= end_) {
        p.setPen(QColor(220, 220, 220));
        p.drawText(rect(), Qt::AlignCenter, "Brak czasu GPS w nagraniu");
    } else {
        p.setPen(QColor(180, 180, 180));
        p.drawText(rect().adjusted(kMargin, 0, -kMargin, -2), Qt::AlignLeft | Qt::AlignBottom,
                   InZone(start_, view_.zone).toString("HH:mm:ss"));
        p.drawText(rect().adjusted(kMargin, 0, -kMargin, -2), Qt::AlignRight | Qt::AlignBottom,
                   InZone(end_, view_.zone).toString("HH:mm:ss"));
    }
}

void TimelineStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || end_ <= start_) return;
    dragging_ = true;
    if (onSeek) onSeek(TimeAt(event->position().x()));
}

void TimelineStrip::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
    const double x = std::clamp(event->position().x(), 0.0, static_cast<double>(width()));
    if (onSeek) onSeek(TimeAt(x));
}

void TimelineStrip::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

void TimelineStrip::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const double notches = (delta.y() != 0 ? delta.y() : delta.x()) / 120.0;
    if (notches == 0 || end_ <= start_) return;
    const double span = end_ - start_;
    if (event->modifiers() & Qt::ShiftModifier) {
        const double shift = -notches * kPanPerNotch * span;
        SetView(start_ + shift, end_ + shift);
    } else {
        // The moment under the pointer stays under it.
        const double pivot = TimeAt(event->position().x());
        const double share = (pivot - start_) / span;
        double first = 0, last = 0;
        TripRange(first, last);
        const double trip = std::max(last - first, kMinimumSpan);
        const double newSpan =
            std::clamp(span * std::pow(kZoomPerNotch, notches), std::min(kMinimumSpan, trip), trip);
        SetView(pivot - share * newSpan, pivot - share * newSpan + newSpan);
    }
    event->accept();
}

}  // namespace droskal
