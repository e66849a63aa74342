#pragma once

#include <cstdint>
#include <vector>

namespace droskal {

// What the timeline knows of one picture: where it is, when it was taken and how fast.
struct PictureSample {
    std::int64_t pictureNumber = 0;   // 0-based, in trip order
    std::int64_t streamPosition = 0;  // last byte of its picture start code
    bool timeValid = false;           // the sentence carried a date and a time
    double utcSeconds = 0;            // since 1970-01-01 UTC
    bool speedValid = false;
    double speedKmh = 0;
    bool fixValid = false;  // status A with a position
    int fileIndex = 0;      // file of the trip the picture is in
};

using PictureSamples = std::vector<PictureSample>;

// Index of the timed sample nearest to `utcSeconds`, or -1 when no sample is timed.
std::int64_t NearestTimedSample(const PictureSamples& samples, double utcSeconds);

}  // namespace droskal
