#include "render/Route.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>

#include <cmath>
#include <limits>

namespace droskal::render {

std::vector<RouteStretch> RouteStretches(const std::vector<RoutePoint>& route,
                                         double maxGapSeconds) {
    std::vector<RouteStretch> stretches;
    bool open = false;
    for (std::size_t i = 0; i < route.size(); ++i) {
        const RoutePoint& p = route[i];
        if (!p.valid) {
            open = false;
            continue;
        }
        if (open) {
            const RoutePoint& prev = route[stretches.back().last];
            const bool jump =
                p.time >= 0 && prev.time >= 0 && std::fabs(p.time - prev.time) > maxGapSeconds;
            if (!jump && prev.picture + 1 >= p.picture) {
                stretches.back().last = i;
                continue;
            }
        }
        stretches.push_back({i, i});
        open = true;
    }
    return stretches;
}

const std::vector<SpeedBand>& SpeedBands() {
    static const std::vector<SpeedBand> bands = {
        {20, QColor(0x2c, 0x7b, 0xb6)},  {40, QColor(0x00, 0xa6, 0xca)},
        {60, QColor(0x1a, 0x98, 0x50)},  {80, QColor(0xa6, 0xd9, 0x6a)},
        {100, QColor(0xfd, 0xae, 0x61)}, {0, QColor(0xd7, 0x19, 0x1c)},
    };
    return bands;
}

QColor SpeedColour(double kmh) {
    const auto& bands = SpeedBands();
    for (std::size_t i = 0; i + 1 < bands.size(); ++i) {
        if (kmh < bands[i].below) return bands[i].colour;
    }
    return bands.back().colour;
}

void DrawRoute(QPainter& painter, const std::vector<RoutePoint>& route,
               const Projection& projection, const QRectF& view, const RouteStyle& style) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPointF shift = -view.topLeft();
    // Pieces wholly outside the view are left out before they reach the painter: an hour's
    // drive has tens of thousands of them.
    const double pad = style.width;
    const auto visible = [&](QPointF a, QPointF b) {
        return std::max(a.x(), b.x()) >= view.left() - pad &&
               std::min(a.x(), b.x()) <= view.right() + pad &&
               std::max(a.y(), b.y()) >= view.top() - pad &&
               std::min(a.y(), b.y()) <= view.bottom() + pad;
    };
    const auto colourOf = [&](std::size_t i) {
        return style.colour.value_or(SpeedColour(route[i].speedKmh));
    };
    const auto at = [&](std::size_t i) { return projection.toWorld(route[i].lat, route[i].lon); };
    for (const RouteStretch& s : RouteStretches(route)) {
        if (s.first == s.last) {
            const QPointF p = at(s.first);
            if (!visible(p, p)) continue;
            painter.setPen(Qt::NoPen);
            painter.setBrush(colourOf(s.first));
            painter.drawEllipse(p + shift, style.width / 2, style.width / 2);
            continue;
        }
        // Runs of one colour are drawn as one path, so joins stay smooth.
        QPainterPath path;
        QColor pathColour;
        const auto flush = [&] {
            if (path.isEmpty()) return;
            painter.setPen(
                QPen(pathColour, style.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
            path = QPainterPath();
        };
        QPointF a = at(s.first);
        for (std::size_t i = s.first; i < s.last; ++i) {
            const QPointF b = at(i + 1);
            if (!visible(a, b)) {
                flush();
            } else {
                const QColor colour = colourOf(i + 1);
                if (!path.isEmpty() && colour != pathColour) flush();
                if (path.isEmpty()) {
                    path.moveTo(a + shift);
                    pathColour = colour;
                }
                path.lineTo(b + shift);
            }
            a = b;
        }
        flush();
    }
    painter.restore();
}

std::vector<QString> SpeedBandLabels(SpeedUnit unit) {
    const auto& bands = SpeedBands();
    const auto limit = [unit](double kmh) {
        return QString::number(std::lround(SpeedFromKmh(kmh, unit)));
    };
    std::vector<QString> labels;
    for (std::size_t i = 0; i < bands.size(); ++i) {
        if (i == 0) {
            labels.push_back("< " + limit(bands[i].below));
        } else if (i + 1 == bands.size()) {
            labels.push_back(limit(bands[i - 1].below) + "+");
        } else {
            labels.push_back(limit(bands[i - 1].below) + "-" + limit(bands[i].below));
        }
    }
    return labels;
}

void DrawSpeedLegend(QPainter& painter, const QRectF& area, SpeedUnit unit) {
    painter.save();
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const auto& bands = SpeedBands();
    const std::vector<QString> labels = SpeedBandLabels(unit);
    const QString suffix = QString(" ") + SpeedUnitName(unit);
    const double row = metrics.height() + 2;
    const double width = metrics.horizontalAdvance("80-100 km/h") + 30;
    const QRectF box(area.left() + 6,
                     area.bottom() - 6 - row * static_cast<double>(bands.size()) - 8, width,
                     row * static_cast<double>(bands.size()) + 8);
    painter.setPen(QColor(80, 80, 80));
    painter.setBrush(QColor(255, 255, 255, 215));
    painter.drawRect(box);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const double top = box.top() + 4 + row * static_cast<double>(i);
        painter.fillRect(QRectF(box.left() + 5, top + row / 2 - 2, 16, 4), bands[i].colour);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(box.left() + 26, top, width - 28, row),
                         Qt::AlignVCenter | Qt::AlignLeft, labels[i] + suffix);
    }
    painter.restore();
}

