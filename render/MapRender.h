#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

#include "render/MapSource.h"
#include "render/Route.h"

namespace droskal::render {

// A source as the user writes it, in the settings or after --source:
//   https://host/{z}/{x}/{y}.png        an online tile server (only when online is allowed)
//   FILE.mbtiles                         an MBTiles file
//   FOLDER                               a folder of Z/X/Y.png tiles
//   PICTURE,mapLat1,mapLon1,mapLat2,mapLon2   a calibrated picture, Droskal.ini's units
//   PICTURE                              a calibrated picture with the Droskal.ini beside it,
//                                        or the built-in calibration when there is none
// nullptr and a reason when the text names none of these.
std::unique_ptr<MapSource> MakeSource(const QString& entry, bool onlineAllowed, QString& error);
// The calibration of a Droskal.ini file: nullopt when it cannot be read or lacks values.
std::optional<MapCalibration> ReadCalibrationFile(const QString& iniPath);

// A finished map: the picture and where it lies.
struct RenderedMap {
    QImage image;
    Projection projection;
    QRectF view;                  // world pixels the picture shows
    MapSource* source = nullptr;  // null: the route on a plain background
};

struct FitOptions {
    QSize size{1024, 768};
    std::optional<int> zoom;        // tile zoom; fitted to the route when absent
    double margin = 0.08;           // share of each side kept free around the route
    std::optional<std::size_t> at;  // the picture whose point is drawn
    RouteStyle style;
    bool legend = true;
    SpeedUnit unit = SpeedUnit::Kmh;  // the legend's
};

// The whole route fitted into a picture over the first source that covers it (tried in
// order; calibrated pictures at a fitted scale, tiles at the deepest zoom that fits). With
// no source covering the route, the route is drawn in Web Mercator on a plain background.
// An empty image when the route has no valid fix.
RenderedMap RenderRouteMap(MapSources& sources, const std::vector<RoutePoint>& route,
                           const FitOptions& options);

// The six lines of an ESRI world file for the picture: degrees for calibrated pictures,
// EPSG:3857 metres for Web Mercator.
std::string WorldFileText(const RenderedMap& map);

}  // namespace droskal::render

namespace droskal::render {

// Where the window keeps its map sources: settings section "Maps", key "Sources" (one source
// a line, as MakeSource reads them) and key "Online" ("1" allows tile servers).
inline constexpr const char* kMapSettingsSection = "Maps";
inline constexpr const char* kMapSourcesKey = "Sources";
inline constexpr const char* kMapOnlineKey = "Online";

// Sources from a list of entries, in order; the ones that cannot be made are reported in
// `errors` and left out.
MapSources MakeSources(const QStringList& entries, bool onlineAllowed, QStringList& errors);

}  // namespace droskal::render
