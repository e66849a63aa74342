#include "app/SaveReasons.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace droskal {

const char* const kRecordingEndsBeforeStretch = "Nagranie kończy się przed zaznaczonym fragmentem.";

namespace {

// The system words its errors with strerror; Qt passes that text on, so it identifies them.
bool SaysErrno(const QString& systemText, int error) {
    return systemText.contains(QString::fromLocal8Bit(std::strerror(error)), Qt::CaseInsensitive);
}

bool MayCreateIn(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

}  // namespace

QString SaveFailureReason(const QString& path, const QString& systemText) {
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists()) return "Folder nie istnieje: " + QDir::toNativeSeparators(folder);
    if (!folderInfo.isDir()) return "To nie jest folder: " + QDir::toNativeSeparators(folder);
    if (SaysErrno(systemText, EROFS)) return "Nośnik jest tylko do odczytu.";
    if (!MayCreateIn(folder)) {
        // A save writes a new file beside the old one and puts it in place only when it is
        // complete; writing into the old file itself could leave it half-written.
        if (target.exists() && target.isWritable()) {
            return "Folder nie pozwala utworzyć w nim nowego pliku, więc istniejącego pliku "
                   "nie można bezpiecznie zastąpić (zapis w jego miejscu mógłby zostawić go "
                   "zapisanego do połowy). Zapisz go w innym folderze.";
        }
        return "Brak uprawnień do zapisu w folderze: " + QDir::toNativeSeparators(folder);
    }
    if (SaysErrno(systemText, EACCES) || SaysErrno(systemText, EPERM)) {
        return "Brak uprawnień do zapisu.";
    }
    if (SaysErrno(systemText, ENOSPC) || SaysErrno(systemText, EDQUOT)) {
        return "Brak miejsca na dysku.";
    }
    if (SaysErrno(systemText, ENAMETOOLONG)) return "Nazwa pliku jest za długa.";
    return systemText;
}

}  // namespace droskal
