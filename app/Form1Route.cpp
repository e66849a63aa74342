// Map view beyond the classic picture: the whole route coloured by speed (key R), map
// sources from the settings (calibrated pictures, MBTiles, tile folders, an opt-in tile
// server), a click that seeks to the nearest fix and a wheel that zooms about the cursor.
// With the route off, no zoom and only map.gif, the classic ShowPos draws map view alone.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <functional>

#include "app/Form1.h"
#include "app/RouteView.h"
#include "app/Twips.h"
#include "gps/MapGeometry.h"
#include "gps/RmcFields.h"
#include "render/MapRender.h"

namespace droskal {

namespace {

// Pic1's mouse and wheel, and the window's keys, reach the route view through this filter.
class RouteEvents final : public QObject {
  public:
    explicit RouteEvents(Form1& form) : form_(form) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == form_.Pic1 && event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) form_.MapClick(mouse->position().toPoint());
        } else if (watched == form_.Pic1 && event->type() == QEvent::Wheel &&
                   form_.chkGps->isChecked()) {
            // Only map view's wheel zooms the map; the picture's wheel steps and zooms it.
            const auto* wheel = static_cast<QWheelEvent*>(event);
            form_.MapWheel(wheel->position().toPoint(), wheel->angleDelta().y());
            return true;
        }
        return false;
    }

  private:
    Form1& form_;
};

constexpr QSize kView(kMapViewWidth, kMapViewHeight);

bool SameProjection(const render::Projection& a, const render::Projection& b) {
    return a.kind == b.kind && a.zoom == b.zoom && a.scale == b.scale;
}

}  // namespace

void Form1::UpdateRoute() {
    RouteView& v = *routeView;
    // A trip of a folder is named by the folder and its number.
    const QString key = state.mpegFileName + '#' + QString::number(currentTrip);
    const std::size_t pictures = pictureIndex.count();
    if (v.route && v.routeFile == key && v.routePictures == pictures) return;
    v.route = RouteFromIndex(pictureIndex);
    v.routeFile = key;
    v.routePictures = pictures;
}

void Form1::InitRouteView() {
    routeView = std::make_shared<RouteView>();
    routeView->routeOn =
        desktop_.GetSetting(startup_.appName, kDisplaySection, kRouteKey, "0") == "1";
    routeView->events = std::make_unique<RouteEvents>(*this);
    Pic1->installEventFilter(routeView->events.get());
    // A click on the point itself is a click on the map beneath it.
    shPoint->setAttribute(Qt::WA_TransparentForMouseEvents);
}

bool Form1::RouteShown() const {
    return routeView->routeOn;
}

void Form1::SetCommandLineMapSources(const QStringList& sources) {
    routeView->commandLineSources = sources;
    routeView->sources.clear();
    routeView->classic = nullptr;
    routeView->source = nullptr;
    routeView->active = false;
    routeView->sourcesMade = false;
}

void Form1::ToggleRoute() {
    RouteView& v = *routeView;
    v.routeOn = !v.routeOn;
    desktop_.SaveSetting(startup_.appName, kDisplaySection, kRouteKey, v.routeOn ? "1" : "0");
    if (chkGps->isChecked()) ShowPos();
}

