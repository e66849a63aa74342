#include "app/PictureScan.h"

#include <algorithm>

#include "recording/PictureIndex.h"

namespace droskal {

namespace {
constexpr double kSecondsFrom1970To2000 = 946684800.0;
constexpr int kLookMilliseconds = 50;
}  // namespace

PictureScan::PictureScan(const PictureIndex& index, std::int64_t length, QObject* context,
                         Batch onBatch)
    : index_(index),
      length_(static_cast<double>(std::max<std::int64_t>(1, length))),
      onBatch_(std::move(onBatch)) {
    timer_.setInterval(kLookMilliseconds);
    QObject::connect(&timer_, &QTimer::timeout, context, [this] { Look(); });
    timer_.start();
    Look();
}

void PictureScan::Look() {
    // Read finished first: every picture found before it is then in the count.
    const bool finished = index_.finished();
    const std::size_t count = index_.count();
    PictureSamples batch;
    for (; taken_ < count; ++taken_) {
        const auto p = index_.at(taken_);
        if (!p) break;
        PictureSample sample;
        sample.pictureNumber = static_cast<std::int64_t>(taken_);
        sample.streamPosition = p->position;
        sample.timeValid = p->hasTime;
        sample.utcSeconds = p->time + kSecondsFrom1970To2000;
        sample.speedValid = p->hasSpeed;
        sample.speedKmh = p->speedKmh;
        sample.fixValid = p->status == 'A' && p->hasPosition;
        sample.fileIndex = static_cast<int>(p->file);
        batch.push_back(sample);
    }
    if (finished) timer_.stop();
    if (batch.empty() && !finished) return;
    const double done =
        finished        ? 1.0
        : batch.empty() ? 0.0
                        : std::min(1.0, static_cast<double>(batch.back().streamPosition) / length_);
    onBatch_(std::move(batch), done, finished);
}

}  // namespace droskal
