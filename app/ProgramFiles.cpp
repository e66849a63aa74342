#include "app/ProgramFiles.h"

#include <QDir>
#include <QFileInfo>

namespace droskal {

namespace {

// The same test start-up uses: a normal file that a directory listing shows.
bool IsListedFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

}  // namespace

QString ProgramFile(const QString& appDir, const QString& name) {
    const QString beside = appDir + "/" + name;
    if (IsListedFile(beside)) return beside;
    const QString shared = QDir::cleanPath(appDir + "/../share/droskal/" + name);
    return IsListedFile(shared) ? shared : beside;
}

}  // namespace droskal
