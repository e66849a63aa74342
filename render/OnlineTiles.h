#pragma once

#include <QDateTime>
#include <QHash>

#include <functional>
#include <memory>

#include "render/MapSource.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace droskal::render {

// Tiles from a server by URL template ({z}, {x}, {y}), cached on disk. Only the tiles a view
// shows are asked for, one request at a time, each with a descriptive User-Agent. A cached
// tile younger than a week is used without asking; an older one is asked for again and
// still used when the server does not answer. A tile the server did not send, and a server
// that cannot be reached, fails or refuses, are left alone for a minute, so a drive through
// an area without tiles neither waits nor asks on every picture.
// In a window (whenMapArrives) a tile not yet on disk is asked for and the view drawn without
// it; its answer calls the repaint, which draws it and asks for the next one. Otherwise each
// tile is waited for, up to kTimeoutMs.
// Needs a running Qt application object (QCoreApplication) for the network.
class OnlineTiles final : public TileSource {
  public:
    static constexpr qint64 kFreshSeconds = 7 * 24 * 3600;
    static constexpr qint64 kUnreachableSeconds = 60;
    static constexpr int kTimeoutMs = 8000;

    // cacheDir: where tiles are kept; DefaultCacheDir(urlTemplate) for the user's cache.
    OnlineTiles(QString urlTemplate, QString cacheDir, QString attribution = {});
    ~OnlineTiles() override;
    QString label() const override { return template_; }
    QString attribution() const override { return attribution_; }
    int requestsMade() const { return requests_; }

    static QString DefaultCacheDir(const QString& urlTemplate);
    // What the well-known servers ask to be shown; otherwise "Map: <host>".
    static QString DefaultAttribution(const QString& urlTemplate);
    static QString UserAgent();
    static bool IsTemplate(const QString& text);
    void whenMapArrives(std::function<void()> repaint) override { repaint_ = std::move(repaint); }

  protected:
    QImage loadTile(const TileId& id) override;
    bool missesAreFinal() const override { return false; }

  private:
    // The tile from a finished reply, written to the cache; null when the server sent none.
    QImage take(QNetworkReply& reply, const QString& key, const QString& cached);

    QString template_;
    QString cacheDir_;
    QString attribution_;
    std::unique_ptr<QNetworkAccessManager> network_;
    QDateTime unreachableUntil_;
    QHash<QString, QDateTime> failedUntil_;
    int requests_ = 0;
    std::function<void()> repaint_;
    QNetworkReply* waiting_ = nullptr;  // the one request under way, without waiting for it
};

}  // namespace droskal::render
