#include "cli/MapEntries.h"

#include <QFileInfo>
#include <QSettings>

#include "render/MapRender.h"

namespace droskal::cli {

QStringList DefaultMapEntries(bool& online) {
    QStringList entries;
    const QString exe = QFileInfo("/proc/self/exe").symLinkTarget();
    const QString beside = QFileInfo(exe).absolutePath() + "/map.gif";
    if (QFileInfo(beside).isFile()) entries << beside;
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Droskal", "Droskal");
    const QString key = QString(render::kMapSettingsSection) + "/";
    entries
        << settings.value(key + render::kMapSourcesKey).toString().split('\n', Qt::SkipEmptyParts);
    online = settings.value(key + render::kMapOnlineKey).toString() == "1";
    return entries;
}

}  // namespace droskal::cli
