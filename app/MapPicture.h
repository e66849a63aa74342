#pragma once

#include <QImage>
#include <QString>

namespace droskal {

// A map larger than this on either side is treated as no map.
inline constexpr int kLargestMapSide = 16384;

// Loads the map picture as an 8-bit indexed image (16 MiB for 4096 x 4096). GIF files are
// decoded line by line straight into that image, so no 32-bit copy of the map ever exists;
// other formats go through Qt's readers. A null image for anything unreadable or too large.
QImage LoadMapPicture(const QString& path);

}  // namespace droskal
