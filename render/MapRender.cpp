#include "render/MapRender.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <iomanip>
#include <sstream>

#include "render/OnlineTiles.h"

namespace droskal::render {

namespace {
constexpr qint64 kLargestIniFile = 64 * 1024;
constexpr double kMinScale = 1.0 / 64;
constexpr double kMaxScale = 4;  // as far as the window zooms in
}  // namespace

std::optional<MapCalibration> ReadCalibrationFile(const QString& iniPath) {
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray text = file.read(kLargestIniFile);
    IniValues values;
    for (const std::string& item :
         ReadIniItems(std::string_view(text.constData(), static_cast<size_t>(text.size())))) {
        GetIniParam(item, values);
    }
    return CalibrationFrom(values);
}

std::unique_ptr<MapSource> MakeSource(const QString& entry, bool onlineAllowed, QString& error) {
    const QString text = entry.trimmed();
    if (text.startsWith("http://") || text.startsWith("https://")) {
        if (!OnlineTiles::IsTemplate(text)) {
            error = "a tile server address needs {z}, {x} and {y}: " + text;
            return nullptr;
        }
        if (!onlineAllowed) {
            error = "online maps are off: " + text;
            return nullptr;
        }
        return std::make_unique<OnlineTiles>(text, OnlineTiles::DefaultCacheDir(text));
    }
    const QStringList parts = text.split(',');
    if (parts.size() == 5) {
        IniValues values;
        values.playDelay = 1;  // not part of a picture's calibration, but checked with it
        bool ok[4] = {};
        values.mapLat1 = parts[1].trimmed().toFloat(&ok[0]);
        values.mapLon1 = parts[2].trimmed().toFloat(&ok[1]);
        values.mapLat2 = parts[3].trimmed().toFloat(&ok[2]);
        values.mapLon2 = parts[4].trimmed().toFloat(&ok[3]);
        const auto calibration = CalibrationFrom(values);
        if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || !calibration) {
            error = "calibration values must be four non-zero, distinct numbers: " + text;
            return nullptr;
        }
        return std::make_unique<CalibratedPicture>(parts[0].trimmed(), *calibration);
    }
    const QFileInfo info(text);
    if (info.isDir()) return std::make_unique<TileFolder>(text);
    if (!info.isFile()) {
        error = "no such file or folder: " + text;
        return nullptr;
    }
    if (text.endsWith(".mbtiles", Qt::CaseInsensitive)) {
        auto tiles = std::make_unique<MbTiles>(text);
        if (!tiles->isOpen()) {
            error = "not an MBTiles file: " + text;
            return nullptr;
        }
        return tiles;
    }
    const QString ini = info.absolutePath() + "/Droskal.ini";
    std::optional<MapCalibration> calibration = DefaultCalibration();
    if (QFileInfo(ini).isFile()) calibration = ReadCalibrationFile(ini);
    if (!calibration) {
        error = "the calibration in " + ini + " is incomplete";
        return nullptr;
    }
    return std::make_unique<CalibratedPicture>(text, *calibration);
}

namespace {

// Draws route, point and legend over a map already painted into `image`.
void DrawOverlay(QImage& image, const std::vector<RoutePoint>& route, const RenderedMap& map,
                 const FitOptions& options) {
    QPainter painter(&image);
    DrawRoute(painter, route, map.projection, map.view, options.style);
    if (options.at && *options.at < route.size()) {
        const RoutePoint& p = route[*options.at];
        const QPointF at = map.projection.toWorld(p.lat, p.lon) - map.view.topLeft();
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(p.valid ? QColor(255, 0, 0) : QColor(0, 0, 255));
        painter.drawEllipse(at, 5.5, 5.5);
    }
    const QRectF area(QPointF(0, 0), QSizeF(image.size()));
    if (options.legend && !options.style.colour) DrawSpeedLegend(painter, area, options.unit);
    if (map.source != nullptr) DrawAttribution(painter, area, map.source->attribution());
}

std::optional<LatLon> FirstFix(const std::vector<RoutePoint>& route) {
    for (const RoutePoint& p : route) {
        if (p.valid) return LatLon{p.lat, p.lon};
    }
    return std::nullopt;
}

// The view of `size` centred on the route's bounds.
QRectF CentredView(const QRectF& bounds, QSize size) {
    return QRectF(bounds.center().x() - size.width() / 2.0,
                  bounds.center().y() - size.height() / 2.0, size.width(), size.height());
}

// The deepest zoom in [lowest, highest] at which the route fits the free part of the picture.
int FittedZoom(const std::vector<RoutePoint>& route, QSizeF room, int lowest, int highest) {
    for (int z = highest; z > lowest; --z) {
        const QRectF b = RouteBounds(route, Projection::Mercator(z));
        if (b.width() <= room.width() && b.height() <= room.height()) return z;
    }
    return lowest;
}

}  // namespace

