#include "app/Controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "app/Twips.h"

namespace droskal {

void TwipGeometry::setTwips(float left, float top, float width, float height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    apply();
}

void TwipGeometry::apply() {
    widget_->setGeometry(TwipsToPixels(left_), TwipsToPixels(top_), TwipsToPixels(width_),
                         TwipsToPixels(height_));
}

Shape::Shape(QWidget* parent, const QString& name, Kind kind)
    : QWidget(parent), TwipGeometry(this), kind_(kind) {
    setObjectName(name);
    // Shapes are drawn on their container's surface: the mouse goes through to it.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (kind_ == Kind::Circle) painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(outline_.isValid() ? QPen(outline_, 1) : QPen(Qt::NoPen));
    painter.setBrush(fill_.isValid() ? QBrush(fill_) : QBrush(Qt::NoBrush));
    const QRectF box =
        outline_.isValid() ? QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5) : QRectF(rect());
    if (kind_ == Kind::Circle) {
        painter.drawEllipse(box);
    } else {
        painter.drawRect(box);
    }
}

Line::Line(QWidget* parent, const QString& name, const QColor& colour, int widthPixels)
    : QWidget(parent), colour_(colour), widthPixels_(widthPixels) {
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Line::setPoints(float x1, float y1, float x2, float y2) {
    x1_ = x1;
    y1_ = y1;
    x2_ = x2;
    y2_ = y2;
    const int half = widthPixels_ / 2;
    const int left = TwipsToPixels(std::min(x1, x2)) - half;
    const int top = TwipsToPixels(std::min(y1, y2)) - half;
    const int right = TwipsToPixels(std::max(x1, x2)) - half + widthPixels_;
    const int bottom = TwipsToPixels(std::max(y1, y2)) - half + widthPixels_;
    setGeometry(left, top, right - left, bottom - top);
    update();
}

void Line::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPoint origin = geometry().topLeft();
    const QPointF a(TwipsToPixels(x1_) - origin.x(), TwipsToPixels(y1_) - origin.y());
    const QPointF b(TwipsToPixels(x2_) - origin.x(), TwipsToPixels(y2_) - origin.y());
    painter.setPen(QPen(colour_, widthPixels_, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(a, b);
}

Label::Label(QWidget* parent, const QString& name) : QLabel(parent), TwipGeometry(this) {
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

PictureButton::PictureButton(QWidget* parent, const QString& name) : QPushButton(parent) {
    setObjectName(name);
}

void PictureButton::setPicture(const QPixmap& picture, const QString& key) {
    key_ = key;
    setIcon(QIcon(picture));
    setIconSize(picture.size());
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        if (isEnabled()) click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void ImageList::add(const QString& key, const QPixmap& picture) {
    list_.append(picture);
    keys_.append(key);
    if (!key.isEmpty()) byKey_.insert(key, picture);
}

PictureBox::PictureBox(QWidget* parent, const QString& name, const QColor& background)
    : QWidget(parent), TwipGeometry(this), background_(background) {
    setObjectName(name);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::apply() {
    TwipGeometry::apply();
    // The persistent image follows the box's twips and keeps what it already holds.
    const QSize size = this->size();
    if (!display_.isEmpty()) setGeometry(display_);
    if (image_.size() == size) return;
    QImage grown(size, QImage::Format_RGB32);
    grown.fill(background_);
    if (!image_.isNull()) {
        QPainter painter(&grown);
        painter.drawImage(0, 0, image_);
    }
    image_ = grown;
}

void PictureBox::Cls() {
    image_.fill(background_);
    update();
}

void PictureBox::DrawDib(int width, int height, const std::uint8_t* bits, int x, int y) {
    const int rowBytes = width * 3;  // 1920 or 960: already a multiple of four
    for (int row = 0; row < height; ++row) {
        const int imageRow = y + (height - 1 - row);  // bottom-up source rows
        if (imageRow < 0 || imageRow >= image_.height()) continue;
        const std::uint8_t* src = bits + static_cast<std::ptrdiff_t>(row) * rowBytes;
        auto* dst = reinterpret_cast<QRgb*>(image_.scanLine(imageRow));
        for (int col = 0; col < width; ++col) {
            const int imageCol = x + col;
            if (imageCol < 0 || imageCol >= image_.width()) continue;
            dst[imageCol] = qRgb(src[col * 3 + 2], src[col * 3 + 1], src[col * 3]);
        }
    }
    update();
}

void PictureBox::DrawImagePart(const QImage& picture, const QRect& source, int x, int y) {
    QPainter painter(&image_);
    painter.drawImage(QPoint(x, y), picture, source);
    update();
}

void PictureBox::setDisplayRect(const QRect& rect) {
    display_ = rect;
    apply();
    update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    QRectF source, target;
    if (viewOf && viewOf(source, target) && !source.isEmpty()) {
        // Whole factors keep every picture pixel a sharp block; others are filtered.
        const double scale = target.width() / source.width();
        painter.setRenderHint(QPainter::SmoothPixmapTransform,
                              std::abs(scale - std::round(scale)) > 1e-9);
        painter.drawImage(target, image_, source);
    } else {
        painter.drawImage(QPoint(0, 0), image_);
    }
    (void)event;
}

MouseFrame::MouseFrame(QWidget* parent, const QString& name) : QFrame(parent) {
    setObjectName(name);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
}

int MouseFrame::ButtonCode(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return 1;
        case Qt::RightButton:
            return 2;
        case Qt::MiddleButton:
            return 4;
        default:
            return 0;
    }
}

namespace {
int ShiftCode(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}
}  // namespace

void MouseFrame::mousePressEvent(QMouseEvent* event) {
    if (onMouseDown) {
        onMouseDown(ButtonCode(event->button()), ShiftCode(event->modifiers()),
                    static_cast<float>(PixelsToTwips(event->position().x())),
                    static_cast<float>(PixelsToTwips(event->position().y())));
    }
}

void MouseFrame::mouseMoveEvent(QMouseEvent* event) {
    if (onMouseMove) {
        onMouseMove(ButtonCode(event->button()), ShiftCode(event->modifiers()),
                    static_cast<float>(PixelsToTwips(event->position().x())),
                    static_cast<float>(PixelsToTwips(event->position().y())));
    }
}

void MouseFrame::mouseReleaseEvent(QMouseEvent* event) {
    if (onMouseUp) {
        onMouseUp(ButtonCode(event->button()), ShiftCode(event->modifiers()),
                  static_cast<float>(PixelsToTwips(event->position().x())),
                  static_cast<float>(PixelsToTwips(event->position().y())));
    }
}

void MouseFrame::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace droskal
