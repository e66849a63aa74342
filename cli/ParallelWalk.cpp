#include "cli/ParallelWalk.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "cli/Args.h"
#include "decoder/PictureFormat.h"

namespace droskal::cli {

struct ParallelWalk::Slot {
    // With threads, the walker reads this slot's pictures into it; one job reads into the
    // walker's own.
    std::unique_ptr<FrameBuffer> frame;
    std::size_t lastRead = 0;        // 1 + the number in the walk of the last picture read into it
    std::unique_ptr<Bitmap> bitmap;  // taken from its decoding thread's spares
    int owner = 0;                   // that thread
    WalkedPicture picture;
    std::string nmeaText;
    Decode decode = Decode::None;
    std::vector<std::uint8_t> encoded;
};

ParallelWalk::ParallelWalk(Walker& walker, int jobs) : walker_(walker), jobs_(std::max(1, jobs)) {
    bitmapBytes_ = static_cast<std::size_t>(FormatInfo(walker.picFormat())->pixelCount) * 3;
    spares_.resize(static_cast<std::size_t>(jobs_));
    for (int j = 0; j < jobs_; ++j) {
        decoders_.push_back(std::make_unique<Decoder>());
        decoders_.back()->SetIntraMatrix(walker.intraMatrix());
    }
    // Two pictures a thread keep every thread busy while the caller writes out the oldest.
    // Every slot's buffer starts as the walker's is now.
    for (int s = 0; s < (jobs_ == 1 ? 1 : 2 * jobs_ + 1); ++s) {
        slots_.push_back(std::make_unique<Slot>());
        if (jobs_ > 1) slots_.back()->frame = std::make_unique<FrameBuffer>(walker.frame());
    }
    written_.assign(slots_.size(), 0);
    pool_ = std::make_unique<OrderedPool<bool>>(jobs_);
}

// The walker takes the bytes of the last picture read back into its own buffer.
ParallelWalk::~ParallelWalk() {
    walker_.readInto(nullptr);
}

// The bitmap this thread wrote last, while the cache still holds it: a picture's 900 KB of
// output written into a buffer the other core wrote last costs both cores a trip through
// the shared cache for every line, and took a tenth of the two-job rate. Another thread's
// spare only when this one has none, a new one only when no thread has any, so there are never
// more bitmaps than pictures in flight.
std::unique_ptr<ParallelWalk::Bitmap> ParallelWalk::takeBitmap(int worker) {
    {
        std::lock_guard<std::mutex> lock(sparesMutex_);
        for (std::size_t k = 0; k < spares_.size(); ++k) {
            auto& spares = spares_[(static_cast<std::size_t>(worker) + k) % spares_.size()];
            if (spares.empty()) continue;
            std::unique_ptr<Bitmap> b = std::move(spares.back());
            spares.pop_back();
            return b;
        }
    }
    return std::make_unique<Bitmap>(bitmapBytes_, 0);
}

void ParallelWalk::giveBack(Slot& s) {
    if (!s.bitmap) return;
    std::lock_guard<std::mutex> lock(sparesMutex_);
    spares_[static_cast<std::size_t>(s.owner)].push_back(std::move(s.bitmap));
}

void ParallelWalk::rewind() {
    walker_.rewind();
    walkDone_ = false;
}

bool ParallelWalk::readAhead(const std::function<Decode(std::int64_t)>& decodeFor,
                             std::int64_t stopAfter) {
    const std::size_t k = slots_.size();
    Slot& s = *slots_[submitted_ % k];
    // With threads, each picture is read straight into its slot's buffer, which must then hold
    // what the walker's one buffer would: a damaged picture may read the bytes an earlier one
    // left behind it. The slot's buffer already holds the walker's bytes as of its last
    // picture; of the pictures read since, the one just before wrote up to the most that any
    // of them did, so that far its slot's buffer gives what lies behind this picture.
    if (jobs_ > 1) walker_.readInto(s.frame.get());
    if (!walker_.next(s.picture, Decode::None)) {
        // Nothing was read; the walker's bytes are those of the last picture read, if any.
        if (jobs_ > 1 && submitted_ > 0)
            walker_.readInto(slots_[(submitted_ - 1) % k]->frame.get());
        return false;
    }
    const std::int64_t written = s.picture.endPos - s.picture.slicePos;
    if (jobs_ > 1 && submitted_ > 0) {
        std::int64_t since = 0;
        for (std::size_t seq = s.lastRead; seq < submitted_; ++seq)
            since = std::max(since, written_[seq % k]);
        const FrameBuffer& before = *slots_[(submitted_ - 1) % k]->frame;
        if (since > written) {
            std::memcpy(s.frame->data() + written, before.data() + written,
                        static_cast<std::size_t>(since - written));
        }
    }
    written_[submitted_ % k] = written;
    s.lastRead = submitted_ + 1;
    s.nmeaText = *s.picture.nmeaText;
    s.picture.nmeaText = &s.nmeaText;
    s.decode = s.picture.read ? decodeFor(s.picture.index) : Decode::None;
    const FrameBuffer* frame = &walker_.frame();
    const std::uint8_t picFormat = walker_.picFormat();
    pool_->Submit([this, &s, frame, picFormat](int worker) {
        if (s.decode == Decode::None) return false;
        Decoder& d = *decoders_[static_cast<std::size_t>(worker)];
        s.bitmap = takeBitmap(worker);
        s.owner = worker;
        std::uint8_t* const out = s.bitmap->data();
        s.picture.decoded = s.decode == Decode::Bitmap ? d.DecodePicture(*frame, picFormat, out)
                                                       : d.AssemblePicture(*frame, picFormat, out);
        s.picture.picBuf = out;
        if (s.picture.decoded && encoder_) s.encoded = encoder_(s.picture);
        return s.picture.decoded;
    });
    ++submitted_;
    if (s.picture.index >= stopAfter) walkDone_ = true;
    return true;
}

bool ParallelWalk::next(WalkedPicture& picture,
                        const std::function<Decode(std::int64_t)>& decodeFor,
                        std::int64_t stopAfter) {
    // The slot handed back last call is free again; fill every free one.
    if (collected_ > 0) giveBack(*slots_[(collected_ - 1) % slots_.size()]);
    while (!walkDone_ && pool_->Pending() < slots_.size()) {
        if (!readAhead(decodeFor, stopAfter)) walkDone_ = true;
    }
    if (pool_->Pending() == 0) return false;
    pool_->Next();
    Slot& s = *slots_[collected_++ % slots_.size()];
    picture = s.picture;
    encoded_.swap(s.encoded);
    s.encoded.clear();
    return true;
}

bool ParseJobs(const std::string& text, int& jobs) {
    std::int64_t n = 0;
    if (!ParseCount(text, n) || n < 1 || n > 256) return false;
    jobs = static_cast<int>(n);
    return true;
}

int DefaultJobs() {
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace droskal::cli