RenderedMap RenderRouteMap(MapSources& sources, const std::vector<RoutePoint>& route,
                           const FitOptions& options) {
    RenderedMap map;
    const auto first = FirstFix(route);
    if (!first || options.size.isEmpty()) return map;
    const QSizeF room(options.size.width() * (1 - 2 * options.margin),
                      options.size.height() * (1 - 2 * options.margin));

    for (auto& source : sources) {
        Projection p;
        if (source->tiled()) {
            const int z = options.zoom
                              ? std::clamp(*options.zoom, source->minZoom(), source->maxZoom())
                              : FittedZoom(route, room, source->minZoom(), source->maxZoom());
            p = Projection::Mercator(z);
        } else {
            const QRectF b = RouteBounds(route, Projection::Calibrated(*source->calibration()));
            double scale = std::min(room.width() / std::max(b.width(), 1.0),
                                    room.height() / std::max(b.height(), 1.0));
            if (options.zoom) scale = std::ldexp(1.0, *options.zoom);
            p = Projection::Calibrated(*source->calibration(),
                                       std::clamp(scale, kMinScale, kMaxScale));
        }
        if (!source->covers(p, p.toWorld(first->lat, first->lon))) continue;
        const QRectF view = CentredView(RouteBounds(route, p), options.size);
        QImage image(options.size, QImage::Format_RGB32);
        image.fill(QColor(242, 239, 233));
        bool painted = false;
        {
            QPainter painter(&image);
            painted = source->paint(painter, p, view);
        }
        if (!painted) continue;
        map = {std::move(image), p, view, source.get()};
        DrawOverlay(map.image, route, map, options);
        return map;
    }

    const int z =
        options.zoom ? std::clamp(*options.zoom, 0, kMaxTileZoom) : FittedZoom(route, room, 0, 19);
    map.projection = Projection::Mercator(z);
    map.view = CentredView(RouteBounds(route, map.projection), options.size);
    map.image = QImage(options.size, QImage::Format_RGB32);
    map.image.fill(Qt::white);
    DrawOverlay(map.image, route, map, options);
    return map;
}

std::string WorldFileText(const RenderedMap& map) {
    // Lines: pixel width, two rotations, pixel height (negative), then the centre of the
    // top-left pixel.
    double a = 0, e = 0, c = 0, f = 0;
    const double left = map.view.left() + 0.5;
    const double top = map.view.top() + 0.5;
    if (map.projection.kind == Projection::Kind::Calibrated) {
        const MapCalibration& cal = map.projection.calibration;
        a = 1.0 / (static_cast<double>(cal.lonScale) * map.projection.scale);
        e = -1.0 / (static_cast<double>(cal.latScale) * map.projection.scale);
        c = static_cast<double>(cal.mapLon1) + left * a;
        f = static_cast<double>(cal.mapLat1) + top * e;
    } else {
        const int z = map.projection.zoom;
        a = MercatorMetresX(1, z) - MercatorMetresX(0, z);
        e = -a;
        c = MercatorMetresX(left, z);
        f = MercatorMetresY(top, z);
    }
    std::ostringstream text;
    text << std::setprecision(17) << a << "\n0\n0\n" << e << "\n" << c << "\n" << f << "\n";
    return text.str();
}

}  // namespace droskal::render

namespace droskal::render {

MapSources MakeSources(const QStringList& entries, bool onlineAllowed, QStringList& errors) {
    MapSources sources;
    for (const QString& entry : entries) {
        if (entry.trimmed().isEmpty()) continue;
        QString error;
        if (auto source = MakeSource(entry, onlineAllowed, error)) {
            sources.push_back(std::move(source));
        } else {
            errors << error;
        }
    }
    return sources;
}

}  // namespace droskal::render
