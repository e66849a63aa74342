// What the keys do beyond pressing a button: moves of many pictures, the minute step, the
// faster playback, the bar's tenths, the fragment marks and the key list.
#include <QAction>
#include <QDateTime>
#include <QTimeZone>

#include <cmath>
#include <optional>

#include "app/Actions.h"
#include "app/Form1.h"
#include "app/KeyList.h"
#include "gps/Nmea.h"

namespace droskal {

namespace {

constexpr int kPicturesWithoutTime = 600;
// A receiver whose time stands still must not send the walk through a whole large file:
// 50 pictures a second for a minute is as far as a minute goes.
constexpr int kMostPicturesAMinute = 3000;
constexpr double kMinute = 60;

// Seconds of the picture's own GPS time, from its sentence; none when the fix is not valid
// or the time does not read.
std::optional<double> SentenceSeconds(const std::string& nmeaText) {
    NmeaDisplay display;
    if (!ParseNmea(nmeaText, display) || !display.gpsValid) return std::nullopt;
    const QString text =
        QString::fromLatin1(display.lblTime.data(), static_cast<qsizetype>(display.lblTime.size()));
    const QDateTime stamp = QDateTime::fromString(text, "dd.MM.yyyy  hh:mm:ss");
    if (stamp.isValid()) {
        return static_cast<double>(
            QDateTime(stamp.date(), stamp.time(), QTimeZone::utc()).toSecsSinceEpoch());
    }
    const QTime time = QTime::fromString(text, "hh:mm:ss");
    if (time.isValid()) return time.msecsSinceStartOfDay() / 1000.0;
    return std::nullopt;
}

}  // namespace

void Form1::InstallActions() {
    setAcceptDrops(true);
    Pic1->installEventFilter(this);
    fraCmd->installEventFilter(this);
    Pic1->viewOf = [this](QRectF& source, QRectF& target) { return ViewOf(source, target); };
    for (const Action& action : Actions()) {
        for (int key = 0; key < action.keys.size(); ++key) {
            auto* shortcut = new QAction(this);
            shortcut->setShortcut(action.keys[key]);
            shortcut->setShortcutContext(Qt::WindowShortcut);
            shortcut->setAutoRepeat(action.repeats);
            addAction(shortcut);
            connect(shortcut, &QAction::triggered, this, [this, &action, key] {
                if (action.enabled == nullptr || action.enabled(*this)) action.run(*this, key);
            });
        }
    }
}

void Form1::ShowFoundPicture(bool forward) {
    if (!ReadFrame(1, *frameBuf)) {
        forward ? UpEnd() : DownEnd();
        return;
    }
    ShowReadPicture();
    forward ? ActiveDownCmd() : ActiveUpCmd();
}

// Passes over pictures without decoding them until `arrived` says so or `most` pictures are
// behind; the picture reached is shown as a step would show it. Past either end it shows
// the end picture, as the end buttons do.
void Form1::GoPictures(bool forward, int most, const std::function<bool()>& arrived) {
    for (int i = 1; i < most; ++i) {
        if (!(forward ? FindStartUp(1) : FindStartDown(1)) || !FindPicStart(1)) {
            forward ? cmdUpE_Click() : cmdDownE_Click();
            return;
        }
        if (arrived && arrived()) {
            ShowFoundPicture(forward);
            return;
        }
    }
    forward ? cmdUp_Click() : cmdDown_Click();
}

void Form1::StepPictures(int count) {
    if (count == 0) return;
    if (state.playing) {
        cmdStop_Click();
        AfterPlayback([this, count] { StepPictures(count); });
        return;
    }
    const bool forward = count > 0;
    if (!Available(forward ? cmdUp : cmdDown)) return;
    if (std::abs(count) == 1) {
        forward ? cmdUp_Click() : cmdDown_Click();
        return;
    }
    GoPictures(forward, std::abs(count), nullptr);
}

void Form1::StepMinute(bool forward) {
    if (state.playing) {
        cmdStop_Click();
        AfterPlayback([this, forward] { StepMinute(forward); });
        return;
    }
    if (!Available(forward ? cmdUp : cmdDown)) return;
    const std::optional<double> from = SentenceSeconds(state.nmeaText);
    if (!from) {
        GoPictures(forward, kPicturesWithoutTime, nullptr);
        return;
    }
    // A time that jumps (a receiver's reset) counts as a minute too: the walk stops there.
    GoPictures(forward, kMostPicturesAMinute, [this, from] {
        const std::optional<double> at = SentenceSeconds(state.nmeaText);
        return at && std::abs(*at - *from) >= kMinute;
    });
}

void Form1::PlayFaster(bool forward) {
    const struct {
        PictureButton* button;
        bool forward;
        int speed;
        void (Form1::*play)();
    } plays[] = {
        {cmdUpF, true, 1, &Form1::cmdUpF_Click},
        {cmdUpFF, true, 2, &Form1::cmdUpFF_Click},
        {cmdUpFFF, true, 3, &Form1::cmdUpFFF_Click},
        {cmdDownF, false, 1, &Form1::cmdDownF_Click},
        {cmdDownFF, false, 2, &Form1::cmdDownFF_Click},
        {cmdDownFFF, false, 3, &Form1::cmdDownFFF_Click},
    };
    int speed = 1;
    if (state.playing) {
        // The running play button shows its active picture ("UpFA"); the same way goes one
        // speed faster, up to 3, the other way starts at 1.
        for (const auto& p : plays) {
            if (p.forward == forward && p.button->pictureKey().endsWith('A')) {
                speed = std::min(p.speed + 1, 3);
            }
        }
        cmdStop_Click();
    }
    for (const auto& p : plays) {
        if (p.forward != forward || p.speed != speed) continue;
        AfterPlayback([this, button = p.button, play = p.play] {
            if (Available(button)) (this->*play)();
        });
    }
}

void Form1::JumpToTenth(int tenth) {
    // Where a drag would leave the thumb, then the release's jump.
    shPlay->setWidth(shFile->Width() * static_cast<float>(tenth) / 10);
    SeekToThumb();
}

void Form1::MarkStart() {
    if (state.cutStart != -1) ClearMarks();
    cmdCut_Click();
}

void Form1::MarkEnd() {
    if (state.cutStart == -1 || streamFile.readPosition() <= state.cutStart) {
        desktop_.Beep();
        return;
    }
    state.cutEnd = -1;  // a second O moves the end mark
    cmdCut_Click();
}

void Form1::ShowKeyList() {
    if (keyList == nullptr) keyList = MakeKeyList(this);
    keyList->show();
    keyList->raise();
    keyList->activateWindow();
}

}  // namespace droskal
