#pragma once

#include <QSaveFile>
#include <QString>

#include <functional>

namespace droskal {

// Writes a file so that a failed or interrupted save never destroys the file it replaces
// and never leaves a half-written one: the bytes go to a temporary file in the target's
// folder, which is renamed over the target only when complete. `write` returns false (with
// `error` set) to abandon the save. Returns false with the system's reason in `error`.
bool SaveWhole(const QString& path, const std::function<bool(QSaveFile&, QString& error)>& write,
               QString& error);

// Writes all `size` bytes or sets `error` to the system's reason.
bool WriteAll(QSaveFile& file, const void* bytes, qint64 size, QString& error);

}  // namespace droskal
