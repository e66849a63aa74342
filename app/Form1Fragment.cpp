// Marking a stretch of the recording and saving it as a new MPEG-1 file, byte for byte.
#include <QFileInfo>

#include "app/Form1.h"
#include "app/SafeSave.h"
#include "app/SaveReasons.h"
#include "stream/Fragment.h"

namespace droskal {

float Form1::MarkLinePlace(std::int64_t position) const {
    return static_cast<float>(shFile->Left() + static_cast<double>(shFile->Width()) *
                                                   static_cast<double>(position) /
                                                   static_cast<double>(state.fileLength));
}

void Form1::SetCutPicture(int index) {
    cmdCut->setPicture(imglFlag.byIndex(index), QString::number(index));
}

void Form1::ClearMarks() {
    state.cutStart = -1;
    state.cutEnd = -1;
    linCut2->hide();
    linCut1->hide();
    cmdSaveCut->setEnabled(false);
    SetCutPicture(1);
}

void Form1::cmdCut_Click() {
    if (!streamFile.isOpen() || state.fileLength <= 0) return;
    if (!pictureShown_) {
        // No picture of this file yet: there is no place in it to mark.
        desktop_.Beep();
        return;
    }
    const std::int64_t last = streamFile.readPosition();
    if (state.cutStart == -1) {
        const float x = MarkLinePlace(last);
        linCut1->setPoints(x, 360, x, 600);
        linCut1->show();
        state.cutStart = state.picturePos;
        cmdSaveCut->setEnabled(false);
        SetCutPicture(2);
    } else if (state.cutEnd == -1) {
        if (last <= state.cutStart) {
            desktop_.Beep();
            return;
        }
        const float x = MarkLinePlace(last);
        linCut2->setPoints(x, 360, x, 600);
        linCut2->show();
        state.cutEnd = last;
        cmdSaveCut->setEnabled(true);
        SetCutPicture(3);
    } else {
        ClearMarks();
    }
}

bool Form1::SaveReporting(const QString& name,
                          const std::function<bool(QSaveFile&, QString& error)>& write) {
    QString error;
    if (SaveWhole(name, write, error)) return true;
    // A reason the writer words itself (the recording's end) is already the user's text.
    if (error != QString::fromUtf8(kRecordingEndsBeforeStretch)) {
        error = SaveFailureReason(name, error);
    }
    desktop_.MessageBox("Nie można zapisać pliku:\n" + name + "\n" + error,
                        Desktop::Icon::Exclamation, Desktop::Buttons::Ok);
    return false;
}

void Form1::cmdSaveCut_Click() {
    if (state.playing || DeferredUntilLoopLeft([this] { cmdSaveCut_Click(); })) return;
    if (!streamFile.isOpen() || state.cutStart < 1 || state.cutEnd < state.cutStart) return;
    const QString name = desktop_.SaveFileDialog("*.MPEG|*.MPEG", state.cutFileName);
    if (name.isEmpty()) return;

    // Writing over the open recording would destroy the bytes being copied.
    const QFileInfo target(name);
    bool overSource = false;
    for (const SourceFile& file : streamFile.files()) {
        overSource =
            overSource || (target.exists() &&
                           target.canonicalFilePath() ==
                               QFileInfo(QString::fromStdString(file.path)).canonicalFilePath());
    }
    if (overSource) {
        desktop_.MessageBox("Nie można zapisać fragmentu do otwartego pliku !",
                            Desktop::Icon::Exclamation, Desktop::Buttons::Ok);
        return;
    }

    const bool saved = SaveReporting(name, [this](QSaveFile& file, QString& why) {
        std::string reason;
        const bool copied = CopyFragment(
            streamFile, state.cutStart, state.cutEnd,
            [&file, &why](const std::uint8_t* bytes, std::size_t size, std::string& sinkError) {
                if (WriteAll(file, bytes, static_cast<qint64>(size), why)) return true;
                sinkError = why.toStdString();
                return false;
            },
            reason);
        // Not the writing: the reading ran out of recording.
        if (!copied && why.isEmpty()) why = QString::fromUtf8(kRecordingEndsBeforeStretch);
        return copied;
    });
    if (!saved) return;
    state.cutFileName = name;
    desktop_.SaveSetting(startup_.appName, "Setup", "Cut", name);
}

}  // namespace droskal
