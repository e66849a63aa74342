#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

#include "timeline/Samples.h"

namespace droskal {

class PictureIndex;

// Follows the picture index of the open recording or trip while it grows: every few
// milliseconds on the interface thread it hands the pictures found since the last look to
// `onBatch`, as timeline samples (the new samples, the share of the stream scanned, finished).
class PictureScan {
  public:
    using Batch = std::function<void(PictureSamples batch, double done, bool finished)>;

    // `index` and `context` must outlive the follower; `length` is the stream's length.
    PictureScan(const PictureIndex& index, std::int64_t length, QObject* context, Batch onBatch);
    PictureScan(const PictureScan&) = delete;
    PictureScan& operator=(const PictureScan&) = delete;

  private:
    void Look();

    const PictureIndex& index_;
    double length_;
    Batch onBatch_;
    std::size_t taken_ = 0;
    QTimer timer_;
};

}  // namespace droskal
