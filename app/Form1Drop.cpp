// Files dropped on the window: a recording opens as the open dialog would open it.
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

#include "app/Form1.h"

namespace droskal {

namespace {

bool IsRecording(const QFileInfo& info) {
    return info.isFile() && info.suffix().compare("m1v", Qt::CaseInsensitive) == 0;
}

QStringList LocalPaths(const QMimeData* mime) {
    QStringList paths;
    if (mime == nullptr || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

}  // namespace

void Form1::OpenDropped(const QStringList& paths) {
    // One folder: its recordings as trips, as the open-folder choice opens them.
    if (paths.size() == 1 && QFileInfo(paths.first()).isDir()) {
        if (state.playing) return;
        streamFile.close();
        OpenChosen(paths.first());
        return;
    }
    // The recordings among the names, a folder giving those it holds, in name order.
    QStringList recordings;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            for (const QFileInfo& inside :
                 QDir(path).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
                if (IsRecording(inside)) recordings << inside.filePath();
            }
        } else if (IsRecording(info)) {
            recordings << info.filePath();
        }
    }
    if (recordings.isEmpty()) return;  // a text, a picture: nothing to do
    std::stable_sort(recordings.begin(), recordings.end(), [](const QString& a, const QString& b) {
        return QFileInfo(a).fileName().compare(QFileInfo(b).fileName(), Qt::CaseInsensitive) < 0;
    });
    if (state.playing) return;  // as the open button: no opening during playback
    const bool several = paths.size() > 1 || QFileInfo(paths.first()).isDir();
    streamFile.close();
    OpenChosen(recordings.first());
    if (several && streamFile.isOpen()) {
        // Recordings cannot be joined yet: say which one of them is shown.
        const QString name = QFileInfo(recordings.first()).fileName();
        lblFile->setText(QString("1 z %1: %2")
                             .arg(recordings.size())
                             .arg(name.size() > 30 ? "..." + name.right(27) : name));
    }
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    OpenDropped(paths);
}

}  // namespace droskal
