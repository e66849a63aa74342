#include "app/PictureScan.h"

#include <QMetaObject>

#include "gps/RmcFields.h"
#include "stream/Searches.h"
#include "stream/StreamFile.h"

namespace droskal {

namespace {

constexpr double kSecondsFrom1970To2000 = 946684800.0;
constexpr std::size_t kBatchPictures = 500;

struct Quiet final : StreamObserver {
    void SetPlayCounter(bool) override {}
    void ShowNmea() override {}
};

}  // namespace

PictureScan::PictureScan(const QString& path, QObject* context, Batch onBatch)
    : onBatch_(std::move(onBatch)) {
    thread_ = std::thread(&PictureScan::Run, this, path.toStdString(), context);
}

PictureScan::~PictureScan() {
    alive_->store(false);
    thread_.join();
}

void PictureScan::Run(std::string path, QObject* context) {
    const auto alive = alive_;
    const auto post = [&](PictureSamples batch, double done, bool finished) {
        QMetaObject::invokeMethod(
            context,
            [alive, batch = std::move(batch), done, finished, this]() mutable {
                if (alive->load()) onBatch_(std::move(batch), done, finished);
            },
            Qt::QueuedConnection);
    };
    StreamFile file;
    std::string error;
    if (file.open(path, error) != OpenStatus::Ok) {
        post({}, 1, true);
        return;
    }
    Quiet quiet;
    std::int64_t position = 0;
    std::int64_t number = 0;
    std::string text;
    PictureSamples batch;
    const double length = static_cast<double>(std::max<std::int64_t>(1, file.length()));
    while (alive->load() && FindStartUp(file, position, quiet)) {
        PictureSample sample;
        sample.pictureNumber = number++;
        sample.streamPosition = position;
        RmcSentence rmc;
        if (FindPicStart(file, text, quiet) && ParseRmcFields(text, rmc) == RmcResult::Ok) {
            sample.timeValid = rmc.hasDate && rmc.hasTime;
            sample.utcSeconds = rmc.secondsSince2000() + kSecondsFrom1970To2000;
            sample.speedValid = rmc.hasSpeed;
            sample.speedKmh = rmc.speedKnots * 1.852;
            sample.fixValid = rmc.validFix();
        }
        batch.push_back(sample);
        if (batch.size() >= kBatchPictures) {
            post(std::move(batch), static_cast<double>(file.readPosition()) / length, false);
            batch = {};
        }
    }
    post(std::move(batch), 1, true);
}

}  // namespace droskal
