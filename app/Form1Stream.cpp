// The stream searches as the window's operations, the position display and the GPS labels
// they update.
#include "app/Form1.h"
#include "app/PositionCounter.h"
#include "gps/Nmea.h"

namespace droskal {

// A search that fails because the disk did says why (ReportReadFailure).

bool Form1::FindStartUp(int /*FileNumber*/) {
    if (droskal::FindStartUp(streamFile, state.picturePos, *this)) return true;
    ReportReadFailure();
    return false;
}

bool Form1::FindPicStart(int /*FileNumber*/) {
    if (droskal::FindPicStart(streamFile, state.nmeaText, *this)) return true;
    ReportReadFailure();
    return false;
}

bool Form1::FindStartDown(int /*FileNumber*/) {
    if (droskal::FindStartDown(streamFile, state.picturePos, *this)) return true;
    ReportReadFailure();
    return false;
}

bool Form1::ReadFrame(int /*FileNumber*/, FrameBuffer& buffer) {
    if (droskal::ReadFrame(streamFile, buffer)) return true;
    ReportReadFailure();
    return false;
}

void Form1::SetPlayCounter(bool reset) {
    const CounterFigures figures =
        reset ? CounterFigures{0, "0%"}
              : CounterAt(streamFile.readPosition(), state.fileLength, shFile->Width());
    shPlay->setWidth(figures.playWidth);
    lblPlay->setText(QString::fromStdString(figures.caption));
    lblPlay->setLeft(CounterLabelLeft(shPlay->Left(), shPlay->Width(), lblPlay->Width()));
}

void Form1::ShowNmea() {
    // The captions hold bytes of the recording, one character each.
    NmeaDisplay display{lblTime->text().toLatin1().toStdString(),
                        lblSpeed->text().toLatin1().toStdString(), state.gpsLat, state.gpsLon,
                        state.gpsValid};
    const bool sentence = ParseNmea(state.nmeaText, display);
    if (sentence) GpsOn();
    lblTime->setText(QString::fromLatin1(display.lblTime.data(),
                                         static_cast<qsizetype>(display.lblTime.size())));
    lblSpeed->setText(QString::fromLatin1(display.lblSpeed.data(),
                                          static_cast<qsizetype>(display.lblSpeed.size())));
    state.gpsLat = display.gpsLat;
    state.gpsLon = display.gpsLon;
    state.gpsValid = display.gpsValid;
    ApplyTimeCaption();
}

void Form1::GpsOn() {
    lblSpeed->setVisible(true);
    lblTime->setVisible(true);
    chkGps->setVisible(true);
}

void Form1::GpsOff() {
    // No caption of an earlier file or of the design survives: a sentence cut short before
    // its speed would show it as if it were read.
    lblSpeed->clear();
    lblTime->clear();
    lblSpeed->setVisible(false);
    lblTime->setVisible(false);
    chkGps->setVisible(false);
}

}  // namespace droskal
