#include <QDir>
#include <QFile>

#include <cmath>

#include <sqlite3.h>

#include "render/MapSource.h"

namespace droskal::render {

QString TileSource::Key(const TileId& id) {
    return QString("%1/%2/%3").arg(id.z).arg(id.x).arg(id.y);
}

void TileSource::forget(const TileId& id) {
    decoded_.remove(Key(id));
}

QImage TileSource::tile(const TileId& id) {
    const QString key = Key(id);
    if (const QImage* cached = decoded_.object(key)) return *cached;
    QImage image = loadTile(id);
    if (!image.isNull() && image.size() != QSize(kTileSize, kTileSize)) {
        image = image.scaled(kTileSize, kTileSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    // Missing files are remembered too, so a view does not look for them again and again.
    if (!image.isNull() || missesAreFinal()) decoded_.insert(key, new QImage(image));
    return image;
}

bool TileSource::covers(const Projection& projection, QPointF world) {
    if (projection.kind != Projection::Kind::Mercator) return false;
    const int z = projection.zoom;
    const double size = WorldSize(z);
    if (world.y() < 0 || world.y() >= size) return false;
    const auto x = static_cast<std::int64_t>(std::floor(world.x() / kTileSize));
    const auto y = static_cast<std::int64_t>(std::floor(world.y() / kTileSize));
    return !tile({z, WrapTileX(x, z), y}).isNull();
}

bool TileSource::paint(QPainter& painter, const Projection& projection, const QRectF& view) {
    if (projection.kind != Projection::Kind::Mercator) return false;
    const int z = projection.zoom;
    const std::int64_t rows = std::int64_t{1} << z;
    const auto x0 = static_cast<std::int64_t>(std::floor(view.left() / kTileSize));
    const auto x1 = static_cast<std::int64_t>(std::floor((view.right() - 1e-9) / kTileSize));
    const auto y0 =
        std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor(view.top() / kTileSize)));
    const auto y1 = std::min<std::int64_t>(
        rows - 1, static_cast<std::int64_t>(std::floor((view.bottom() - 1e-9) / kTileSize)));
    bool drawn = false;
    // Only the tiles the view shows are asked for: nothing is fetched ahead.
    for (std::int64_t y = y0; y <= y1; ++y) {
        for (std::int64_t x = x0; x <= x1; ++x) {
            const QImage image = tile({z, WrapTileX(x, z), y});
            if (image.isNull()) continue;
            painter.drawImage(QPointF(static_cast<double>(x * kTileSize) - view.x(),
                                      static_cast<double>(y * kTileSize) - view.y()),
                              image);
            drawn = true;
        }
    }
    return drawn;
}

QImage TileFolder::loadTile(const TileId& id) {
    const QString stem = QString("%1/%2/%3/%4").arg(path_).arg(id.z).arg(id.x).arg(id.y);
    for (const char* ext : {".png", ".jpg", ".jpeg", ".webp"}) {
        if (QFile::exists(stem + ext)) {
            QImage image(stem + ext);
            if (!image.isNull()) return image;
        }
    }
    return {};
}

MbTiles::MbTiles(QString path) : path_(std::move(path)) {
    const QByteArray name = QFile::encodeName(path_);
    // Read-only and never created: a wrong name must not leave an empty database behind.
    if (!QFile::exists(path_) ||
        sqlite3_open_v2(name.constData(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db_,
                           "SELECT tile_data FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 "
                           "AND tile_row = ?3",
                           -1, &select_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(select_);
        select_ = nullptr;
        sqlite3_close(db_);
        db_ = nullptr;
        return;
    }
    sqlite3_stmt* meta = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT name, value FROM metadata", -1, &meta, nullptr) ==
        SQLITE_OK) {
        while (sqlite3_step(meta) == SQLITE_ROW) {
            const auto* key = reinterpret_cast<const char*>(sqlite3_column_text(meta, 0));
            const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(meta, 1));
            if (key == nullptr || value == nullptr) continue;
            const QString k = QString::fromUtf8(key);
            bool ok = false;
            if (k == "attribution") attribution_ = QString::fromUtf8(value);
            if (k == "minzoom") {
                const int v = QString(value).toInt(&ok);
                if (ok) minZoom_ = v;
            }
            if (k == "maxzoom") {
                const int v = QString(value).toInt(&ok);
                if (ok) maxZoom_ = v;
            }
        }
    }
    sqlite3_finalize(meta);
    minZoom_ = std::clamp(minZoom_, 0, kMaxTileZoom);
    maxZoom_ = std::clamp(maxZoom_, minZoom_, kMaxTileZoom);
}

MbTiles::~MbTiles() {
    sqlite3_finalize(select_);
    sqlite3_close(db_);
}

QImage MbTiles::loadTile(const TileId& id) {
    if (select_ == nullptr) return {};
    sqlite3_reset(select_);
    sqlite3_bind_int(select_, 1, id.z);
    sqlite3_bind_int64(select_, 2, id.x);
    sqlite3_bind_int64(select_, 3, TmsRow(id.y, id.z));
    QImage image;
    if (sqlite3_step(select_) == SQLITE_ROW) {
        const void* blob = sqlite3_column_blob(select_, 0);
        const int bytes = sqlite3_column_bytes(select_, 0);
        // PNG, JPEG or whatever Qt reads: the data says which.
        if (blob != nullptr && bytes > 0) {
            image.loadFromData(static_cast<const uchar*>(blob), bytes);
        }
    }
    sqlite3_reset(select_);
    return image;
}

SourceChoice ChooseSource(MapSources& sources, double lat, double lon, int zoom, double scale) {
    for (auto& source : sources) {
        Projection p;
        if (source->tiled()) {
            p = Projection::Mercator(std::clamp(zoom, source->minZoom(), source->maxZoom()));
        } else {
            p = Projection::Calibrated(*source->calibration(), scale);
        }
        if (source->covers(p, p.toWorld(lat, lon))) return {source.get(), p};
    }
    return {};
}

}  // namespace droskal::render
