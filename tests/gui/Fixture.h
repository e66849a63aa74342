#pragma once
// The set-up most window tests share: a recording opened in a real window, the pictures it
// shows by their index, and mouse and wheel events as the window system delivers them.
#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>

#include <functional>

#include "Recordings.h"

namespace droskal {

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
