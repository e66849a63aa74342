// The evidence pack of the marked stretch: chosen folder, progress window, result message.
#include <QEventLoop>
#include <QProgressDialog>

#include <atomic>
#include <thread>

#include "app/Form1.h"
#include "evidence/Pack.h"
#include "evidence/QtBand.h"

namespace droskal {

void Form1::EvidencePack_Click() {
    if (state.playing) return;
    if (!streamFile.isOpen() || state.cutStart < 1 || state.cutEnd < state.cutStart) {
        desktop_.MessageBox(
            "Materiał dowodowy powstaje z zaznaczonego fragmentu.\n"
            "Zaznacz najpierw jego początek i koniec przyciskiem fragmentu.",
            Desktop::Icon::Information, Desktop::Buttons::Ok);
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

    QProgressDialog progress("Tworzenie materiału dowodowego…", "Przerwij", 0, 1000, this);
    progress.setWindowTitle("Materiał dowodowy");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setValue(0);
    std::atomic<bool> cancel{false};
    connect(&progress, &QProgressDialog::canceled, &progress, [&cancel] { cancel = true; });

    // The pack reads the recording through its own file, so the window's stays untouched;
    // the worker only posts progress and its end to this thread.
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
                "Nie można utworzyć materiału dowodowego:\n" + QString::fromStdString(result.error),
                Desktop::Icon::Exclamation, Desktop::Buttons::Ok);
            break;
        case evidence::PackResult::Status::Cancelled:
            break;  // nothing was left behind; the user asked for it
    }
}

}  // namespace droskal
