#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "parallel/OrderedPool.h"
#include "recording/Walker.h"

namespace droskal::cli {

// A walk whose pictures are decoded on several threads and handed back in picture order,
// each exactly as Walker::next would have decoded it: the walk itself (searches, reads) stays
// on the caller's thread, and every picture goes to a decoder of its own thread with a frame
// buffer of its own that holds what the walker's one buffer would (stale bytes behind the
// picture included, which a damaged picture may read).
class ParallelWalk {
  public:
    ParallelWalk(Walker& walker, int jobs);
    ~ParallelWalk();
    ParallelWalk(const ParallelWalk&) = delete;
    ParallelWalk& operator=(const ParallelWalk&) = delete;

    // The next picture in order, decoded as decodeFor(its index) asks; picBuf and nmeaText
    // stay valid until the next call. No picture after the one with index stopAfter is read.
    bool next(WalkedPicture& picture, const std::function<Decode(std::int64_t)>& decodeFor,
              std::int64_t stopAfter = std::numeric_limits<std::int64_t>::max());
    // Back to the start of the recording (after the last picture has been handed back).
    void rewind();

    // Work done on the decoding thread right after a successful decode (a file encoder, say),
    // its bytes handed back with the picture by encoded().
    using Encoder = std::function<std::vector<std::uint8_t>(const WalkedPicture&)>;
    void setEncoder(Encoder encoder) { encoder_ = std::move(encoder); }
    const std::vector<std::uint8_t>& encoded() const { return encoded_; }

  private:
    struct Slot;
    using Bitmap = std::vector<std::uint8_t>;
    std::unique_ptr<Bitmap> takeBitmap(int worker);
    void giveBack(Slot& s);
    bool readAhead(const std::function<Decode(std::int64_t)>& decodeFor, std::int64_t stopAfter);

    Walker& walker_;
    int jobs_;
    std::vector<std::unique_ptr<Decoder>> decoders_;  // one per thread
    std::vector<std::unique_ptr<Slot>> slots_;        // a ring, one per picture in flight
    std::size_t bitmapBytes_ = 0;
    std::mutex sparesMutex_;
    std::vector<std::vector<std::unique_ptr<Bitmap>>> spares_;  // per thread, the latest last
    std::vector<std::int64_t> written_;  // bytes each of the last pictures read, by number % slots
    std::size_t submitted_ = 0;
    std::size_t collected_ = 0;
    bool walkDone_ = false;
    Encoder encoder_;
    std::vector<std::uint8_t> encoded_;
    std::unique_ptr<OrderedPool<bool>> pool_;
};

// --jobs N: a whole number from 1 to 256; the default is the number of cores.
bool ParseJobs(const std::string& text, int& jobs);
int DefaultJobs();

}  // namespace droskal::cli
