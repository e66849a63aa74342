#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

#include "timeline/Samples.h"

namespace droskal {

// ---- Stand-in for the picture index: replaced by recording/PictureIndex at merge. ----
// Scans the open recording in a thread of its own with the window's stream searches and
// reads each picture's sentence; hands the samples over in batches, on the interface
// thread, through `onBatch` (samples so far appended, share of the file done, finished).
class PictureScan {
  public:
    using Batch = std::function<void(PictureSamples batch, double done, bool finished)>;

    // `context` receives the batches; they are dropped once it or this scan is gone.
    PictureScan(const QString& path, QObject* context, Batch onBatch);
    ~PictureScan();
    PictureScan(const PictureScan&) = delete;
    PictureScan& operator=(const PictureScan&) = delete;

  private:
    void Run(std::string path, QObject* context);

    Batch onBatch_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    std::thread thread_;
};

}  // namespace droskal
