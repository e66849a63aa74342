// Arbitrary bytes opened as a recording and walked picture by picture in both directions,
// every picture read decoded in the format the file's first bytes select.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "recording/Walker.h"
#include "stream/Searches.h"

namespace {

using namespace droskal;

struct CountingObserver : StreamObserver {
    int counters = 0;
    int nmeas = 0;
    void SetPlayCounter(bool) override { ++counters; }
    void ShowNmea() override { ++nmeas; }
};

// Enough steps to pass every picture a fuzz input can hold several times over, few enough
// that one input stays quick.
constexpr int kMaxSteps = 64;

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckState(const StreamFile& file, std::int64_t picturePos) {
    Check(file.readPosition() >= 0 && file.readPosition() <= file.length());
    Check(picturePos >= 0 && picturePos <= file.length());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto walker = std::make_unique<Walker>();
    static auto frameBuf = std::make_unique<FrameBuffer>();

    // What opening a file does: the 7 header bytes, then the intra matrix from a peek.
    walker->openMemory(std::vector<std::uint8_t>(data, data + size));
    StreamFile& file = walker->file();
    Check(file.readPosition() == std::min<std::int64_t>(7, file.length()));

    std::int64_t picturePos = 0;
    WalkedPicture picture;
    for (int step = 0; step < kMaxSteps && walker->next(picture, Decode::Bitmap); ++step) {
        // Forward steps only move on.
        Check(picture.picturePos > picturePos);
        picturePos = picture.picturePos;
        CheckState(file, picturePos);
        // A picture start code in the file's last bytes leaves nothing to search for its slice.
        Check(picture.endPos >= picture.slicePos && picture.slicePos >= picturePos);
        Check(!picture.sentenceRead || picture.slicePos > picturePos);
    }
    CountingObserver observer;
    std::string nmeaText;
    for (int step = 0; step < kMaxSteps; ++step) {
        const std::int64_t before = picturePos;
        if (!FindStartDown(file, picturePos, observer)) break;
        // Backward never finds the current picture again.
        Check(picturePos <= before - 4);
        Check(file.readPosition() == picturePos);
        CheckState(file, picturePos);
        if (FindPicStart(file, nmeaText, observer)) ReadFrame(file, *frameBuf);
        CheckState(file, picturePos);
    }
    return 0;
}
