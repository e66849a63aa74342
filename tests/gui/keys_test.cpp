// Keys, wheel, zoom, full screen and drops on a real window, through real Qt events.
#include <QDir>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <set>

#include <gtest/gtest.h>

#include "Fixture.h"
#include "app/Actions.h"

namespace droskal {
namespace {

using Indexes = std::vector<int>;

class KeysTest : public RecordingTest {
  protected:
    // Drops file URLs, or a text when there are none.
    void Drop(const QStringList& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        paths.isEmpty() ? mime.setText("/tmp/x.m1v") : mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &drop);
    }
};

TEST_F(KeysTest, KeysAndWheelRunTheButtonsHandlers) {
    using K = QKeyCombination;
    const K right(Qt::Key_Right), left(Qt::Key_Left), up(Qt::Key_Up), down(Qt::Key_Down);
    const K home(Qt::Key_Home), end(Qt::Key_End), period(Qt::Key_Period), comma(Qt::Key_Comma);
    const K shiftRight = Qt::SHIFT | Qt::Key_Right, shiftLeft = Qt::SHIFT | Qt::Key_Left;
    RecordingOptions minutes{20}, noFix{20};
    minutes.secondsPerPicture = 10;
    noFix.validFix = false;
    const std::tuple<RecordingOptions, std::vector<K>, Indexes, QStringList> cases[] = {
        {{5}, {home}, {}, kForwardOnly},  // right after opening: its button shows unavailable
        {{5}, {right, period, right, left, comma}, {0, 1, 2, 1, 0}, kStopped},
        {{5}, {end, right, home}, {4, 0}, kBackwardEnd},  // → at the end does nothing
        {{25}, {right, shiftRight, shiftLeft}, {0, 10, 0}, kStopped},  // ten pictures
        {{5}, {right, shiftRight}, {0, 4}, kForwardEnd},               // past the end: the last
        {minutes, {right, up, up, down}, {0, 6, 12, 6}, kStopped},     // a minute by GPS time
        {noFix, {right, up}, {0, 19}, kForwardEnd},  // without a fix 600 pictures: the end
    };
    for (const auto& c : cases) {
        const auto& [options, keys, pictures, buttons] = c;
        SCOPED_TRACE(&c - cases);
        Open(options);
        for (K key : keys) Key(key.key(), key.keyboardModifiers());
        EXPECT_EQ(shown, pictures);
        EXPECT_EQ(Pictures(), buttons);
    }
    // The wheel: a notch a picture (down: forward), a touchpad's small steps adding up;
    // on the position bar ten a notch.
    Open({25});
    for (int delta : {-120, -30, -30, -30, -30, 120}) Wheel(form->Pic1, QPointF(300, 100), delta);
    Wheel(form->fraCmd, QPointF(300, 30), -120);
    EXPECT_EQ(shown, (Indexes{0, 1, 0, 10}));
    // 0 .. 9 land where a release of the thumb at that tenth of the bar lands: on the first
    // picture whose start code begins at or after that share of the file.
    for (int tenth : {5, 0, 9}) {
        Key(Qt::Key_0 + tenth);
        const double target =
            std::max(1.0, std::round(static_cast<double>(rec.bytes.size()) * tenth / 10));
        const auto first = std::find_if(rec.pictures.begin(), rec.pictures.end(), [&](auto& p) {
            return static_cast<double>(p.picturePos - 3) >= target;
        });
        EXPECT_EQ(shown.back(), first - rec.pictures.begin()) << tenth;
    }
}

TEST_F(KeysTest, PlaybackKeys) {
    // The key that starts, the pictures after which the other key comes, and the pictures shown.
    const std::tuple<const char*, Qt::Key, std::size_t, Qt::Key, Indexes> cases[] = {
        // As the stop button: the picture being read at speed 1 is still shown.
        {"Space starts and stops", Qt::Key_Space, 2, Qt::Key_Space, {0, 1, 2}},
        {"K stops", Qt::Key_L, 1, Qt::Key_K, {0, 1}},
        {"→ stops, then steps", Qt::Key_Space, 2, Qt::Key_Right, {0, 1, 2, 3}},
        {"← stops, then steps back", Qt::Key_Space, 3, Qt::Key_Left, {0, 1, 2, 3, 2}},
    };
    for (const auto& [name, start, after, during, pictures] : cases) {
        SCOPED_TRACE(name);
        Open({10});
        After(after, [this, key = during] { Key(key); });
        Key(start);
        EXPECT_EQ(shown, pictures);
        EXPECT_FALSE(form->state.playing);
        EXPECT_EQ(Pictures(), kStopped);
    }
    // L pressed again plays one speed faster, up to three.
    RecordingOptions options{16};
    options.junkAfter = 150000;  // speed 3 jumps pass one picture each
    Open(options);
    std::vector<QString> speeds;  // the active play picture at each picture shown
    form->onPictureShown = [&] {
        for (const PictureButton* b : {form->cmdUpF, form->cmdUpFF, form->cmdUpFFF}) {
            if (!b->pictureKey().endsWith('A') ||
                (!speeds.empty() && speeds.back() == b->pictureKey()))
                continue;
            speeds.push_back(b->pictureKey());
            if (speeds.size() < 4) QTimer::singleShot(0, form.get(), [this] { Key(Qt::Key_L); });
        }
    };
    Key(Qt::Key_L);
    EXPECT_EQ(speeds, (std::vector<QString>{"UpFA", "UpFFA", "UpFFFA"}));
    EXPECT_FALSE(form->state.playing);
}

// The 320 x 240 picture lies at x 160 of Pic1. At 2x each of its pixels is a 2 x 2 block.
TEST_F(KeysTest, FullScreenAndBackThenZoomThatStaysWhileStepping) {
    Open({3});
    Key(Qt::Key_Right);
    // Full screen and back restores the window.
    const QRect window = form->geometry(), picture = form->Pic1->geometry();
    const QImage classic = form->ShownView();
    const std::pair<std::function<void()>, std::function<void()>> ways[] = {
        {[this] { Key(Qt::Key_F); }, [this] { Key(Qt::Key_Escape); }},
        {[this] { QTest::mouseDClick(form->Pic1, Qt::LeftButton, {}, QPoint(300, 100)); },
         [this] { Key(Qt::Key_F11); }},
    };
    for (const auto& [enter, leave] : ways) {
        enter();
        QTest::qWait(50);
        ASSERT_TRUE(form->isFullScreen());
        const QSize screen = form->screen()->geometry().size();
        EXPECT_EQ(form->size(), screen);
        // The buttons along the bottom; the picture scaled to the rest, keeping its aspect.
        const QSizeF area(screen.width(), screen.height() - form->fraCmd->height());
        EXPECT_EQ(form->fraCmd->geometry().bottom(), screen.height() - 1);
        EXPECT_EQ(form->Pic1->geometry(), QRect(QPoint(0, 0), area.toSize()));
        // Picture pixel (100, 60), well inside a square of the test pattern, where the
        // smooth filter has only the gentle gradient to blend.
        const double scale = std::min(area.width() / 320, area.height() / 240);
        const QPointF origin((area.width() - 320 * scale) / 2, (area.height() - 240 * scale) / 2);
        const QRgb shown =
            form->ShownView().pixel((origin + QPointF(100.5, 60.5) * scale).toPoint());
        const QRgb drawn = form->Pic1->image().pixel(160 + 100, 60);
        for (int shift : {0, 8, 16}) EXPECT_NEAR(shown >> shift & 0xFF, drawn >> shift & 0xFF, 6);
        leave();
        QTest::qWait(50);
        EXPECT_EQ(std::tuple(form->isFullScreen(), form->geometry(), form->Pic1->geometry()),
                  std::tuple(false, window, picture));
        EXPECT_EQ(form->ShownView(), classic);
    }
    auto blocksOf = [this](QPoint corner) {
        const QImage view = form->ShownView();
        const QImage& image = form->Pic1->image();
        int wrong = 0;
        for (int y = 0; y < 240; y += 7) {
            for (int x = 0; x < 320; x += 5)
                wrong +=
                    view.pixel(160 + x, y) != image.pixel(corner.x() + x / 2, corner.y() + y / 2);
        }
        return wrong;
    };
    Key(Qt::Key_Plus);
    Key(Qt::Key_Plus);
    EXPECT_EQ(form->ZoomFactor(), 2.0);
    EXPECT_EQ(blocksOf({240, 60}), 0);  // toward the middle
    const QImage before = form->Pic1->image();
    Key(Qt::Key_Right);
    ASSERT_NE(form->Pic1->image(), before);
    EXPECT_EQ(blocksOf({240, 60}), 0);
    EXPECT_EQ(form->SnapshotImage(), form->Pic1->image());  // the BMP keeps the whole picture

    // Shift+S saves what is shown.
    desktop.dialogAnswers.push_back(Path("view.png"));
    Key(Qt::Key_S, Qt::ShiftModifier);
    EXPECT_EQ(QImage(Path("view.png")).convertToFormat(QImage::Format_RGB32), form->ShownView());

    Key(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(form->ShownView(), form->Pic1->image());
    for (Qt::Key k : {Qt::Key_G, Qt::Key_Plus, Qt::Key_G}) Key(k);  // map view is never zoomed
    EXPECT_EQ(form->ZoomFactor(), 1.0);
    // Ctrl+wheel zooms toward the cursor: the corner under it stays.
    Wheel(form->Pic1, QPointF(160, 0), 240, Qt::ControlModifier);
    EXPECT_EQ(form->ZoomFactor(), 2.0);
    EXPECT_EQ(blocksOf({160, 0}), 0);
    // Dragging pans: 40 pixels left shows 20 picture pixels further right.
    QTest::mousePress(form->Pic1, Qt::LeftButton, {}, QPoint(300, 100));
    QTest::mouseMove(form->Pic1, QPoint(260, 100));
    QTest::mouseRelease(form->Pic1, Qt::LeftButton, {}, QPoint(260, 100));
    EXPECT_EQ(blocksOf({180, 0}), 0);
}

TEST_F(KeysTest, DroppedFilesOpenLikeTheOpenDialog) {
    const TestRecording other =
        WriteRecording(Path("other.m1v"), RecordingOptions{2, 640, 480, 4, true});
    QDir(dir.path()).mkdir("folder");
    WriteRecording(Path("folder/b.M1V"), RecordingOptions{1});
    WriteRecording(Path("folder/a.m1v"), RecordingOptions{1});
    WriteBytes(Path("folder/0.txt"), QByteArray("text"));
    WriteBytes(Path("picture.png"), QByteArray("png"));
    // The names dropped (none: a text), the one opened (none: nothing happens) and the end of
    // the caption then.
    const std::tuple<QStringList, QString, QString> cases[] = {
        {{}, "", ""},
        {{Path("picture.png")}, "", ""},
        {{other.path}, other.path, "/other.m1v"},
        {{Path("picture.png"), Path("folder/b.M1V"), other.path},
         Path("folder/b.M1V"),
         "1 z 2: b.M1V"},
    };
    for (const auto& [paths, opened, caption] : cases) {
        SCOPED_TRACE(paths.join(' ').toStdString());
        Open({2});
        const QString before = form->lblFile->text();
        Drop(paths);
        EXPECT_EQ(form->state.mpegFileName, opened.isEmpty() ? rec.path : opened);
        EXPECT_TRUE(opened.isEmpty() ? form->lblFile->text() == before
                                     : form->lblFile->text().endsWith(caption));
        EXPECT_EQ(Pictures(), kForwardOnly);
        EXPECT_TRUE(desktop.messages.empty());
    }
    // A folder opens as a trip of its recordings and is remembered as the folder.
    Open({2});
    Drop({Path("folder")});
    EXPECT_EQ(form->state.mpegFileName, Path("folder"));
    EXPECT_FALSE(form->trips.empty());
    EXPECT_TRUE(form->streamFile.isOpen());
    Drop({other.path});
    EXPECT_EQ(form->state.picFormat, 1);  // laid out for the 640 x 480 recording
    // During playback a drop is refused, as the open button refuses.
    Open({4});
    After(1, [&] { Drop({other.path}); });
    Key(Qt::Key_Space);
    EXPECT_EQ(form->state.mpegFileName, rec.path);
    EXPECT_EQ(shown.size(), 4u);
}

// F1 and ? show the key list; no key belongs to two actions (Qt would then run neither).
TEST_F(KeysTest, KeyListAndNoKeyTakenTwice) {
    Open({1});
    for (Qt::Key key : {Qt::Key_F1, Qt::Key_Question}) {
        Key(key);
        ASSERT_TRUE(form->keyList && form->keyList->isVisible());
        form->keyList->close();
    }
    std::set<QString> keys;
    for (const Action& action : Actions()) {
        for (const QKeySequence& key : action.keys)
            EXPECT_TRUE(keys.insert(key.toString()).second) << key.toString().toStdString();
    }
}

}  // namespace
}  // namespace droskal
