// Opening a recording: the name in lblFile, the checks, the picture format and the window
// laid out for it.
#include <cerrno>
#include <cmath>
#include <cstring>

#include <QFileInfo>

#include "app/Form1.h"
#include "app/ProgramFiles.h"
#include "app/Twips.h"
#include "decoder/PictureFormat.h"
#include "recording/Recording.h"

namespace droskal {

namespace {

const char* const kDiskCheckQuestion =
    "System Windows nie może odczytać wskazanego pliku !\n"
    "Możliwe, że plik jest uszkodzony.\n"
    "Czy uruchomić program pozwalający odzyskać dane ?";

// Failures that point at damaged media rather than at the name or the permissions: those
// are the ones for which a disk utility may help.
bool LooksLikeDamagedMedia(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

}  // namespace

QString FileCaption(const QString& name) {
    return name.size() > 40 ? "..." + name.right(37) : name;
}

bool Form1::NewFile(const QString& FileName) {
    lblFile->setText(FileCaption(FileName));
    // Marks are positions in the file they were set in; in another file they would cut
    // unrelated bytes.
    ClearMarks();
    pictureShown_ = false;
    // A new file is shown as pictures, laid out for its own format: map view drawn over a
    // file's layout would leave a grey area, and a file without sentences would never bring
    // the check box back to leave it.
    LeaveMapView();
    trips.clear();
    if (IsFolder(FileName)) return NewFolder(FileName);
    int error = 0;
    if (!FileName.isEmpty()) {
        error = streamFile.open(FileName.toStdString());
        if (error == 0) return StreamOpened({FileName.toStdString()});
        lblFile->setText(IsNotFound(error) ? QString("File not found !") : SystemReason(error));
    }
    // Failure tail.
    SetPlayCounter(true);
    UnActiveCmd();
    OfferDiskCheck(error);
    return false;
}

bool Form1::StreamOpened(const std::vector<std::string>& paths) {
    state.fileLength = streamFile.length();
    // A position beyond a shorter file's end: stepping back starts from its end.
    if (state.picturePos > state.fileLength - 1) state.picturePos = state.fileLength - 1;
    cmdCut->setEnabled(true);
    SetPlayCounter(true);
    ActiveUpCmd();
    if (!CheckSize(1)) {
        lblFile->setText("Bad  file !");
        ReportReadFailure();  // a disk that fails at the very start is no bad file
        return false;
    }
    pictureIndex.start(paths);
    OnRecordingOpened();
    return true;
}

void Form1::OfferDiskCheck(int error) {
    if (error == 0 || !LooksLikeDamagedMedia(error)) return;
    const Desktop::Answer answer = desktop_.MessageBox(
        QString::fromUtf8(kDiskCheckQuestion), Desktop::Icon::Exclamation, Desktop::Buttons::YesNo);
    if (answer == Desktop::Answer::Yes) {
        // Linux has no chkdsk; the desktop's disk utility stands in when it is installed.
        const QString utility = desktop_.FindExecutable("gnome-disks");
        if (!utility.isEmpty()) desktop_.StartDetached(utility, {});
    }
}

QString SystemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void Form1::cmdFile_Click() {
    if (state.playing || DeferredUntilLoopLeft([this] { cmdFile_Click(); })) return;
    if (desktop_.ShiftHeld()) return cmdFolder_Click();
    streamFile.close();
    // With no file yet the dialog starts at the demo recording, wherever it is installed.
    const QString demo = ProgramFile(startup_.appDir, "demo.m1v");
    const QString initial =
        state.mpegFileName.isEmpty() && QFileInfo::exists(demo) ? demo : state.mpegFileName;
    const QString name = desktop_.OpenFileDialog("*.M1V (MPEG-1)|*.M1V", initial);
    if (!name.isEmpty()) OpenChosen(name);
}

void Form1::OpenChosen(const QString& FileName) {
    const QString full = QFileInfo(FileName).absoluteFilePath();
    if (NewFile(full)) state.mpegFileName = full;
    GpsOff();
}

bool Form1::CheckSize(int /*FileNumber*/) {
    const RecordingStart start = CheckRecording(streamFile);
    if (!start.sequenceHeader) return false;
    state.picFormat = start.picFormat;
    if (start.picFormat == 0) return false;
    SetFormat(start.picFormat);
    Pic1->Cls();
    state.picBuf.assign(static_cast<std::size_t>(FormatInfo(start.picFormat)->pixelCount) * 3, 0);
    decoder.SetIntraMatrix(start.intraMatrix ? start.intraMatrix->data() : nullptr);
    return true;
}

void Form1::SetFormat(std::uint8_t code) {
    if (fullScreen_) {
        // The screen is the window's size now; leaving full screen lays it out again.
        if (code == 1 || code == 2) Pic1->setHeight(code == 1 ? 7202 : 3630);
        LayOutFullScreen();
        return;
    }
    if (code != 1 && code != 2) return;
    // Window edges in twips. The title bar and borders belong to the desktop here, so the
    // client area carries the picture plus the 2175 twips of controls below it.
    const double top = PixelsToTwips(geometry().top());
    const double bottom = std::round(top + PixelsToTwips(height()));
    Pic1->setHeight(code == 1 ? 7202 : 3630);
    const double picHeight = PixelsToTwips(Pic1->height());  // as read back, whole pixels
    fraCmd->move(fraCmd->x(), TwipsToPixels(picHeight + 90));
    const double newHeight = picHeight + 2175 + TimelineTwips();
    double newTop = bottom - newHeight;
    if (code == 1) {
        newTop = std::round(newTop);
        if (newTop < 1) newTop = 0;
    }
    setFixedSize(width(), TwipsToPixels(newHeight));
    setGeometry(geometry().left(), TwipsToPixels(newTop), width(), TwipsToPixels(newHeight));
    PlaceTimeline();
}

}  // namespace droskal
