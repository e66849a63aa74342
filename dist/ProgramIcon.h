#pragma once

#include <QIcon>

namespace droskal {

// The program's icon in every size the build drew from its SVG (16 to 256 pixels).
QIcon ProgramIcon();

}  // namespace droskal
