#pragma once

#include <QString>

namespace droskal {

// The program's own files (Droskal.ini, map.gif, the demo recording) lie beside the
// executable, or once installed in share/droskal beside its bin folder. A file beside the
// executable wins; when neither exists the path beside the executable is returned.
QString ProgramFile(const QString& appDir, const QString& name);

}  // namespace droskal
