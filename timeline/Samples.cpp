#include "timeline/Samples.h"

#include <cmath>

namespace droskal {

std::int64_t NearestTimedSample(const PictureSamples& samples, double utcSeconds) {
    // Recorder clocks may step back, so the samples are searched in full, not bisected.
    std::int64_t best = -1;
    double bestDistance = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (!samples[i].timeValid) continue;
        const double distance = std::fabs(samples[i].utcSeconds - utcSeconds);
        if (best < 0 || distance < bestDistance) {
            best = static_cast<std::int64_t>(i);
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace droskal
