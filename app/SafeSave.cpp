#include "app/SafeSave.h"

namespace droskal {

bool SaveWhole(const QString& path, const std::function<bool(QSaveFile&, QString& error)>& write,
               QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (!write(file, error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace droskal
