// Saving what the picture area holds as a 24-bit BMP file.
#include <QPainter>

#include "app/Form1.h"
#include "app/SafeSave.h"
#include "image/BmpFile.h"

namespace droskal {

QImage Form1::SnapshotImage() const {
    QImage image = Pic1->image().convertToFormat(QImage::Format_RGB32);
    // In map view the point is part of what the user sees.
    // Not when the map is hidden (no map, or the position off it): the user saw no point.
    if (!Pic1->isHidden() && shPoint->isVisibleTo(Pic1)) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(shPoint->fillColor());
        painter.drawEllipse(shPoint->geometry());
    }
    return image;
}

void Form1::cmdBmp_Click() {
    if (state.playing || DeferredUntilLoopLeft([this] { cmdBmp_Click(); })) return;
    const QString name = desktop_.SaveFileDialog("*.bmp|*.bmp", state.bmpFileName);
    if (name.isEmpty()) return;

    const QImage image = SnapshotImage();
    // Bottom-up blue-green-red rows, as a 24-bit bitmap stores them.
    const int width = image.width();
    const int height = image.height();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
    for (int row = 0; row < height; ++row) {
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(height - 1 - row));
        std::uint8_t* dst = &pixels[static_cast<std::size_t>(row) * width * 3];
        for (int x = 0; x < width; ++x) {
            dst[x * 3] = static_cast<std::uint8_t>(qBlue(src[x]));
            dst[x * 3 + 1] = static_cast<std::uint8_t>(qGreen(src[x]));
            dst[x * 3 + 2] = static_cast<std::uint8_t>(qRed(src[x]));
        }
    }
    const std::vector<std::uint8_t> bmp = EncodeBmp24(width, height, pixels.data(), width * 3);

    const bool saved = SaveReporting(name, [&bmp](QSaveFile& file, QString& why) {
        return WriteAll(file, bmp.data(), static_cast<qint64>(bmp.size()), why);
    });
    if (!saved) return;
    state.bmpFileName = name;
    desktop_.SaveSetting(startup_.appName, "Setup", "BmpFile", name);
}

}  // namespace droskal
