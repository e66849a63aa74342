// The library window (Ctrl+L): the trips of a folder from the library index; a trip chosen
// there opens here at its first picture.
#include <QFileInfo>

#include "app/Form1.h"
#include "app/LibraryWindow.h"
#include "library/LibraryScan.h"

namespace droskal {

namespace {

// Where the window keeps its index; the command line's default when unset.
const char* const kLibraryIndexKey = "LibraryIndex";

}  // namespace

void Form1::ShowLibrary() {
    if (!libraryWindow) {
        QString index = desktop_.GetSetting(startup_.appName, "Setup", kLibraryIndexKey, "");
        if (index.isEmpty()) {
            std::string error;
            index = QString::fromStdString(DefaultIndexPath(error));
            if (index.isEmpty()) {
                desktop_.MessageBox(
                    "Brak folderu na indeks biblioteki: " + QString::fromStdString(error),
                    Desktop::Icon::Exclamation, Desktop::Buttons::Ok);
                return;
            }
        }
        libraryWindow = new LibraryWindow(desktop_, index, this);
        libraryWindow->openTrip = [this](const std::vector<std::string>& files) {
            OpenLibraryTrip(files);
        };
    }
    libraryWindow->show();
    libraryWindow->raise();
    libraryWindow->activateWindow();
}

void Form1::OpenLibraryTrip(const std::vector<std::string>& files) {
    if (state.playing || files.empty()) {
        desktop_.Beep();
        return;
    }
    streamFile.close();
    ClearMarks();
    // The folder's own trips when the library's trip is one of them, so PgUp / PgDn go on from it.
    const QString folder = QFileInfo(QString::fromStdString(files.front())).path();
    std::vector<Trip> found;
    int error = 0;
    std::size_t index = 0;
    bool matched = false;
    if (FolderTrips(folder.toStdString(), kDefaultTripGapSeconds, found, error)) {
        for (std::size_t i = 0; i < found.size() && !matched; ++i) {
            if (found[i].paths() == files) {
                index = i;
                matched = true;
            }
        }
    }
    if (!matched) {
        found.assign(1, Trip{});
        for (const auto& f : files) {
            RecordingSummary r;
            r.path = f;
            found[0].files.push_back(r);
        }
        index = 0;
    }
    trips = std::move(found);
    state.mpegFileName = folder;
    if (OpenTrip(index)) cmdDownE_Click();
    GpsOff();
    activateWindow();
}

}  // namespace droskal
