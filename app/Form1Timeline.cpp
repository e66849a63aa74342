// The timeline strip, the trip's events, moving to a picture by time and Ctrl+G.
#include <QDateTime>

#include <algorithm>

#include "app/Form1.h"
#include "app/TimelineStrip.h"
#include "app/Twips.h"

namespace droskal {

namespace {
const int kStripPixels = TwipsToPixels(960);
}  // namespace

double Form1::TimelineTwips() const {
    return timeView.timelineOn ? PixelsToTwips(kStripPixels) : 0;
}

void Form1::PlaceTimeline() {
    if (!timeline) return;
    timeline->setGeometry(0, height() - kStripPixels, width(), kStripPixels);
}

void Form1::ToggleTimeline() {
    if (!timeline) {
        timeline = new TimelineStrip(this, timeView);
        timeline->onSeek = [this](double utc) { SeekTime(utc); };
        timeline->currentPosition = [this] { return state.picturePos; };
    }
    timeView.timelineOn = !timeView.timelineOn;
    desktop_.SaveSetting(startup_.appName, "Display", "Timeline", timeView.timelineOn ? "1" : "0");
    // The window grows or shrinks by the strip and keeps its bottom edge, as a format change does.
    const int change = timeView.timelineOn ? kStripPixels : -kStripPixels;
    const QRect frame = geometry();
    const int newHeight = height() + change;
    setFixedSize(width(), newHeight);
    setGeometry(frame.left(), std::max(0, frame.top() - change), width(), newHeight);
    PlaceTimeline();
    timeline->setVisible(timeView.timelineOn);
    timeline->DataChanged();
}

void Form1::OnRecordingOpened() {
    // The timeline follows the picture index that opening the recording or trip started.
    timeView.scan.reset();
    timeView.samples.clear();
    timeView.events.clear();
    timeView.scanned = 0;
    timeView.complete = false;
    timeView.haveLastValid = false;
    timeView.scan = std::make_unique<PictureScan>(
        pictureIndex, state.fileLength, this,
        [this](PictureSamples batch, double done, bool finished) {
            timeView.samples.insert(timeView.samples.end(), batch.begin(), batch.end());
            timeView.scanned = done;
            timeView.complete = finished;
            timeView.events = FindEvents(timeView.samples, timeView.eventSettings);
            if (timeline) timeline->DataChanged();
        });
    if (timeline) timeline->DataChanged();
}

const PictureSample* Form1::CurrentSample() const {
    const auto& samples = timeView.samples;
    const auto it = std::lower_bound(
        samples.begin(), samples.end(), state.picturePos,
        [](const PictureSample& s, std::int64_t pos) { return s.streamPosition < pos; });
    return it != samples.end() && it->streamPosition == state.picturePos ? &*it : nullptr;
}

bool Form1::GoToPicture(std::int64_t streamPosition) {
    if (!streamFile.isOpen() || streamPosition < 4) return false;
    if (PlaybackLoopRunning()) {
        // The running loop reads the stream: stop it and move once it has left.
        state.playing = false;
        AfterPlayback([this, streamPosition] { GoToPicture(streamPosition); });
        return true;
    }
    // The read position just before the picture's start code 00 00 01 00.
    std::uint8_t skipped = 0;
    if (streamPosition > 4)
        streamFile.readAt(streamPosition - 4, skipped);
    else
        streamFile.setReadPosition(0);
    if (!FindStartUp(1) || !FindPicStart(1) || !ReadFrame(1, *frameBuf)) return false;
    ShowReadPicture();
    ActiveUpCmd();
    ActiveDownCmd();
    if (timeline) timeline->update();
    return true;
}

void Form1::SeekTime(double utc) {
    const std::int64_t i = NearestTimedSample(timeView.samples, utc);
    if (i < 0) return;
    const std::int64_t position = timeView.samples[static_cast<std::size_t>(i)].streamPosition;
    if (position != state.picturePos) GoToPicture(position);
}

void Form1::NextEvent(int direction) {
    if (!streamFile.isOpen()) return;
    const PictureSample* current = CurrentSample();
    const auto& events = timeView.events;
    const TripEvent* target = nullptr;
    const double now = current && current->timeValid ? current->utcSeconds : -1e300;
    if (direction > 0) {
        for (const TripEvent& e : events) {
            if (e.startUtc > now + 0.5) {
                target = &e;
                break;
            }
        }
    } else {
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (it->startUtc < now - 0.5) {
                target = &*it;
                break;
            }
        }
    }
    if (!target) {
        desktop_.Beep();
        return;
    }
    GoToPicture(timeView.samples[target->first].streamPosition);
}

void Form1::GoToTime() {
    if (!streamFile.isOpen()) return;
    const PictureSample* current = CurrentSample();
    const QString format = "dd.MM.yyyy HH:mm:ss";
    QString text = current && current->timeValid
                       ? InZone(current->utcSeconds, timeView.zone).toString(format)
                       : QString();
    const QString zoneName = timeView.zone.name();
    if (!desktop_.InputText("Przejdź do chwili (dd.mm.rrrr gg:mm:ss), czas " + zoneName + ":",
                            text)) {
        return;
    }
    const auto say = [&](const QString& message) {
        desktop_.MessageBox(message, Desktop::Icon::Exclamation, Desktop::Buttons::Ok);
    };
    // Read as a plain date and time: a wall clock the computer's own zone skips is still one.
    const QStringList parts = text.simplified().split(' ');
    const QDate date = parts.size() == 2 ? QDate::fromString(parts[0], "dd.MM.yyyy") : QDate();
    QTime time = parts.size() == 2 ? QTime::fromString(parts[1], "HH:mm:ss") : QTime();
    if (!time.isValid() && parts.size() == 2) time = QTime::fromString(parts[1], "HH:mm");
    if (!date.isValid() || !time.isValid()) {
        say("Nieprawidłowa data lub godzina: " + text + "\nWpisz np. 27.10.2024 02:59:59.");
        return;
    }
    const std::vector<double> moments = UtcFromZoneAll(date, time, timeView.zone);
    if (moments.empty()) {
        say("Godzina " + text.simplified() + " nie istnieje w strefie " + zoneName +
            " (zmiana czasu na letni).");
        return;
    }
    double first = 0, last = 0;
    bool any = false;
    for (const PictureSample& s : timeView.samples) {
        if (!s.timeValid) continue;
        first = any ? std::min(first, s.utcSeconds) : s.utcSeconds;
        last = any ? std::max(last, s.utcSeconds) : s.utcSeconds;
        any = true;
    }
    // A sentence covers the second it names. Of a time the change to winter time repeats,
    // the one the recording covers is meant.
    const auto covered = std::find_if(moments.begin(), moments.end(),
                                      [&](double t) { return any && t >= first && t < last + 1; });
    if (covered == moments.end()) {
        QString message =
            "Nagranie nie obejmuje chwili " + text.simplified() + " (" + zoneName + ").";
        if (any) {
            message += "\nNagranie obejmuje czas od " +
                       InZone(first, timeView.zone).toString(format) + " do " +
                       InZone(last, timeView.zone).toString(format) + ".";
        }
        if (!timeView.complete) {
            message += QString("\nIndeks obrazów jest jeszcze budowany (%1%).")
                           .arg(std::floor(timeView.scanned * 100));
        }
        say(message);
        return;
    }
    SeekTime(*covered);
}

}  // namespace droskal
