#include "app/Artwork.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include "dist/ProgramIcon.h"

namespace droskal {

namespace {

const QColor kMask(192, 192, 192);

// Pictures are drawn on the light grey mask colour, which then becomes transparent.
QPixmap Masked(const QImage& drawn) {
    QImage out = drawn.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == (kMask.rgb() & 0xFFFFFF)) line[x] = 0;
        }
    }
    return QPixmap::fromImage(out);
}

QImage Canvas(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kMask);
    return image;
}

void Triangle(QPainter& p, double left, bool pointsRight, const QColor& fill) {
    QPolygonF tri;
    if (pointsRight) {
        tri << QPointF(left, 3) << QPointF(left + 5, 8) << QPointF(left, 13);
    } else {
        tri << QPointF(left + 5, 3) << QPointF(left, 8) << QPointF(left + 5, 13);
    }
    p.setBrush(fill);
    p.setPen(QPen(Qt::black, 1));
    p.drawPolygon(tri);
}

void Bar(QPainter& p, double left, const QColor& fill) {
    p.setBrush(fill);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(QRectF(left, 3, 2, 10));
}

QPixmap NavigationPicture(const QString& key) {
    QString base = key;
    QColor fill(0, 0, 255);
    if (key.endsWith('A')) {  // no base key ends in A
        base.chop(1);
        fill = QColor(255, 0, 0);
    } else if (key.endsWith('U')) {
        base.chop(1);
        fill = QColor(128, 128, 128);
    }
    QImage image = Canvas(16, 16);
    QPainter p(&image);
    if (base == "Stop") {
        p.setBrush(fill);
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(QRectF(4, 4, 8, 8));
    } else if (base == "Up") {
        Bar(p, 4, fill);
        Triangle(p, 8, true, fill);
    } else if (base == "UpE") {
        Triangle(p, 3, true, fill);
        Bar(p, 10, fill);
    } else if (base == "Down") {
        Triangle(p, 3, false, fill);
        Bar(p, 10, fill);
    } else if (base == "DownE") {
        Bar(p, 4, fill);
        Triangle(p, 8, false, fill);
    } else {
        const bool right = base.startsWith("Up");
        const int count = static_cast<int>(base.count('F'));
        const double start = 8 - count * 5 / 2.0 - 0.5;
        for (int i = 0; i < count; ++i) Triangle(p, start + i * 5, right, fill);
    }
    p.end();
    return Masked(image);
}

void Diskette(QPainter& p, int left, const QColor& body) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(body);
    p.drawRect(left, 1, 13, 13);
    p.setBrush(Qt::white);
    p.drawRect(left + 3, 1, 7, 5);
    p.setBrush(QColor(64, 64, 64));
    p.drawRect(left + 3, 9, 7, 5);
}

void Arrow(QPainter& p, int left) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::black);
    p.drawRect(left, 7, 5, 2);
    QPolygon head;
    head << QPoint(left + 5, 4) << QPoint(left + 8, 8) << QPoint(left + 5, 12);
    p.drawPolygon(head);
}

void Film(QPainter& p, int left, int width, const QColor& colour) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(colour);
    p.drawRect(left, 2, width - 1, 11);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int x = left + 2; x < left + width - 2; x += 3) {
        p.drawRect(x, 3, 1, 1);
        p.drawRect(x, 11, 1, 1);
    }
}

}  // namespace

QStringList NavigationKeys() {
    return {"DownE",   "DownEA", "DownEU", "DownFFF", "DownFFFA", "DownFFFU", "DownFF", "DownFFA",
            "DownFFU", "DownF",  "DownFA", "DownFU",  "Down",     "DownA",    "DownU",  "Stop",
            "StopU",   "Up",     "UpA",    "UpU",     "UpF",      "UpFA",     "UpFU",   "UpFF",
            "UpFFA",   "UpFFU",  "UpFFF",  "UpFFFA",  "UpFFFU",   "UpE",      "UpEA",   "UpEU"};
}

ImageList MakeImglPic() {
    ImageList list;
    for (const QString& key : NavigationKeys()) list.add(key, NavigationPicture(key));
    return list;
}

ImageList MakeImglFlag() {
    ImageList list;
    const QColor flags[] = {QColor(255, 0, 0), QColor(0, 0, 255), QColor(255, 255, 0)};
    for (int i = 0; i < 3; ++i) {
        QImage image = Canvas(16, i == 2 ? 14 : 13);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(QColor(96, 64, 32), 1));
        p.drawLine(3, 12, 6, 0);  // the slanted pole
        QPolygon flag;
        flag << QPoint(6, 0) << QPoint(14, 2) << QPoint(5, 5);
        p.setBrush(flags[i]);
        p.setPen(QPen(Qt::black, 1));
        p.drawPolygon(flag);
        if (i == 2) {
            p.setPen(QPen(QColor(192, 0, 0), 2));
            p.drawLine(1, 1, 14, 12);
            p.drawLine(14, 1, 1, 12);
        }
        p.end();
        list.add(QString(), Masked(image));
    }
    return list;
}

QPixmap FileButtonPicture() {
    QImage image = Canvas(46, 16);
    QPainter p(&image);
    Diskette(p, 1, QColor(255, 255, 0));
    Arrow(p, 17);
    Film(p, 28, 18, QColor(0, 64, 192));
    p.end();
    return Masked(image);
}

QPixmap BmpButtonPicture() {
    QImage image = Canvas(38, 16);
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(48, 48, 48));
    p.drawRect(1, 4, 13, 9);  // camera body
    p.drawRect(4, 2, 4, 2);
    p.setBrush(QColor(128, 160, 255));
    p.drawEllipse(5, 6, 5, 5);  // lens
    Arrow(p, 15);
    Diskette(p, 24, QColor(0, 128, 255));
    p.end();
    return Masked(image);
}

QPixmap SaveCutButtonPicture() {
    QImage image = Canvas(48, 16);
    QPainter p(&image);
    Film(p, 1, 20, QColor(0, 64, 192));
    p.setPen(QPen(QColor(192, 0, 0), 2));
    p.drawLine(7, 1, 7, 14);
    p.setPen(QPen(QColor(0, 0, 192), 2));
    p.drawLine(15, 1, 15, 14);
    Arrow(p, 23);
    Diskette(p, 34, QColor(0, 128, 255));
    p.end();
    return Masked(image);
}

QIcon WindowIcon() {
    return ProgramIcon();
}

}  // namespace droskal
