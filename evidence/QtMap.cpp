#include "evidence/QtMap.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cstring>

#include "render/IndexedRoute.h"
#include "render/MapRender.h"

namespace droskal::evidence {

namespace {

constexpr int kRouteWidth = 800;
constexpr int kRouteHeight = 600;

render::MapSources MakeAll(const PackMapSetup& setup, QStringList& problems) {
    render::MapSources sources;
    if (!setup.classic.isNull()) {
        sources.push_back(std::make_unique<render::CalibratedPicture>("map.gif", setup.classic,
                                                                      setup.classicCalibration));
    }
    for (auto& source : render::MakeSources(setup.chosen, true, problems))
        sources.push_back(std::move(source));
    for (auto& source : render::MakeSources(setup.entries, setup.online, problems))
        sources.push_back(std::move(source));
    return sources;
}

class SourceMaps final : public PackMaps {
  public:
    explicit SourceMaps(const PackMapSetup& setup) : unit_(setup.unit) {
        QStringList problems;  // already shown when the setup was checked
        sources_ = MakeAll(setup, problems);
    }

    bool routePicture(const std::vector<IndexedPicture>& stretch, std::vector<std::uint8_t>& png,
                      std::string& note) override {
        render::FitOptions options;
        options.size = QSize(kRouteWidth, kRouteHeight);
        options.unit = unit_;
        const render::RenderedMap map =
            render::RenderRouteMap(sources_, render::RouteOfPictures(stretch), options);
        if (map.image.isNull()) {
            note = "Mapy trasy nie ma: w odcinku nie ma ważnej pozycji GPS.";
            return false;
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!map.image.save(&buffer, "PNG")) {
            note = "Mapy trasy nie ma: nie udało się zakodować obrazu.";
            return false;
        }
        png.assign(bytes.begin(), bytes.end());
        if (map.source == nullptr) {
            note = "Żadne ze źródeł map nie obejmuje trasy: trasa na gładkim tle.";
        } else {
            // The licence where the source names one, else the file (never the full path).
            const QString attribution = map.source->attribution();
            note = "Mapa: " +
                   (attribution.isEmpty() ? QFileInfo(map.source->label()).fileName() : attribution)
                       .toStdString();
        }
        return true;
    }

    bool prepareInset(const std::vector<IndexedPicture>& stretch, InsetPlace place,
                      std::string& error) override {
        route_ = render::RouteOfPictures(stretch);
        render::FitOptions options;
        options.size = QSize(place.width, place.height);
        options.legend = false;
        options.margin = 0.15;
        options.style.width = 2.0;
        inset_ = render::RenderRouteMap(sources_, route_, options);
        if (inset_.image.isNull()) {
            error = "the stretch has no GPS position to draw the map inset from";
            return false;
        }
        inset_.image = inset_.image.convertToFormat(QImage::Format_RGB888);
        return true;
    }

    void drawInset(std::size_t k, std::uint8_t* rgb) override {
        // The point stays where the fix was last known while it is lost.
        for (; seen_ <= k && seen_ < route_.size(); ++seen_) {
            if (route_[seen_].valid) lastFix_ = seen_;
        }
        QImage frame = inset_.image.copy();
        {
            QPainter painter(&frame);
            painter.setRenderHint(QPainter::Antialiasing, true);
            if (lastFix_ < route_.size()) {
                const render::RoutePoint& p = route_[lastFix_];
                const QPointF at = inset_.projection.toWorld(p.lat, p.lon) - inset_.view.topLeft();
                const double radius = std::max(3.0, frame.width() / 32.0);
                painter.setPen(QPen(Qt::white, 1.5));
                painter.setBrush(lastFix_ == k ? QColor(255, 0, 0) : QColor(128, 128, 128));
                painter.drawEllipse(at, radius, radius);
            }
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setPen(QPen(Qt::black, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(frame.rect().adjusted(0, 0, -1, -1));
        }
        const auto row = static_cast<std::size_t>(frame.width()) * 3;
        for (int y = 0; y < frame.height(); ++y)
            std::memcpy(rgb + static_cast<std::size_t>(y) * row, frame.constScanLine(y), row);
    }

  private:
    render::MapSources sources_;
    SpeedUnit unit_;
    std::vector<render::RoutePoint> route_;
    render::RenderedMap inset_;
    std::size_t seen_ = 0;
    std::size_t lastFix_ = static_cast<std::size_t>(-1);
};

}  // namespace

bool AnyMapSource(const PackMapSetup& setup, QStringList& problems) {
    return !MakeAll(setup, problems).empty();
}

std::function<std::unique_ptr<PackMaps>()> PackMapsFrom(PackMapSetup setup) {
    return [setup = std::move(setup)]() -> std::unique_ptr<PackMaps> {
        return std::make_unique<SourceMaps>(setup);
    };
}

}  // namespace droskal::evidence
