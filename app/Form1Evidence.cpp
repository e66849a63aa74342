// The evidence pack of the marked stretch: chosen folder, progress window, result message.
#include <QDir>
#include <QEventLoop>
#include <QProgressDialog>

#include <atomic>
#include <thread>

#include "app/Form1.h"
#include "app/RouteView.h"
#include "app/SaveReasons.h"
#include "evidence/Pack.h"
#include "evidence/QtBand.h"
#include "evidence/QtMap.h"
#include "render/MapRender.h"

namespace droskal {

namespace {
const char* const kEvidenceMinimapKey = "EvidenceMinimap";

// Builds the pack on a worker thread behind a cancellable progress window. The pack reads the
// recording through its own file, so the window's stays untouched; the worker only posts
// progress and its end to this thread.
evidence::PackResult BuildWithProgress(QWidget* window, const evidence::PackRequest& request) {
    QProgressDialog progress("Tworzenie materiału dowodowego…", "Przerwij", 0, 1000, window);
    progress.setWindowTitle("Materiał dowodowy");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setValue(0);
    std::atomic<bool> cancel{false};
    QObject::connect(&progress, &QProgressDialog::canceled, &progress,
                     [&cancel] { cancel = true; });
    QEventLoop loop;
    evidence::PackResult result;
    std::thread worker([&] {
        evidence::PackFolder folder;
        result = evidence::BuildEvidencePack(
            request, folder,
            [&progress](double f) {
                QMetaObject::invokeMethod(
                    &progress, [&progress, f] { progress.setValue(static_cast<int>(f * 1000)); },
                    Qt::QueuedConnection);
            },
            &cancel);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    progress.close();
    return result;
}

QString FailureText(const evidence::PackResult& result, const QString& parent) {
    switch (result.why) {
        case evidence::PackResult::Why::FolderExists:
            return "Folder " + QString::fromStdString(result.folder) +
                   " już istnieje; materiał dowodowy niczego nie zastępuje.";
        case evidence::PackResult::Why::NoPositionForInset:
            return "Odcinek nie ma pozycji GPS, z której można narysować mapkę.\n"
                   "Wyłącz mapkę klawiszami Shift+E i spróbuj ponownie.";
        case evidence::PackResult::Why::Other:
            break;
    }
    return SaveFailureReason(QDir(parent).filePath("pack"), QString::fromStdString(result.error));
}

}  // namespace

void Form1::EvidencePack_Click() {
    if (state.playing) return;
    if (!streamFile.isOpen() || state.cutStart < 1 || state.cutEnd < state.cutStart) {
        desktop_.MessageBox(
            "Materiał dowodowy powstaje z zaznaczonego fragmentu.\n"
            "Zaznacz najpierw jego początek i koniec przyciskiem fragmentu.",
            Desktop::Icon::Information, Desktop::Buttons::Ok);
        return;
    }
    // The maps come from the sources map view uses; the inset needs one of them.
    evidence::PackMapSetup maps;
    maps.classic = state.mapPicture;
    maps.classicCalibration = Calibration();
    maps.unit = timeView.unit;
    maps.chosen = routeView->commandLineSources;
    maps.entries =
        desktop_
            .GetSetting(startup_.appName, render::kMapSettingsSection, render::kMapSourcesKey, "")
            .split('\n', Qt::SkipEmptyParts);
    maps.online = desktop_.GetSetting(startup_.appName, render::kMapSettingsSection,
                                      render::kMapOnlineKey, "0") == "1";
    QStringList problems;
    const bool anyMap = evidence::AnyMapSource(maps, problems);
    const bool minimap = EvidenceMinimapOn();
    if (minimap && !anyMap) {
        desktop_.MessageBox(
            (problems.isEmpty()
                 ? QString("Mapka w rogu filmu potrzebuje źródła map, a żadne nie jest ustawione.")
                 : "Mapka w rogu filmu potrzebuje źródła map, a żadnego z ustawionych nie można "
                   "użyć:\n" +
                       problems.join('\n')) +
                "\nUstaw źródło map albo wyłącz mapkę klawiszami Shift+E.",
            Desktop::Icon::Exclamation, Desktop::Buttons::Ok);
        return;
    }
    const QString remembered =
        desktop_.GetSetting(startup_.appName, "Setup", "Evidence", QString());
    const QString parent = desktop_.FolderDialog("Folder na materiał dowodowy", remembered);
    if (parent.isEmpty()) return;
    desktop_.SaveSetting(startup_.appName, "Setup", "Evidence", parent);

    evidence::PackRequest request;
    request.recording = state.mpegFileName.toStdString();
    // The marks are positions in the trip on screen, not in the whole folder.
    if (!trips.empty()) request.trip = static_cast<int>(currentTrip) + 1;
    request.cutStart = state.cutStart;
    request.cutEnd = state.cutEnd;
    request.parentFolder = parent.toStdString();
    request.band = evidence::QtBandPainter();
    // The band, the report and track.csv speak in the window's zone and unit.
    request.time.zone = timeView.zone;
    request.time.zoneGiven = !timeView.zone.isUtc();
    request.time.unit = timeView.unit;
    request.events = timeView.eventSettings;
    if (anyMap) request.maps = evidence::PackMapsFrom(maps);
    request.minimap = minimap;

    const evidence::PackResult result = BuildWithProgress(this, request);
    switch (result.status) {
        case evidence::PackResult::Status::Done:
            desktop_.MessageBox("Materiał dowodowy zapisano w folderze:\n" +
                                    QString::fromStdString(result.folder) +
                                    "\n\nOdbiorca sprawdzi, że nic nie zmieniono, poleceniem:\n"
                                    "sha256sum -c SHA256SUMS",
                                Desktop::Icon::Information, Desktop::Buttons::Ok);
            break;
        case evidence::PackResult::Status::Failed:
            desktop_.MessageBox(
                "Nie można utworzyć materiału dowodowego:\n" + FailureText(result, parent),
                Desktop::Icon::Exclamation, Desktop::Buttons::Ok);
            break;
        case evidence::PackResult::Status::Cancelled:
            break;  // nothing was left behind; the user asked for it
    }
}

bool Form1::EvidenceMinimapOn() const {
    return desktop_.GetSetting(startup_.appName, "Setup", kEvidenceMinimapKey, "0") == "1";
}

void Form1::ToggleEvidenceMinimap() {
    const bool on = !EvidenceMinimapOn();
    desktop_.SaveSetting(startup_.appName, "Setup", kEvidenceMinimapKey, on ? "1" : "0");
    desktop_.MessageBox(on ? "Materiał dowodowy: mapka trasy w prawym górnym rogu filmu włączona.\n"
                             "Potrzebuje źródła map, takiego jak w widoku mapy."
                           : "Materiał dowodowy: mapka trasy w rogu filmu wyłączona.",
                        Desktop::Icon::Information, Desktop::Buttons::Ok);
}

}  // namespace droskal
