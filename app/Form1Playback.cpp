// Continuous playback: a loop inside the play button's handler that lets the window
// process its events between pictures, so stop, close and the other handlers get through.
#include <QCoreApplication>

#include "app/Form1.h"

namespace droskal {

namespace {
constexpr int kSeeksPerPictureAtSpeed2 = 5;
constexpr std::int64_t kJumpAtSpeed3 = 200000;
}  // namespace

void Form1::ProcessEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool Form1::PictureStep() {
    if (!FindPicStart(1) || !ReadFrame(1, *frameBuf)) return false;
    ShowReadPicture();  // the GPS view is read anew for every picture
    return true;
}

bool Form1::DeferredUntilLoopLeft(const std::function<void()>& action) {
    // Stop was asked for but the loop has not left yet: whatever starts now would run
    // inside it, under a loop that is about to restore the buttons. The press is kept and
    // carried out as soon as the loop has left, as the user meant it.
    if (!loopRunning_ || state.playing) return false;
    AfterPlayback(action);
    return true;
}

void Form1::WaitForNextPicture(double t0) {
    // At least one round of events per picture, then sleep in the event loop until the
    // delay, counted from t0, has passed; a stop, a play press or a close ends it at once.
    ProcessEvents();
    while (state.playing) {
        const float elapsed = static_cast<float>(desktop_.MonotonicSeconds() - t0);
        if (!(elapsed < state.playDelay)) return;
        desktop_.WaitForEvents(static_cast<double>(state.playDelay - elapsed));
    }
}

// The playback loop is one piece: the order of its seeks, showing and waiting, and each of its
// ways out, are what the play buttons promise, and they read best together.
void Form1::Play(PictureButton* button, const QString& activeKey, bool forward, int speed) {
    if (state.playing) {
        // Any play button during a playback is a stop request; it starts nothing.
        state.playing = false;
        return;
    }
    if (loopRunning_) {
        // The second press after a stop request: it starts its playback once the running
        // loop has left. Further presses before then add nothing.
        if (!playQueued_) {
            playQueued_ = true;
            AfterPlayback([this, button, activeKey, forward, speed] {
                playQueued_ = false;
                Play(button, activeKey, forward, speed);
            });
        }
        return;
    }
    if (!streamFile.isOpen()) return;
    state.playing = true;
    // Whatever way the loop leaves, the actions queued while it ran follow it.
    struct LoopScope {
        Form1& form;
        explicit LoopScope(Form1& f) : form(f) { form.loopRunning_ = true; }
        ~LoopScope() {
            form.loopRunning_ = false;
            auto actions = std::move(form.afterPlayback_);
            form.afterPlayback_.clear();
            form.playQueued_ = false;
            if (form.state.unloadPending) return;
            for (auto& action : actions) action();
        }
    } scope(*this);
    UnActiveCmd();
    SetButtonPicture(button, activeKey);
    SetButtonPicture(cmdStop, "Stop");
    cmdStop->setFocus();

    auto seek = [&] { return forward ? FindStartUp(1) : FindStartDown(1); };
    auto endExit = [&] {
        if (forward) {
            UpEnd();
        } else {
            DownEnd();
        }
        if (state.unloadPending) close();
    };
    auto stopExit = [&] {
        ActiveCmd();
        SetButtonPicture(cmdStop, "StopU");
        if (state.unloadPending) close();
    };

    // Every shown picture is paced by the delay, counted from the start of its seeks: speed 2
    // shows every fifth picture and speed 3 one per jump at that pace, or as fast as the
    // machine allows. A monotonic clock: midnight does not matter.
    for (;;) {
        const double t0 = desktop_.MonotonicSeconds();
        if (speed == 1) {
            if (!seek() || !PictureStep()) return endExit();
            if (!state.playing) return stopExit();
            WaitForNextPicture(t0);
        } else if (speed == 2) {
            for (int i = 0; i < kSeeksPerPictureAtSpeed2; ++i) {
                if (!seek()) return endExit();
                ProcessEvents();
            }
            if (!PictureStep()) return endExit();
            if (!state.playing) return stopExit();
            WaitForNextPicture(t0);
        } else {
            if (forward) {
                const std::int64_t last = streamFile.readPosition();
                if (last + kJumpAtSpeed3 < state.fileLength) {
                    std::uint8_t skipped = 0;
                    streamFile.readAt(last + kJumpAtSpeed3, skipped);
                }
            } else if (state.picturePos - kJumpAtSpeed3 > 0) {
                state.picturePos -= kJumpAtSpeed3;
            }
            if (!seek() || !PictureStep()) return endExit();
            if (!state.playing) return stopExit();
            WaitForNextPicture(t0);
        }
    }
}

void Form1::cmdUpF_Click() {
    Play(cmdUpF, "UpFA", true, 1);
}
void Form1::cmdUpFF_Click() {
    Play(cmdUpFF, "UpFFA", true, 2);
}
void Form1::cmdUpFFF_Click() {
    Play(cmdUpFFF, "UpFFFA", true, 3);
}
void Form1::cmdDownF_Click() {
    Play(cmdDownF, "DownFA", false, 1);
}
void Form1::cmdDownFF_Click() {
    Play(cmdDownFF, "DownFFA", false, 2);
}
void Form1::cmdDownFFF_Click() {
    Play(cmdDownFFF, "DownFFFA", false, 3);
}

void Form1::cmdStop_Click() {
    state.playing = false;
}

void Form1::AfterPlayback(std::function<void()> action) {
    if (loopRunning_) {
        afterPlayback_.push_back(std::move(action));
    } else {
        action();
    }
}

}  // namespace droskal
