// Map view's route (R), clicks that seek to the nearest fix, the wheel's zoom and map sources
// from the settings, on a real window.
#include <QDir>
#include <QTest>

#include <cmath>

#include "Fixture.h"
#include "TileServer.h"
#include "app/RouteView.h"
#include "app/Viewer.h"
#include "render/Route.h"
#include "render/TileMath.h"

namespace droskal {
namespace {

constexpr int kPictures = 20;

// Out along a street for ten pictures and back over the same places, 1 s apart, from map
// pixel (2000, 2000) of the built-in calibration eastwards, 11.7 pixels a picture.
double LatOf(int) {
    return 52.41674 - 2000 / 10653.0;
}
double LonOf(int i) {
    return 20.79139 + 2000 / 7327.0 + 0.0016 * (i < 10 ? i : 19 - i);
}

TestRecording WriteDrive(const QString& path) {
    std::vector<std::string> sentences;
    for (int i = 0; i < kPictures; ++i)
        sentences.push_back(test::Sentence(
            {.seconds = 8 * 3600.0 + i, .lat = LatOf(i), .lon = LonOf(i), .knots = "30.0"}));
    return WriteRecording(path, RecordingOptions{kPictures}, sentences);
}

class RouteTest : public RecordingTest {
  protected:
    void StartInMapView() {
        QImage map(600, 600, QImage::Format_RGB32);
        map.fill(QColor(200, 200, 200));
        EXPECT_TRUE(map.save(Path("map.gif"), "PNG"));  // any picture format Qt reads
        rec = WriteDrive(Path("drive.m1v"));
        OpenFile(Path("drive.m1v"));
        ShowFirstInMapView();
    }
    // The route comes from the picture index, built in the background.
    void ShowFirstInMapView() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->pictureIndex.finished(); }, 5000));
        form->cmdUp_Click();
        ShowMap(true);
    }
    // Pic1 pixel of picture i's fix in the classic window (origin as it stands).
    QPoint ClassicPixel(int i) const {
        const double x = (LonOf(i) - 20.79139) * 7327.0 - form->state.mapOriginX;
        const double y = (52.41674 - LatOf(i)) * 10653.0 - form->state.mapOriginY;
        return QPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
    }
    void GoTo(int picture) {
        form->cmdDownE_Click();
        for (int i = 0; i < picture; ++i) form->cmdUp_Click();
        ASSERT_EQ(Index(), picture);
    }
    long RouteColouredPixels() const {
        const QImage image = form->Pic1->image().convertToFormat(QImage::Format_RGB32);
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
        return std::count(pixels, pixels + image.width() * image.height(),
                          render::SpeedColour(55.56).rgb());
    }
};

// Clicks seek to the nearest fix of the pass nearest in time, with or without the route, which
// R draws, remembers, and takes off again leaving the classic picture.
TEST_F(RouteTest, ClicksSeekAndRDrawsTheRoute) {
    StartInMapView();
    const QImage classic = form->Pic1->image();
    EXPECT_EQ(RouteColouredPixels(), 0);
    // Picture 3's place is passed again by picture 16.
    const std::tuple<int, QPoint, int> cases[] = {
        {0, {0, 0}, 3},    // on the way out
        {19, {0, 0}, 16},  // on the way back
        {12, {8, 5}, 15},  // beside it: picture 15's place is nearer on the pass nearer in time
        {5, {0, 40}, 5},   // 40 pixels off the street: nothing happens
    };
    for (const auto& [from, offset, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "from " << from);
        GoTo(from);
        Mouse(form->Pic1, ClassicPixel(3) + offset, {QEvent::MouseButtonPress});
        EXPECT_EQ(Index(), expected);
    }
    GoTo(0);
    PressKey(form.get(), Qt::Key_R);
    EXPECT_TRUE(form->RouteShown());
    EXPECT_EQ(desktop.settings.value("Droskal/Display/Route"), "1");
    // 30 knots = 55.56 km/h: the 40-60 band, along the whole street.
    EXPECT_GT(RouteColouredPixels(), 150);
    const QPoint point = form->shPoint->geometry().center();
    const double step = 0.0016 * 7327.0;  // map pixels between pictures
    Mouse(form->Pic1, point + QPoint(static_cast<int>(7 * step), 0), {QEvent::MouseButtonPress});
    EXPECT_EQ(Index(), 7);
    // The legend follows the speed unit at once, and comes back with it.
    const QImage kmh = form->Pic1->image();
    PressKey(form.get(), Qt::Key_U);
    EXPECT_NE(form->Pic1->image(), kmh);
    PressKey(form.get(), Qt::Key_U);
    PressKey(form.get(), Qt::Key_U);
    EXPECT_EQ(form->Pic1->image(), kmh);
    GoTo(0);
    PressKey(form.get(), Qt::Key_R);
    EXPECT_EQ(desktop.settings.value("Droskal/Display/Route"), "0");
    EXPECT_EQ(form->Pic1->image(), classic);
    // Remembered: a new window starts with the route shown.
    desktop.settings["Droskal/Display/Route"] = "1";
    Start(Path("drive.m1v"));
    EXPECT_TRUE(form->RouteShown());
}

