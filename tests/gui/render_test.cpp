// Map sources and the route: tile arithmetic, MBTiles, tile folders, a tile server on the
// loopback address, the route's stretches and the world file.
#include <QDir>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <numbers>
#include <sstream>

#include "Fixture.h"
#include "TileServer.h"
#include "cli/Commands.h"
#include "cli/RouteScan.h"
#include "render/MapRender.h"
#include "render/OnlineTiles.h"

namespace droskal::render {
namespace {

// Whether the tile's centre has the colour, give or take `tolerance` in each channel.
bool CentreNear(const QImage& tile, QColor colour, int tolerance = 6) {
    const QColor c = tile.isNull() ? QColor() : tile.pixelColor(128, 128);
    return c.isValid() &&
           std::max({std::abs(c.red() - colour.red()), std::abs(c.green() - colour.green()),
                     std::abs(c.blue() - colour.blue())}) <= tolerance;
}

TEST(TileMath, KnownTilesInEveryHemisphereAndAtTheDateLine) {
    // Expected tiles from the slippy-map formulas as published with the tile servers.
    // Latitude, longitude and zoom, and the tile x and y.
    const std::tuple<double, double, int, std::int64_t, std::int64_t> cases[] = {
        {52.2318, 21.0060, 16, 36592, 21578},    // Warsaw, north-east
        {-33.8568, 151.2153, 16, 60295, 39325},  // Sydney, south-east
        {40.6892, -74.0445, 16, 19288, 24645},   // New York, north-west
        {-22.9519, -43.2105, 16, 24901, 37062},  // Rio de Janeiro, south-west
        {85, 179.9999, 3, 7, 0},                 // just west of the date line
        {-60, -179.9999, 3, 0, 5},               // just east of it
        {10, 180.0, 3, 0, 3},                    // 180 E is 180 W
        {89.9, 0, 2, 2, 0},                      // beyond the Mercator limit: clamped
    };
    for (const auto& [lat, lon, z, x, y] : cases) {
        SCOPED_TRACE(testing::Message() << lat << "," << lon << " z" << z);
        EXPECT_EQ(TileAt(lat, lon, z), (TileId{z, x, y}));
        const LatLon back = MercatorLatLon(MercatorPixel(lat, lon, 12), 12);
        if (std::fabs(lat) < kMaxMercatorLatitude && std::fabs(lon) < 180) {
            EXPECT_NEAR(back.lat, lat, 1e-9);
            EXPECT_NEAR(back.lon, lon, 1e-9);
        }
    }
    // EPSG:3857 edges.
    EXPECT_NEAR(MercatorMetresX(0, 5), -20037508.342789244, 1e-6);
    EXPECT_NEAR(MercatorMetresY(WorldSize(5), 5), -20037508.342789244, 1e-6);
}

struct TempMaps : testing::Test {
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    // Zoom 1..2: the north-east tile (x 1, y 0) in TMS row 1, red PNG; the south-west one
    // (x 0, y 1) in row 0, blue JPEG; a damaged tile at zoom 2.
    void WriteMbTiles(const QString& file) {
        const QByteArray sql =
            "CREATE TABLE metadata (name text, value text);"
            "CREATE TABLE tiles (zoom_level integer, tile_column integer, tile_row integer, "
            "tile_data blob);"
            "INSERT INTO metadata VALUES ('name','test'),('format','png'),('minzoom','1'),"
            "('maxzoom','2'),('attribution','(c) Test Maps'),('scheme','tms');"
            "INSERT INTO tiles VALUES (1,1,1,X'" +
            EncodedTile(Qt::red, "PNG").toHex() +
            "'),"
            "(1,0,0,X'" +
            EncodedTile(Qt::blue, "JPEG").toHex() + "'),(2,0,0,'not a picture');";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    // A green tile over Warsaw (zoom 16, tile 36592/21578) in the folder xyz.
    void WriteTileFolder() {
        ASSERT_TRUE(QDir().mkpath(path("xyz/16/36592")));
        WriteBytes(path("xyz/16/36592/21578.png"), EncodedTile(Qt::green, "PNG"));
    }
};

TEST_F(TempMaps, MbTilesAndTileFoldersAndTheFirstSourceThatCovers) {
    WriteMbTiles(path("world.mbtiles"));
    MbTiles tiles(path("world.mbtiles"));
    ASSERT_TRUE(tiles.isOpen());
    EXPECT_EQ(tiles.attribution(), "(c) Test Maps");
    EXPECT_EQ(std::make_pair(tiles.minZoom(), tiles.maxZoom()), std::make_pair(1, 2));
    const std::pair<TileId, QColor> cases[] = {
        {{1, 1, 0}, Qt::red},   // XYZ row 0 is TMS row 1
        {{1, 0, 1}, Qt::blue},  // and the other way round
        {{1, 1, 1}, QColor()},  // TMS row 0 of column 1 was never stored
        {{1, 0, 0}, QColor()},  // nor row 1 of column 0
        {{2, 0, 3}, QColor()},  // damaged tile data
    };
    for (const auto& [id, colour] : cases) {
        const QImage tile = tiles.tile(id);
        EXPECT_EQ(tile.isNull(), !colour.isValid()) << id.z << "/" << id.x << "/" << id.y;
        EXPECT_TRUE(!colour.isValid() || CentreNear(tile, colour, 12));
    }
    // Not a database, and a missing file (which must not be created).
    WriteBytes(path("junk.mbtiles"), QByteArray("this is not SQLite"));
    QString error;
    EXPECT_EQ(MakeSource(path("junk.mbtiles"), false, error), nullptr);
    EXPECT_EQ(MakeSource(path("gone.mbtiles"), false, error), nullptr);
    EXPECT_FALSE(QFile::exists(path("gone.mbtiles")));

    WriteTileFolder();
    MapSources sources;
    for (const QString& entry : {path("missing.mbtiles"), path("world.mbtiles"), path("xyz")}) {
        if (auto s = MakeSource(entry, false, error)) sources.push_back(std::move(s));
    }
    ASSERT_EQ(sources.size(), 2u);
    // The MBTiles (zoom 1..2) has no tile over Warsaw at z16: the folder draws it (a window
    // test sees it drawn).
    const SourceChoice choice = ChooseSource(sources, 52.2318, 21.0060, 16, 1.0);
    EXPECT_EQ(choice.source, sources[1].get());
    EXPECT_EQ(choice.projection.zoom, 16);
    // North-east at zoom 1 is the MBTiles' red tile; nowhere covered: no source.
    EXPECT_EQ(ChooseSource(sources, 40, 100, 1, 1.0).source, sources[0].get());
    EXPECT_EQ(ChooseSource(sources, -40, 100, 16, 1.0).source, nullptr);
}

TEST_F(TempMaps, OnlineTilesAreCachedForAWeekAndAFailingServerFallsThrough) {
    TileServer server;
    const TileId id{16, 36592, 21578};
    {
        OnlineTiles online(server.url(), path("cache"));
        EXPECT_TRUE(CentreNear(online.tile(id), Qt::yellow));
        EXPECT_EQ(server.requests, 1);
        EXPECT_TRUE(server.lastRequest.contains("GET /16/36592/21578.png"));
        EXPECT_TRUE(server.lastRequest.contains("User-Agent: Droskal/"));
    }
    // A second view, even by a new viewer, takes the tile from the disk.
    EXPECT_FALSE(OnlineTiles(server.url(), path("cache")).tile(id).isNull());
    EXPECT_EQ(server.requests, 1);
    {
        // Older than a week: asked for again; when the server fails, the old tile still serves.
        QFile file(path("cache/16/36592/21578.tile"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-8),
                                     QFileDevice::FileModificationTime));
        file.close();
        server.status = 500;
        OnlineTiles online(server.url(), path("cache"));
        EXPECT_FALSE(online.tile(id).isNull());
        EXPECT_EQ(server.requests, 2);
        // A failing server is left alone for a while, whatever tile the view wants.
        EXPECT_TRUE(online.tile({16, 36593, 21578}).isNull());
        EXPECT_EQ(server.requests, 2);
    }
    // A failing server and a refused connection fall through to the folder behind them.
    WriteTileFolder();
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 refusedPort = closed.serverPort();
    closed.close();
    MapSources sources;
    sources.push_back(std::make_unique<OnlineTiles>(server.url(), path("cache2")));
    sources.push_back(std::make_unique<OnlineTiles>(server.url(refusedPort), path("cache3")));
    sources.push_back(std::make_unique<TileFolder>(path("xyz")));
    EXPECT_EQ(ChooseSource(sources, 52.2318, 21.0060, 16, 1.0).source, sources[2].get());
    EXPECT_EQ(server.requests, 3);
    // Online sources are only made when the user allowed them.
    QString error;
    EXPECT_EQ(MakeSource(server.url(), false, error), nullptr);
    EXPECT_NE(MakeSource(server.url(), true, error), nullptr);
}

// In a window a tile older than a week is drawn at once, and the fresh one once it has come.
TEST_F(TempMaps, InAWindowAnOldTileServesUntilTheFreshOneComes) {
    TileServer server;
    const TileId id{16, 36592, 21578};
    ASSERT_TRUE(QDir().mkpath(path("cache/16/36592")));
    WriteBytes(path("cache/16/36592/21578.tile"), EncodedTile(Qt::blue, "PNG"));
    QFile file(path("cache/16/36592/21578.tile"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-8),
                                 QFileDevice::FileModificationTime));
    file.close();
    OnlineTiles online(server.url(), path("cache"));
    int repaints = 0;
    online.whenMapArrives([&repaints] { ++repaints; });
    EXPECT_TRUE(CentreNear(online.tile(id), Qt::blue));
    EXPECT_TRUE(QTest::qWaitFor([&repaints] { return repaints == 1; }, 5000));
    EXPECT_TRUE(CentreNear(online.tile(id), Qt::yellow));
    EXPECT_EQ(server.requests, 1);
}

// The legend speaks the unit the window shows: limits converted and rounded by hand.
TEST(Route, LegendLabelsInEveryUnit) {
    const std::pair<SpeedUnit, std::vector<QString>> cases[] = {
        {SpeedUnit::Kmh, {"< 20", "20-40", "40-60", "60-80", "80-100", "100+"}},
        {SpeedUnit::Mph, {"< 12", "12-25", "25-37", "37-50", "50-62", "62+"}},
        {SpeedUnit::Knots, {"< 11", "11-22", "22-32", "32-43", "43-54", "54+"}},
    };
    for (const auto& [unit, labels] : cases) EXPECT_EQ(SpeedBandLabels(unit), labels);
}

// Statuses: 'A' a valid fix, 'V' none, 'j' a valid fix after a time jump.
std::vector<RoutePoint> Drive(const char* statuses) {
    std::vector<RoutePoint> route;
    for (int i = 0; statuses[i] != 0; ++i) {
        route.push_back({.lat = 52.2 + 0.0004 * i,
                         .lon = 21.0 + 0.0007 * i,
                         .speedKmh = 10.0 * i,
                         .valid = statuses[i] != 'V',
                         .time = statuses[i] == 'j' ? 1000.0 : i,
                         .picture = i});
    }
    return route;
}

TEST(Route, StretchesBreakWhereTheFixIsLostOrTheTimeJumps) {
    using Stretches = std::vector<std::pair<std::size_t, std::size_t>>;
    const std::pair<const char*, Stretches> cases[] = {
        {"AAAA", {{0, 3}}}, {"AAVVAA", {{0, 1}, {4, 5}}},
        {"VAV", {{1, 1}}},  {"AAjA", {{0, 1}, {2, 2}, {3, 3}}},
        {"VVV", {}},
    };
    for (const auto& [statuses, stretches] : cases) {
        Stretches got;
        for (const RouteStretch& s : RouteStretches(Drive(statuses)))
            got.emplace_back(s.first, s.last);
        EXPECT_EQ(got, stretches) << statuses;
    }
    // Drawn: no line across the lost stretch.
    const auto route = Drive("AAVVVVVVAA");
    const Projection p = Projection::Mercator(17);
    const QRectF view = RouteBounds(route, p).adjusted(-20, -20, 20, 20);
    QImage image(view.size().toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        DrawRoute(painter, route, p, view, {QColor(Qt::magenta), 4});
    }
    const auto pixel = [&](std::size_t i) {
        return image.pixelColor((p.toWorld(route[i].lat, route[i].lon) - view.topLeft()).toPoint());
    };
    EXPECT_EQ(pixel(0), QColor(Qt::magenta));
    EXPECT_EQ(pixel(9), QColor(Qt::magenta));
    EXPECT_EQ(pixel(5), QColor(Qt::white));
}

// Whether the world file places the fix at (x, y) in its map's units on a pixel of one of the
// colours within `radius` pixels; from the file's six numbers alone.
bool PlacedOnRoute(const QImage& image, const std::string& worldFile, double x, double y,
                   const std::vector<QColor>& colours, int radius) {
    std::istringstream in(worldFile);
    double a, d, b, e, c, f;
    in >> a >> d >> b >> e >> c >> f;
    const QPoint pixel = QPointF((x - c) / a, (y - f) / e).toPoint();
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint q = pixel + QPoint(dx, dy);
            if (!image.rect().contains(q)) continue;
            for (const QColor& colour : colours)
                if (image.pixelColor(q) == colour) return true;
        }
    }
    return false;
}

