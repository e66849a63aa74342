#pragma once

#include <QCheckBox>
#include <QColor>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMap>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace droskal {

// Geometry held in twips as floats, the way the layout and the handlers reason about it;
// the widget's pixel geometry follows every change.
class TwipGeometry {
  public:
    explicit TwipGeometry(QWidget* widget) : widget_(widget) {}
    virtual ~TwipGeometry() = default;

    float Left() const { return left_; }
    float Top() const { return top_; }
    float Width() const { return width_; }
    float Height() const { return height_; }
    void setLeft(float v) {
        left_ = v;
        apply();
    }
    void setTop(float v) {
        top_ = v;
        apply();
    }
    void setWidth(float v) {
        width_ = v;
        apply();
    }
    void setHeight(float v) {
        height_ = v;
        apply();
    }
    void setTwips(float left, float top, float width, float height);

  protected:
    virtual void apply();
    QWidget* widget_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

// A rectangle or circle drawn on its container's surface.
class Shape : public QWidget, public TwipGeometry {
  public:
    enum class Kind { Rectangle, Circle };
    Shape(QWidget* parent, const QString& name, Kind kind);
    void setFill(const QColor& colour) {
        fill_ = colour;
        update();
    }  // invalid = not filled
    void setOutline(const QColor& colour) {
        outline_ = colour;
        update();
    }  // invalid = none
    QColor fillColor() const { return fill_; }
    Kind kind() const { return kind_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    Kind kind_;
    QColor fill_;
    QColor outline_;
};

// A straight line between two points in twips; only its horizontal place changes at run time.
class Line : public QWidget {
  public:
    Line(QWidget* parent, const QString& name, const QColor& colour, int widthPixels);
    void setPoints(float x1, float y1, float x2, float y2);
    float X1() const { return x1_; }
    float X2() const { return x2_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QColor colour_;
    int widthPixels_;
    float x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
};

class Label : public QLabel, public TwipGeometry {
  public:
    Label(QWidget* parent, const QString& name);
};

// A button that shows one picture; the key of the picture is kept so tests and the
// state sets can tell which one it shows.
class PictureButton : public QPushButton {
  public:
    PictureButton(QWidget* parent, const QString& name);
    void setPicture(const QPixmap& picture, const QString& key = QString());
    QString pictureKey() const { return key_; }

  protected:
    // Enter and Return click the focused button, as Space does.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QString key_;
};

// Pictures addressed by key (and by 1-based index), in the order they were added.
class ImageList {
  public:
    void add(const QString& key, const QPixmap& picture);
    QPixmap byKey(const QString& key) const { return byKey_.value(key); }
    QPixmap byIndex(int index) const { return list_.value(index - 1); }
    QStringList keys() const { return keys_; }
    int count() const { return static_cast<int>(list_.size()); }

  private:
    QList<QPixmap> list_;
    QStringList keys_;
    QMap<QString, QPixmap> byKey_;
};

// The picture area: what is drawn into it stays as its persistent image, the widget
// repaints from that image, and a snapshot saves it.
class PictureBox : public QWidget, public TwipGeometry {
  public:
    PictureBox(QWidget* parent, const QString& name, const QColor& background);
    // Clears the persistent image to the background colour.
    void Cls();
    // Draws a 24-bit bottom-up blue-green-red pixel array with its top-left corner at (x, y).
    void DrawDib(int width, int height, const std::uint8_t* bits, int x, int y);
    // Draws part of a picture unscaled at (x, y).
    void DrawImagePart(const QImage& picture, const QRect& source, int x, int y);
    const QImage& image() const { return image_; }
    // Asked at every repaint: fills `source` (image pixels) and `target` (box pixels) to show
    // part of the image scaled, or returns false to show it 1:1 from the top-left as drawn.
    std::function<bool(QRectF& source, QRectF& target)> viewOf;
    // Puts the box at `rect` (container pixels) whatever its twips say; the image keeps the
    // size the twips give. An empty rect returns the box to its twips.
    void setDisplayRect(const QRect& rect);

  protected:
    void paintEvent(QPaintEvent*) override;
    void apply() override;

  private:
    QColor background_;
    QImage image_;
    QRect display_;
};

// The control strip below the picture; it takes the mouse for the position bar and
// reports positions in its own twips.
class MouseFrame : public QFrame {
  public:
    using Handler = std::function<void(int button, int shift, float x, float y)>;
    MouseFrame(QWidget* parent, const QString& name);
    Handler onMouseDown, onMouseMove, onMouseUp;

    // Mouse button codes as the handlers receive them.
    static int ButtonCode(Qt::MouseButton button);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The second click of a double-click already arrived as a press; the double-click
    // itself must not press once more.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace droskal
