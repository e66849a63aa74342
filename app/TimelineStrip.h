#pragma once

#include <QWidget>

#include <functional>

#include "app/TimeView.h"

namespace droskal {

// The strip under the controls: speed over time, stretches without a fix, file gaps, events
// and the current picture. A click or a drag asks for the picture at a time; the wheel zooms
// the time axis around the pointer (whole trip down to 10 s), Shift+wheel pans.
class TimelineStrip : public QWidget {
  public:
    TimelineStrip(QWidget* parent, const TimeView& view);

    // Called with the UTC moment under the pointer on a click and while dragging.
    std::function<void(double utc)> onSeek;
    // The stream position of the picture shown, to place the current-picture line.
    std::function<std::int64_t()> currentPosition;

    // The samples or events changed: keeps a whole-trip view whole, refreshes the tooltip.
    void DataChanged();
    double ViewStart() const { return start_; }
    double ViewEnd() const { return end_; }
    // Time at a horizontal place, and back.
    double TimeAt(double x) const;
    double XAt(double utc) const;

    static constexpr double kMinimumSpan = 10;  // seconds

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    bool TripRange(double& first, double& last) const;
    void SetView(double start, double end);

    const TimeView& view_;
    double start_ = 0;
    double end_ = 0;
    bool whole_ = true;  // the view shows the whole trip
    bool dragging_ = false;
};

}  // namespace droskal
