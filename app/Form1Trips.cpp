// Trips: the recordings of a folder played as one drive. A folder opens its trip with the
// newest recording; PgUp / PgDn go to the trip before or after; the caption shows the file of
// the picture on screen; a file that fails under an open trip ends it with the reason.
#include <QFileInfo>
#include <QKeyEvent>

#include "app/Form1.h"

namespace droskal {

namespace {

// Minutes of silence between two files that still count as one drive.
const char* const kTripGapKey = "TripGap";

}  // namespace

bool Form1::IsFolder(const QString& name) {
    return !name.isEmpty() && QFileInfo(name).isDir();
}

bool Form1::NewFolder(const QString& folder) {
    bool numeric = false;
    double gap = desktop_.GetSetting(startup_.appName, "Setup", kTripGapKey, "").toDouble(&numeric);
    if (!numeric || !(gap > 0)) gap = kDefaultTripGapSeconds;
    std::vector<Trip> found;
    int error = 0;
    if (FolderTrips(folder.toStdString(), gap, found, error) && !found.empty()) {
        trips = std::move(found);
        // Trips are in time order: the last one holds the newest recording.
        return OpenTrip(trips.size() - 1);
    }
    lblFile->setText(error != 0 ? SystemReason(error) : QString("Brak nagrań w folderze !"));
    SetPlayCounter(true);
    UnActiveCmd();
    return false;
}

bool Form1::OpenTrip(std::size_t index) {
    currentTrip = index;
    const Trip& trip = trips.at(index);
    lblFile->setText(FileCaption(QString::fromStdString(trip.files.front().path)));
    ClearMarks();
    pictureShown_ = false;
    LeaveMapView();
    const int error = streamFile.open(trip.paths());
    if (error != 0) {
        lblFile->setText(IsNotFound(error) ? QString("File not found !") : SystemReason(error));
        SetPlayCounter(true);
        UnActiveCmd();
        OfferDiskCheck(error);
        return false;
    }
    return StreamOpened(trip.paths());
}

void Form1::cmdFolder_Click() {
    streamFile.close();
    const QFileInfo current(state.mpegFileName);
    const QString name = desktop_.FolderDialog(
        "Otwórz folder z nagraniami", current.isDir() ? state.mpegFileName : current.path());
    if (name.isEmpty()) {
        // As a cancelled file dialog does: the current recording opens again.
        if (!state.mpegFileName.isEmpty()) NewFile(state.mpegFileName);
        return;
    }
    if (NewFile(name)) state.mpegFileName = name;
    GpsOff();
}

void Form1::StepTrip(bool next) {
    if (state.playing) return;
    if (trips.empty() || (next ? currentTrip + 1 >= trips.size() : currentTrip == 0)) {
        desktop_.Beep();
        return;
    }
    if (OpenTrip(next ? currentTrip + 1 : currentTrip - 1)) cmdDownE_Click();
}

void Form1::ShowPictureFile() {
    const auto& files = streamFile.files();
    if (files.size() < 2) return;  // one file: its name stays as opening showed it
    if (const auto place = Locate(files, state.picturePos)) {
        lblFile->setText(FileCaption(QString::fromStdString(files[place->file].path)));
    }
}

void Form1::ReportReadFailure() {
    const auto failure = streamFile.takeReadFailure();
    if (!failure) return;
    // A trip cut short by a failing file now ends there: the bar and the end jump follow.
    state.fileLength = streamFile.length();
    QString reason =
        failure->error != 0 ? SystemReason(failure->error) : QString("plik się skrócił");
    if (streamFile.files().size() > 1) {
        reason = QFileInfo(QString::fromStdString(failure->path)).fileName() + ": " + reason;
    }
    lblFile->setText(FileCaption(reason));
    OfferDiskCheck(failure->error);
}

}  // namespace droskal
