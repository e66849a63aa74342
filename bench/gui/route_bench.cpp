// Drawing the route into map view's 640 x 480 window, as every picture in map view with the
// route shown does: a 90-second drive (900 fixes) and a one-hour drive (36,000 fixes), with
// the view at tile zoom 16 on part of the route.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "render/Route.h"

namespace {

std::vector<droskal::render::RoutePoint> Drive(int fixes) {
    std::vector<droskal::render::RoutePoint> route;
    for (int i = 0; i < fixes; ++i) {
        droskal::render::RoutePoint p;
        const double t = i * 0.1;
        p.lat = 52.2 + 0.002 * std::sin(t / 40) + 0.00001 * t;
        p.lon = 21.0 + 0.003 * std::cos(t / 55) + 0.00002 * t;
        p.speedKmh = 50 + 40 * std::sin(t / 13);
        p.valid = i % 500 < 480;  // a lost fix now and then
        p.time = t;
        p.picture = i;
        route.push_back(p);
    }
    return route;
}

void BM_DrawRouteWindow(benchmark::State& state) {
    const auto route = Drive(static_cast<int>(state.range(0)));
    const auto projection = droskal::render::Projection::Mercator(16);
    const QPointF centre = projection.toWorld(route[0].lat, route[0].lon);
    const QRectF view(centre - QPointF(320, 240), QSizeF(640, 480));
    QImage image(640, 480, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        droskal::render::DrawRoute(painter, route, projection, view);
        droskal::render::DrawSpeedLegend(painter, QRectF(image.rect()));
    }
}
BENCHMARK(BM_DrawRouteWindow)->Arg(900)->Arg(36000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
