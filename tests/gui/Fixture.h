#pragma once
// What the window tests share: recordings written into a test's folder, a real window started
// there with the fake desktop, the pictures it shows by their index, and key, mouse and wheel
// events as the window system delivers them.
#include <QApplication>
#include <QMouseEvent>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "app/Form1.h"
#include "tests/support/TestSupport.h"
#include "tools/RecorderWriter.h"

namespace droskal {

// A recording written by the recorder-stream writer into a test's folder, with real
// intra-coded pictures and one sentence per picture.
struct TestRecording {
    QString path;
    std::vector<PicturePositions> pictures;
    std::vector<std::uint8_t> bytes;
};

struct RecordingOptions {
    int count = 5;
    int width = 320;
    int height = 240;
    int quantiserScale = 4;
    bool lastEndCode = true;  // false: the last picture is cut off
    int junkAfter = 0;        // zero bytes after each picture's end code
    int secondsPerPicture = 1;
    bool validFix = true;  // the sentences' status: A, or V
};

// Picture i is a colour gradient shifted by i, its sentence gives 10 + i knots and the time
// 22:34:10 plus i times secondsPerPicture. Given sentences, picture i carries sentences[i] as it
// is instead (no user data for an empty one), and pictures past the end of the list carry none.
TestRecording WriteRecording(const QString& path, const RecordingOptions& options = {},
                             const std::vector<std::string>& sentences = {});

// Writes arbitrary bytes as a file.
void WriteBytes(const QString& path, const std::vector<std::uint8_t>& bytes);
void WriteBytes(const QString& path, const QByteArray& bytes);
// A real key press and release on the window, as the keyboard gives it: the focused control
// gets it, and the window's shortcuts see it first.
void PressKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
QByteArray ReadAll(const QString& path);

// Picture keys of the eleven navigation buttons, left to right, and the sets tests meet.
QStringList NavigationKeys(const Form1& form);
extern const QStringList kAllUnavailable;  // nothing open
extern const QStringList kForwardOnly;     // just opened
extern const QStringList kForwardEnd;      // the last picture reached
extern const QStringList kBackwardEnd;     // the first picture reached
extern const QStringList kStopped;         // playback stopped

// A window started in a scratch folder that also serves as the program's folder.
class WindowTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    FakeDesktop desktop;
    std::unique_ptr<Form1> form;

    QString Path(const QString& name) const { return dir.path() + "/" + name; }
    Form1& Start(const QString& commandLine = QString()) {
        form = std::make_unique<Form1>(desktop, StartupInfo{commandLine, dir.path(), "Droskal"});
        form->Form_Load();
        return *form;
    }
    QStringList Pictures() const { return NavigationKeys(*form); }
};

inline void Wheel(QWidget* target, QPointF at, int delta,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

// Mouse events of the left button at one place; a release holds no button, the others `held`.
inline void Mouse(QWidget* target, QPointF at, std::initializer_list<QEvent::Type> types,
                  Qt::MouseButtons held = Qt::LeftButton) {
    for (QEvent::Type type : types) {
        QMouseEvent event(type, at, target->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : held, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
}

class RecordingTest : public WindowTest {
  protected:
    TestRecording rec;
    std::vector<int> shown;  // the index in rec.pictures of every picture shown

    // Writes r.m1v and opens it in a new window.
    Form1& Open(const RecordingOptions& options = {},
                const std::vector<std::string>& sentences = {}) {
        rec = WriteRecording(Path("r.m1v"), options, sentences);
        return OpenFile(rec.path);
    }
    // Opens a file whose pictures the test put in rec.pictures itself.
    Form1& OpenFile(const QString& path) {
        desktop.clockStep = 1;  // speed 1 waits at most one round unless a test says otherwise
        Start(path);
        shown.clear();
        form->onPictureShown = [this] { shown.push_back(Index()); };
        return *form;
    }
    int Index() const {
        for (std::size_t i = 0; i < rec.pictures.size(); ++i) {
            if (rec.pictures[i].picturePos == form->state.picturePos) return static_cast<int>(i);
        }
        return -1;
    }
    // Runs `action` from inside the playback loop once `count` pictures have been shown.
    void After(std::size_t count, std::function<void()> action) {
        form->onPictureShown = [this, count, action] {
            shown.push_back(Index());
            if (shown.size() == count) QTimer::singleShot(0, form.get(), action);
        };
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        PressKey(form.get(), key, modifiers);
    }
    void ShowMap(bool on) {
        form->chkGps->setChecked(on);
        form->chkGps_Click();
    }
};

}  // namespace droskal
