#pragma once

#include <QObject>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "render/MapSource.h"
#include "render/Route.h"

namespace droskal {

class Form1;

// Settings of the route view (the Desktop seam's store).
inline constexpr const char* kDisplaySection = "Display";
inline constexpr const char* kRouteKey = "Route";
// The route key's label in the key list.
// Map zoom: calibrated pictures 1/4x to 4x in whole steps; tiles start at this level.
inline constexpr int kMinScaleStep = -2;
inline constexpr int kMaxScaleStep = 2;
inline constexpr int kStartTileZoom = 16;
// A click seeks to a fix no farther than this from it, in screen pixels.
inline constexpr double kClickRadius = 30;

class PictureIndex;
// The route of the open recording or trip, one point per picture, from its picture index.
std::vector<render::RoutePoint> RouteFromIndex(const PictureIndex& index);

// What map view keeps beyond the classic window's state.
struct RouteView {
    bool routeOn = false;
    int scaleStep = 0;
    int tileZoom = kStartTileZoom;
    // Sources: map.gif first (made when first needed), then the configured ones.
    bool sourcesMade = false;
    render::MapSources sources;
    render::MapSource* classic = nullptr;
    QStringList commandLineSources;
    // The route of the open recording or trip, taken from the picture index as it grows.
    std::optional<std::vector<render::RoutePoint>> route;
    QString routeFile;
    std::size_t routePictures = 0;
    // The last view drawn by this path; inactive when the classic ShowPos drew it.
    bool active = false;
    render::MapSource* source = nullptr;
    render::Projection projection;
    QPointF origin;                   // world pixel at Pic1's top-left corner
    std::optional<QPointF> anchor;    // origin a zoom asked for, used once
    std::unique_ptr<QObject> events;  // mouse, wheel and key filter
};

}  // namespace droskal
