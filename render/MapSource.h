#pragma once

#include <QCache>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "render/Projection.h"

namespace droskal::render {

// One place maps come from. A source that is missing, damaged or unreachable simply covers
// nothing, so the next one in the list is tried.
class MapSource {
  public:
    virtual ~MapSource() = default;
    // What the user configured (file, folder or URL), for messages.
    virtual QString label() const = 0;
    virtual bool tiled() const = 0;
    // Calibrated pictures only: the picture's calibration.
    virtual std::optional<MapCalibration> calibration() const { return std::nullopt; }
    // Whether the source has map at this world pixel of `projection` (which must be of the
    // source's kind). May load the picture or the tile there.
    virtual bool covers(const Projection& projection, QPointF world) = 0;
    // Paints the part `view` (world pixels) with its top-left corner at the painter's
    // origin; false when nothing at all could be drawn.
    virtual bool paint(QPainter& painter, const Projection& projection, const QRectF& view) = 0;
    // Text the map must carry (tile servers' licences); empty when none is needed.
    virtual QString attribution() const { return {}; }
    virtual int minZoom() const { return 0; }
    virtual int maxZoom() const { return 19; }
    // For a window: sources that fetch their map over the network do so without waiting,
    // draw what they have meanwhile and call `repaint` when more has come. Without it they
    // wait for what they draw (a file being written).
    virtual void whenMapArrives(std::function<void()> repaint) { (void)repaint; }
};

// A picture with the four calibration values Droskal.ini holds. The arithmetic takes it as
// 4096 x 4096 map pixels whatever its size, as the window always has.
class CalibratedPicture final : public MapSource {
  public:
    CalibratedPicture(QString path, const MapCalibration& calibration);
    // A picture already in memory (the window's map.gif).
    CalibratedPicture(QString label, QImage picture, const MapCalibration& calibration);
    QString label() const override { return path_; }
    bool tiled() const override { return false; }
    std::optional<MapCalibration> calibration() const override { return calibration_; }
    bool covers(const Projection& projection, QPointF world) override;
    bool paint(QPainter& painter, const Projection& projection, const QRectF& view) override;

  private:
    bool load();
    QString path_;
    MapCalibration calibration_;
    QImage picture_;
    bool tried_ = false;
};

// Tiles addressed as z/x/y (x from the west, y from the north), 256 pixels square.
class TileSource : public MapSource {
  public:
    bool tiled() const override { return true; }
    bool covers(const Projection& projection, QPointF world) override;
    bool paint(QPainter& painter, const Projection& projection, const QRectF& view) override;
    // The decoded tile, or a null image when the source has none there.
    QImage tile(const TileId& id);

  protected:
    virtual QImage loadTile(const TileId& id) = 0;
    // "z/x/y", the tile's name in caches.
    static QString Key(const TileId& id);
    // Drops the decoded tile, so that the next view loads it again.
    void forget(const TileId& id);
    // Whether a tile the source lacks stays lacking (files), or may come later (a server).
    virtual bool missesAreFinal() const { return true; }

  private:
    QCache<QString, QImage> decoded_{96};
};

// An MBTiles file, read with SQLite: the `tiles` table (rows counted from the south) and the
// `metadata` table (zoom range, attribution).
class MbTiles final : public TileSource {
  public:
    explicit MbTiles(QString path);
    ~MbTiles() override;
    QString label() const override { return path_; }
    QString attribution() const override { return attribution_; }
    int minZoom() const override { return minZoom_; }
    int maxZoom() const override { return maxZoom_; }
    bool isOpen() const { return db_ != nullptr; }

  protected:
    QImage loadTile(const TileId& id) override;

  private:
    QString path_;
    struct sqlite3* db_ = nullptr;
    struct sqlite3_stmt* select_ = nullptr;
    QString attribution_;
    int minZoom_ = 0;
    int maxZoom_ = 19;
};

// A folder of tiles as downloaders write them: Z/X/Y.png (or .jpg, .jpeg, .webp).
class TileFolder final : public TileSource {
  public:
    explicit TileFolder(QString path) : path_(std::move(path)) {}
    QString label() const override { return path_; }

  protected:
    QImage loadTile(const TileId& id) override;

  private:
    QString path_;
};

// The list of sources, tried in order.
using MapSources = std::vector<std::unique_ptr<MapSource>>;

// The first source that has map at the place, with the projection to draw it in: a
// calibrated picture at `scale`, tiles at `zoom` (clamped to the source's range).
struct SourceChoice {
    MapSource* source = nullptr;
    Projection projection;
};
SourceChoice ChooseSource(MapSources& sources, double lat, double lon, int zoom, double scale);

}  // namespace droskal::render