// droskal-cli map on the demo drive over a calibrated picture (a world file in degrees) and
// over an empty tile folder (a plain background, the world file in EPSG:3857 metres).
TEST(MapCommand, WorldFilePutsEveryValidFixOnARouteColouredPixel) {
    const QString demo = QString(DROSKAL_DEMO_DIR) + "/demo.m1v";
    if (!QFile::exists(demo)) GTEST_SKIP() << "no demo drive in this build";
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("empty"));
    cli::ScannedRoute route;
    std::string error;
    ASSERT_TRUE(cli::ScanRoute(demo.toStdString(), route, error));
    std::vector<QColor> colours;
    for (const SpeedBand& band : SpeedBands()) colours.push_back(band.colour);
    const std::string png = dir.filePath("route.png").toStdString();
    constexpr double kRad = std::numbers::pi / 180;
    for (const bool calibrated : {true, false}) {
        SCOPED_TRACE(calibrated);
        const std::string source = calibrated ? std::string(DROSKAL_DEMO_DIR) +
                                                    "/map.gif,52.41674,20.79139,52.80114,20.2325"
                                              : dir.filePath("empty").toStdString();
        std::ostringstream out, err;
        ASSERT_EQ(
            cli::RunMap({demo.toStdString(), "-o", png, "--source", source, "--size", "900x700"},
                        cli::Io{out, err}),
            cli::kExitOk)
            << err.str();
        const QImage image(QString::fromStdString(png));
        const std::string world = ReadAll(dir.filePath("route.pgw")).toStdString();
        int valid = 0;
        for (const RoutePoint& p : route.points) {
            if (!p.valid) continue;
            ++valid;
            const double x = calibrated ? p.lon : kEarthRadiusMetres * p.lon * kRad;
            const double y = calibrated
                                 ? p.lat
                                 : kEarthRadiusMetres *
                                       std::log(std::tan(std::numbers::pi / 4 + p.lat * kRad / 2));
            ASSERT_TRUE(PlacedOnRoute(image, world, x, y, colours, 2)) << p.picture;
        }
        EXPECT_GT(valid, 800);
    }
}

}  // namespace
}  // namespace droskal::render
