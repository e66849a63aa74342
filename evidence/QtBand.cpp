#include "evidence/QtBand.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cstring>

namespace droskal::evidence {

QFont BandFont(int height, int lines) {
    QFont font("DejaVu Sans Mono");
    font.setStyleHint(QFont::Monospace);
    font.setBold(true);
    font.setPixelSize(std::max(6, height / std::max(1, lines) * 4 / 5));
    return font;
}

QImage DrawBand(const std::vector<std::string>& lines, int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::black);
    QPainter painter(&image);
    const int count = static_cast<int>(lines.size());
    // A long zone name must not run off the picture: the font shrinks until every line fits.
    QFont font = BandFont(height, count);
    const int room = width - height / 6;
    const auto widest = [&lines](const QFont& f) {
        const QFontMetrics metrics(f);
        int most = 0;
        for (const auto& line : lines)
            most = std::max(most, metrics.horizontalAdvance(QString::fromStdString(line)));
        return most;
    };
    while (font.pixelSize() > 6 && widest(font) > room) font.setPixelSize(font.pixelSize() - 1);
    painter.setFont(font);
    painter.setPen(Qt::white);
    for (int i = 0; i < count; ++i) {
        const QRect row(height / 12, height * i / count, width - height / 6, height / count);
        painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromStdString(lines[static_cast<std::size_t>(i)]));
    }
    return image;
}

BandPainter QtBandPainter() {
    return [](const std::vector<std::string>& lines, int width, int height, std::uint8_t* rgb) {
        const QImage image = DrawBand(lines, width, height);
        for (int y = 0; y < height; ++y) {
            std::memcpy(rgb + static_cast<std::size_t>(y) * width * 3, image.constScanLine(y),
                        static_cast<std::size_t>(width) * 3);
        }
    };
}

}  // namespace droskal::evidence
