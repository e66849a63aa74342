#pragma once

#include <QString>

namespace droskal {

// Why a save to `path` failed, in Polish for the common cases (missing folder, no
// permission, a folder that allows no new file, a full disk, a read-only medium); the
// system's own text, `systemText`, for the rest. Looks at the target's folder as it is now.
QString SaveFailureReason(const QString& path, const QString& systemText);

// The fragment's stretch lies beyond the end of the recording (it was cut short).
extern const char* const kRecordingEndsBeforeStretch;

}  // namespace droskal
