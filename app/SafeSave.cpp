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

bool WriteAll(QSaveFile& file, const void* bytes, qint64 size, QString& error) {
    if (file.write(static_cast<const char*>(bytes), size) == size) return true;
    error = file.errorString();
    return false;
}

}  // namespace droskal