namespace {

void MakeSources(RouteView& v, const QImage& mapPicture, const MapCalibration& calibration,
                 Desktop& desktop, const QString& appName, const QStringList& commandLine,
                 const std::function<void()>& repaint) {
    v.sourcesMade = true;
    if (!mapPicture.isNull()) {
        v.sources.push_back(
            std::make_unique<render::CalibratedPicture>("map.gif", mapPicture, calibration));
        v.classic = v.sources.back().get();
    }
    const QStringList entries =
        desktop.GetSetting(appName, render::kMapSettingsSection, render::kMapSourcesKey, "")
            .split('\n', Qt::SkipEmptyParts);
    const bool online =
        desktop.GetSetting(appName, render::kMapSettingsSection, render::kMapOnlineKey, "0") == "1";
    QStringList problems;
    // A tile server named on the command line is the user's own choice for this run.
    for (auto& source : render::MakeSources(commandLine, true, problems))
        v.sources.push_back(std::move(source));
    for (auto& source : render::MakeSources(entries, online, problems))
        v.sources.push_back(std::move(source));
    // Tiles from a server come while the window goes on; each one draws the view again.
    for (auto& source : v.sources) source->whenMapArrives(repaint);
    if (!problems.isEmpty()) {
        desktop.MessageBox(QString::fromUtf8("Pominięte źródła map:\n") + problems.join('\n'),
                           Desktop::Icon::Exclamation, Desktop::Buttons::Ok);
    }
}

// The current fix: hemispheres honoured when the sentence reads whole, otherwise the
// window's own fields (taken as north and east).
render::LatLon CurrentPlace(const ViewerState& state) {
    RmcSentence s;
    if (ParseRmcFields(state.nmeaText, s) == RmcResult::Ok && s.hasPosition)
        return {s.latitude, s.longitude};
    return {NmeaLatitude(state.gpsLat), NmeaLongitude(state.gpsLon)};
}

}  // namespace

bool Form1::ShowRoutePos() {
    RouteView& v = *routeView;
    if (!v.sourcesMade)
        MakeSources(v, state.mapPicture, Calibration(), desktop_, startup_.appName,
                    v.commandLineSources, [this] {
                        if (chkGps->isChecked()) ShowPos();
                    });
    const bool classicOnly = v.sources.size() == (v.classic ? 1u : 0u);
    const render::LatLon here = CurrentPlace(state);
    render::SourceChoice choice;
    if (v.routeOn || v.scaleStep != 0 || !classicOnly) {
        choice = render::ChooseSource(v.sources, here.lat, here.lon, v.tileZoom,
                                      std::ldexp(1.0, v.scaleStep));
    }
    if (choice.source == nullptr ||
        (choice.source == v.classic && !v.routeOn && v.scaleStep == 0)) {
        if (v.active) {
            // The classic window draws over what this path left in Pic1.
            v.active = false;
            DrawMapWindow();
        }
        v.anchor.reset();
        return false;
    }

    const QPointF world = choice.projection.toWorld(here.lat, here.lon);
    QPointF origin = v.origin;
    const std::optional<QPointF> anchor = v.anchor;
    v.anchor.reset();
    // A zoom keeps the place under the cursor, as long as the same source draws the view.
    if (anchor && (!v.active || v.source == choice.source)) {
        origin = *anchor;
    } else if (!v.active || v.source != choice.source ||
               !SameProjection(v.projection, choice.projection)) {
        origin = world - QPointF(kMapViewWidth / 2.0, kMapViewHeight / 2.0);
    } else {
        // The classic band: the point moves freely between 160 and 480 across, 120 and 360 down.
        const QPointF at = world - origin;
        if (at.x() < 160 || at.x() > 480) origin.setX(world.x() - 320);
        if (at.y() < 120 || at.y() > 360) origin.setY(world.y() - 240);
    }
    // Calibrated pictures keep the window on the picture, as the classic window does.
    if (choice.projection.kind == render::Projection::Kind::Calibrated) {
        const double side = kMapSize * choice.projection.scale;
        origin.setX(std::clamp(origin.x(), 0.0, std::max(0.0, side - kMapViewWidth)));
        origin.setY(std::clamp(origin.y(), 0.0, std::max(0.0, side - kMapViewHeight)));
    }
    v.active = true;
    v.source = choice.source;
    v.projection = choice.projection;
    v.origin = origin;
    DrawRouteWindow();

    Pic1->show();
    const QPointF at = world - origin;
    // Placed as the classic window places it: 6 pixels up and left of the rounded position.
    shPoint->setLeft(
        static_cast<float>(PixelsToTwips(static_cast<double>(std::lround(at.x()) - 6))));
    shPoint->setTop(
        static_cast<float>(PixelsToTwips(static_cast<double>(std::lround(at.y()) - 6))));
    const PointColour colour = MapPointColour(state.gpsValid);
    shPoint->setFill(QColor(colour.red, colour.green, colour.blue));
    return true;
}