TEST_F(RouteTest, WheelZoomsInWholeStepsAboutTheCursor) {
    StartInMapView();
    GoTo(0);
    const QPoint point = ClassicPixel(0);
    // Zooming in at the point keeps it under the cursor; a step out and the next picture is
    // a step (0.0016 degrees of longitude) of map pixels away at that scale.
    const std::pair<int, int> cases[] = {{120, 1},   {120, 2},   {120, 2},
                                         {-360, -1}, {-240, -2}, {120, -1}};
    for (const auto& [delta, scaleStep] : cases) {
        SCOPED_TRACE(delta);
        Wheel(form->Pic1, point, delta);
        EXPECT_EQ(form->routeView->scaleStep, scaleStep);
        EXPECT_LE((form->shPoint->geometry().center() - point).manhattanLength(), 2);
    }
    form->cmdUp_Click();
    EXPECT_NEAR(form->shPoint->geometry().center().x() - point.x(), 0.0016 * 7327.0 / 2, 2);
    // Back to scale 1 with the route off: the classic window again.
    Wheel(form->Pic1, point, 120);
    EXPECT_EQ(form->routeView->scaleStep, 0);
    EXPECT_FALSE(form->routeView->active);
}

TEST_F(RouteTest, TileFolderFromTheSettingsDrawsWhereMapGifHasNoMap) {
    // Tiles for the whole street at zoom 16, and no map.gif.
    const render::TileId first = render::TileAt(LatOf(0), LonOf(0), 16);
    const render::TileId last = render::TileAt(LatOf(9), LonOf(9), 16);
    for (std::int64_t x = first.x - 2; x <= last.x + 2; ++x) {
        for (std::int64_t y = first.y - 2; y <= first.y + 2; ++y) {
            const QString folder = Path(QString("tiles/16/%1").arg(x));
            ASSERT_TRUE(QDir().mkpath(folder));
            QImage tile(256, 256, QImage::Format_RGB32);
            tile.fill(QColor(10, 120, 200));
            ASSERT_TRUE(tile.save(QString("%1/%2.png").arg(folder).arg(y)));
        }
    }
    // The folder named on the command line, a missing file in the settings.
    desktop.settings["Droskal/Maps/Sources"] = Path("nothing-here.mbtiles");
    rec = WriteDrive(Path("drive.m1v"));
    QStringList arguments = {"Droskal", "--map-source", Path("tiles"), Path("drive.m1v")};
    const QStringList sources = TakeMapSourceOptions(arguments);
    OpenFile(StartupFromArguments(arguments, Path("Droskal")).commandLine);
    form->SetCommandLineMapSources(sources);
    ShowFirstInMapView();
    EXPECT_FALSE(form->Pic1->isHidden());
    EXPECT_EQ(form->Pic1->image().pixelColor(20, 20), QColor(10, 120, 200));
    ASSERT_EQ(desktop.messages.size(), 1u);  // the missing MBTiles is named once
    EXPECT_TRUE(desktop.messages[0].text.contains("nothing-here.mbtiles"));
    // Clicking the fix three pictures on seeks there.
    const QPoint point = form->shPoint->geometry().center();
    const double step = 0.0016 / 360 * 256 * 65536;
    Mouse(form->Pic1, point + QPoint(static_cast<int>(3 * step), 0), {QEvent::MouseButtonPress});
    EXPECT_EQ(Index(), 3);
}

// A tile server in the settings: the window shows the picture without waiting for tiles, and
// each tile that comes draws the view again, with no key pressed, until the view is whole.
TEST_F(RouteTest, TilesFromAServerArriveWithoutHoldingUpTheWindow) {
    TileServer server;  // answers only when this thread's event loop runs
    const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", Path("cache").toUtf8());
    desktop.settings["Droskal/Maps/Sources"] = server.url();
    desktop.settings["Droskal/Maps/Online"] = "1";
    rec = WriteDrive(Path("drive.m1v"));
    OpenFile(Path("drive.m1v"));
    ShowFirstInMapView();
    EXPECT_EQ(server.requests, 0);
    const auto whole = [this] {
        const QImage image = form->Pic1->image();
        return !form->Pic1->isHidden() && image.pixelColor(20, 20) == QColor(Qt::yellow) &&
               image.pixelColor(620, 20) == QColor(Qt::yellow) &&
               image.pixelColor(20, 400) == QColor(Qt::yellow);
    };
    EXPECT_TRUE(QTest::qWaitFor(whole, 10000));
    EXPECT_LE(server.requests, 12);  // a 640 x 480 view meets at most 4 x 3 tiles, each asked once
    qputenv("XDG_CACHE_HOME", cacheHome);
}

}  // namespace
}  // namespace droskal
