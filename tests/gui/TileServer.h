#pragma once
// A tile server on 127.0.0.1 for the map tests, answering in this thread's event loop.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QHostAddress>
#include <QImage>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

#include "render/TileMath.h"

namespace droskal {

inline QByteArray EncodedTile(QColor colour, const char* format) {
    QImage image(render::kTileSize, render::kTileSize, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Counts requests and answers every one with `status`: a yellow PNG tile for 200.
struct TileServer {
    QTcpServer server;
    int requests = 0, status = 200;
    QByteArray lastRequest;

    TileServer() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    lastRequest += socket->readAll();
                    if (!lastRequest.contains("\r\n\r\n")) return;
                    ++requests;
                    const QByteArray body =
                        status == 200 ? EncodedTile(Qt::yellow, "PNG") : QByteArray("fail");
                    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                                  " X\r\nContent-Type: image/png\r\nConnection: close\r\n"
                                  "Content-Length: " +
                                  QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QString url(quint16 port = 0) const {
        return QString("http://127.0.0.1:%1/{z}/{x}/{y}.png")
            .arg(port ? port : server.serverPort());
    }
};

}  // namespace droskal
