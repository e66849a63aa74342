#include "app/MapPicture.h"

#include <QFile>
#include <QImageReader>

#include <gif_lib.h>

#include <memory>

namespace droskal {

namespace {

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

QImage DecodeGif(const QString& path) {
    int error = 0;
    GifHandle gif(DGifOpenFileName(QFile::encodeName(path).constData(), &error));
    if (!gif) return QImage();
    const int width = gif->SWidth;
    const int height = gif->SHeight;
    if (width <= 0 || height <= 0 || width > kLargestMapSide || height > kLargestMapSide) {
        return QImage();
    }

    QImage map;
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    do {
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return QImage();
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* extension = nullptr;
            if (DGifGetExtension(gif.get(), &code, &extension) == GIF_ERROR) return QImage();
            while (extension != nullptr) {
                if (DGifGetExtensionNext(gif.get(), &extension) == GIF_ERROR) return QImage();
            }
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return QImage();
            const GifImageDesc& desc = gif->Image;
            const ColorMapObject* colours = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
            // The first frame is the map; it must lie within the screen it claims.
            if (colours == nullptr || desc.Left < 0 || desc.Top < 0 || desc.Width <= 0 ||
                desc.Height <= 0 || desc.Left + desc.Width > width ||
                desc.Top + desc.Height > height) {
                return QImage();
            }
            map = QImage(width, height, QImage::Format_Indexed8);
            if (map.isNull()) return QImage();
            QList<QRgb> table;
            for (int i = 0; i < colours->ColorCount; ++i) {
                const GifColorType& c = colours->Colors[i];
                table.append(qRgb(c.Red, c.Green, c.Blue));
            }
            map.setColorTable(table);
            map.fill(static_cast<uint>(
                gif->SBackGroundColor < colours->ColorCount ? gif->SBackGroundColor : 0));
            // Interlaced pictures come in four passes of rows.
            const int passStart[] = {0, 4, 2, 1};
            const int passStep[] = {8, 8, 4, 2};
            const int passes = desc.Interlace ? 4 : 1;
            for (int pass = 0; pass < passes; ++pass) {
                const int start = desc.Interlace ? passStart[pass] : 0;
                const int step = desc.Interlace ? passStep[pass] : 1;
                for (int row = start; row < desc.Height; row += step) {
                    uchar* line = map.scanLine(desc.Top + row) + desc.Left;
                    if (DGifGetLine(gif.get(), line, desc.Width) == GIF_ERROR) return QImage();
                }
            }
            // Indexes beyond the palette would show as black in Qt; clamp them to entry 0.
            if (colours->ColorCount < 256) {
                for (int y = 0; y < height; ++y) {
                    uchar* line = map.scanLine(y);
                    for (int x = 0; x < width; ++x) {
                        if (line[x] >= colours->ColorCount) line[x] = 0;
                    }
                }
            }
            return map;
        }
    } while (record != TERMINATE_RECORD_TYPE);
    return QImage();
}

}  // namespace

QImage LoadMapPicture(const QString& path) {
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) return QImage();
    const QByteArray signature = probe.read(6);
    probe.close();
    if (signature == "GIF87a" || signature == "GIF89a") return DecodeGif(path);

    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kLargestMapSide || size.height() > kLargestMapSide) {
        return QImage();
    }
    QImage map = reader.read();
    if (map.isNull()) return QImage();
    if (map.format() != QImage::Format_Indexed8) {
        map = map.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    }
    return map;
}

}  // namespace droskal