void Form1::DrawRouteWindow() {
    RouteView& v = *routeView;
    QImage image(kView, QImage::Format_RGB32);
    image.fill(QColor(242, 239, 233));
    const QRectF view(v.origin, QSizeF(kView));
    QPainter painter(&image);
    v.source->paint(painter, v.projection, view);
    if (v.routeOn && streamFile.isOpen()) {
        UpdateRoute();
        render::DrawRoute(painter, *v.route, v.projection, view);
        render::DrawSpeedLegend(painter, QRectF(image.rect()), timeView.unit);
    }
    render::DrawAttribution(painter, QRectF(image.rect()), v.source->attribution());
    painter.end();
    Pic1->DrawImagePart(image, image.rect(), 0, 0);
}

void Form1::MapClick(QPoint pixel) {
    RouteView& v = *routeView;
    if (!chkGps->isChecked() || !streamFile.isOpen() || Pic1->isHidden()) return;
    render::Projection projection;
    QPointF origin;
    if (v.active) {
        projection = v.projection;
        origin = v.origin;
    } else if (!state.mapPicture.isNull()) {
        projection = render::Projection::Calibrated(Calibration());
        origin = QPointF(state.mapOriginX, state.mapOriginY);
    } else {
        return;
    }
    UpdateRoute();
    const auto& route = *v.route;
    const auto current = std::lower_bound(
        route.begin(), route.end(), state.picturePos,
        [](const render::RoutePoint& p, std::int64_t pos) { return p.position < pos; });
    const std::int64_t currentPicture = current == route.end() ? 0 : current->picture;
    const auto nearest =
        render::NearestFix(route, projection, origin + QPointF(pixel) + QPointF(0.5, 0.5),
                           kClickRadius, currentPicture);
    if (nearest) SeekToPicture(route[*nearest].position);
}

void Form1::SeekToPicture(std::int64_t picturePos) {
    // The search starts just before the picture's start code, which ends at picturePos.
    streamFile.setReadPosition(std::max<std::int64_t>(0, picturePos - 4));
    if (!FindStartUp(1) || !FindPicStart(1)) {
        UpEnd();
        return;
    }
    if (!ReadFrame(1, *frameBuf)) return;
    ShowReadPicture();
    if (!state.playing) {
        ActiveUpCmd();
        ActiveDownCmd();
    }
}

void Form1::MapWheel(QPoint pixel, int angleDelta) {
    RouteView& v = *routeView;
    if (!chkGps->isChecked() || Pic1->isHidden() || angleDelta == 0) return;
    const int steps =
        angleDelta > 0 ? std::max(1, angleDelta / 120) : std::min(-1, angleDelta / 120);
    double factor = 1;
    if (v.active && v.projection.kind == render::Projection::Kind::Mercator) {
        const int zoom =
            std::clamp(v.projection.zoom + steps, v.source->minZoom(), v.source->maxZoom());
        factor = std::ldexp(1.0, zoom - v.projection.zoom);
        v.tileZoom = zoom;
    } else if (v.active || !state.mapPicture.isNull()) {
        const int step = std::clamp(v.scaleStep + steps, kMinScaleStep, kMaxScaleStep);
        factor = std::ldexp(1.0, step - v.scaleStep);
        v.scaleStep = step;
    }
    if (factor == 1) return;
    // The place under the cursor stays under it.
    const QPointF origin = v.active ? v.origin : QPointF(state.mapOriginX, state.mapOriginY);
    const QPointF anchored = (origin + QPointF(pixel)) * factor - QPointF(pixel);
    v.anchor = anchored;
    if (!v.routeOn && v.scaleStep == 0 && v.active && v.source == v.classic) {
        // Back to the classic picture: it goes on from the same place.
        state.mapOriginX = static_cast<std::int16_t>(
            std::clamp<double>(std::round(anchored.x()), 0, kMaxMapOriginX));
        state.mapOriginY = static_cast<std::int16_t>(
            std::clamp<double>(std::round(anchored.y()), 0, kMaxMapOriginY));
    }
    ShowPos();
}

}  // namespace droskal