void DrawAttribution(QPainter& painter, const QRectF& area, const QString& text) {
    if (text.isEmpty()) return;
    painter.save();
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double width = std::min(area.width(), metrics.horizontalAdvance(text) + 8);
    const QRectF box(area.right() - width, area.bottom() - metrics.height() - 2, width,
                     metrics.height() + 2);
    painter.fillRect(box, QColor(255, 255, 255, 200));
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignCenter, metrics.elidedText(text, Qt::ElideRight, width - 4));
    painter.restore();
}

std::optional<std::size_t> NearestFix(const std::vector<RoutePoint>& route,
                                      const Projection& projection, QPointF world, double radius,
                                      std::int64_t currentPicture) {
    std::optional<std::size_t> best;
    std::int64_t bestGap = std::numeric_limits<std::int64_t>::max();
    double bestDistance = 0;
    // A pass is a run of consecutive route entries near the place.
    std::optional<std::size_t> passBest;
    double passDistance = 0;
    const auto closePass = [&] {
        if (!passBest) return;
        const std::int64_t gap = std::llabs(route[*passBest].picture - currentPicture);
        if (gap < bestGap || (gap == bestGap && passDistance < bestDistance)) {
            best = passBest;
            bestGap = gap;
            bestDistance = passDistance;
        }
        passBest.reset();
    };
    for (std::size_t i = 0; i < route.size(); ++i) {
        const RoutePoint& p = route[i];
        const QPointF d = p.valid ? projection.toWorld(p.lat, p.lon) - world : QPointF();
        const double distance = std::hypot(d.x(), d.y());
        if (!p.valid || distance > radius) {
            closePass();
            continue;
        }
        if (!passBest || distance < passDistance) {
            passBest = i;
            passDistance = distance;
        }
    }
    closePass();
    return best;
}

QRectF RouteBounds(const std::vector<RoutePoint>& route, const Projection& projection) {
    QRectF bounds;
    bool any = false;
    for (const RoutePoint& p : route) {
        if (!p.valid) continue;
        const QPointF w = projection.toWorld(p.lat, p.lon);
        if (!any) {
            bounds = QRectF(w, QSizeF(0, 0));
            any = true;
        } else {
            bounds.setLeft(std::min(bounds.left(), w.x()));
            bounds.setRight(std::max(bounds.right(), w.x()));
            bounds.setTop(std::min(bounds.top(), w.y()));
            bounds.setBottom(std::max(bounds.bottom(), w.y()));
        }
    }
    return bounds;
}

}  // namespace droskal::render
