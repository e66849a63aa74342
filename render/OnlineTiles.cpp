#include "render/OnlineTiles.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace droskal::render {

OnlineTiles::OnlineTiles(QString urlTemplate, QString cacheDir, QString attribution)
    : template_(std::move(urlTemplate)),
      cacheDir_(std::move(cacheDir)),
      attribution_(attribution.isEmpty() ? DefaultAttribution(template_) : std::move(attribution)) {
}

// The manager goes first, and with it the reply under way, before what its answer would use.
OnlineTiles::~OnlineTiles() {
    network_.reset();
}

bool OnlineTiles::IsTemplate(const QString& text) {
    return (text.startsWith("http://") || text.startsWith("https://")) && text.contains("{z}") &&
           text.contains("{x}") && text.contains("{y}");
}

QString OnlineTiles::DefaultCacheDir(const QString& urlTemplate) {
    const QByteArray hash =
        QCryptographicHash::hash(urlTemplate.toUtf8(), QCryptographicHash::Sha256);
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           "/droskal/tiles/" + QString::fromLatin1(hash.toHex().left(16));
}

QString OnlineTiles::DefaultAttribution(const QString& urlTemplate) {
    const QString host = QUrl(QString(urlTemplate).replace('{', 'a').replace('}', 'a')).host();
    if (host.endsWith("openstreetmap.org") || host.endsWith("openstreetmap.fr")) {
        return QString::fromUtf8("© OpenStreetMap contributors");
    }
    if (host.contains("opentopomap"))
        return QString::fromUtf8("© OpenStreetMap contributors, SRTM | © OpenTopoMap (CC-BY-SA)");
    return "Map: " + host;
}

QString OnlineTiles::UserAgent() {
    return QString("Droskal/%1 (in-vehicle recording viewer; map tiles for the recorded route)")
        .arg(QStringLiteral("2.0"));
}

QImage OnlineTiles::loadTile(const TileId& id) {
    const QString cached = QString("%1/%2/%3/%4.tile").arg(cacheDir_).arg(id.z).arg(id.x).arg(id.y);
    const QFileInfo info(cached);
    QImage stale;
    if (info.exists()) {
        stale = QImage(cached);
        const qint64 age = info.lastModified().secsTo(QDateTime::currentDateTime());
        if (!stale.isNull() && age < kFreshSeconds) return stale;
    }
    if (QCoreApplication::instance() == nullptr) return stale;
    const QDateTime now = QDateTime::currentDateTime();
    if (unreachableUntil_.isValid() && now < unreachableUntil_) return stale;
    const QString key = Key(id);
    if (const auto failed = failedUntil_.find(key);
        failed != failedUntil_.end() && now < failed.value()) {
        return stale;
    }

    // One request at a time: the answer to the one under way asks for the view again.
    if (repaint_ && waiting_ != nullptr) return stale;

    QString address = template_;
    address.replace("{z}", QString::number(id.z))
        .replace("{x}", QString::number(id.x))
        .replace("{y}", QString::number(id.y));
    if (!network_) network_ = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request{QUrl(address)};
    request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
    request.setTransferTimeout(kTimeoutMs);
    ++requests_;
    QNetworkReply* reply = network_->get(request);
    if (repaint_) {
        waiting_ = reply;
        const auto answered = [this, reply, id, key, cached] {
            waiting_ = nullptr;
            if (!take(*reply, key, cached).isNull()) forget(id);  // an old one may be drawn
            reply->deleteLater();
            repaint_();
        };
        QObject::connect(reply, &QNetworkReply::finished, network_.get(), answered);
        return stale;
    }
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    const QImage image = take(*reply, key, cached);
    reply->deleteLater();
    return image.isNull() ? stale : image;
}

QImage OnlineTiles::take(QNetworkReply& reply, const QString& key, const QString& cached) {
    const QByteArray body = reply.readAll();
    const int httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply.error();
    QImage image;
    if (error == QNetworkReply::NoError && httpStatus == 200) image.loadFromData(body);
    if (image.isNull()) {
        // Not asked for again for a while: a tile the server lacks, and the whole server when
        // it cannot be reached, fails, refuses or asks for less traffic.
        const QDateTime now = QDateTime::currentDateTime();
        failedUntil_.insert(key, now.addSecs(kUnreachableSeconds));
        if (httpStatus == 0 || httpStatus == 403 || httpStatus == 429 || httpStatus >= 500) {
            unreachableUntil_ = now.addSecs(kUnreachableSeconds);
        }
        return image;
    }
    QDir().mkpath(QFileInfo(cached).absolutePath());
    QSaveFile file(cached);
    if (file.open(QIODevice::WriteOnly) && file.write(body) == body.size()) file.commit();
    return image;
}

}  // namespace droskal::render
