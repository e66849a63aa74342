// Arbitrary bytes opened as a recording and walked picture by picture in both directions,
// every picture read decoded in the format the file's first bytes select.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "decoder/Decoder.h"
#include "decoder/PictureFormat.h"
#include "decoder/SequenceHeader.h"
#include "stream/Searches.h"
#include "stream/StreamFile.h"

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
    static auto frameBuf = std::make_unique<FrameBuffer>();
    static auto decoder = std::make_unique<Decoder>();

    StreamFile file;
    file.openMemory(std::vector<std::uint8_t>(data, data + size));

    // What opening a file does: the 7 header bytes, then the intra matrix from a peek.
    std::uint8_t header[7] = {};
    for (std::uint8_t& b : header) {
        if (!file.readNext(b)) break;
    }
    const std::uint8_t format = PictureFormatFromHeader(header);
    std::uint8_t sequenceHeader[12 + 64 + 64] = {};
    const auto got = file.peek(1, sizeof sequenceHeader, sequenceHeader);
    Check(got >= 0 && got <= static_cast<std::int64_t>(sizeof sequenceHeader));
    const auto matrix = IntraMatrixFromSequenceHeader(sequenceHeader, static_cast<std::size_t>(got));
    decoder->SetIntraMatrix(matrix ? matrix->data() : nullptr);
    Check(file.readPosition() == std::min<std::int64_t>(7, file.length()));

    const PictureFormatInfo* info = FormatInfo(format);
    std::vector<std::uint8_t> picBuf(info ? static_cast<std::size_t>(info->pixelCount) * 3 : 0);

    CountingObserver observer;
    std::int64_t picturePos = 0;
    std::string nmeaText;
    auto readPicture = [&] {
        if (!FindPicStart(file, nmeaText, observer)) return;
        CheckState(file, picturePos);
        if (!ReadFrame(file, *frameBuf)) return;
        CheckState(file, picturePos);
        if (info) decoder->DecodePicture(*frameBuf, format, picBuf.data());
    };

    for (int step = 0; step < kMaxSteps; ++step) {
        const std::int64_t before = picturePos;
        if (!FindStartUp(file, picturePos, observer)) break;
        // Forward steps only move on.
        Check(picturePos > before);
        CheckState(file, picturePos);
        readPicture();
    }
    for (int step = 0; step < kMaxSteps; ++step) {
        const std::int64_t before = picturePos;
        if (!FindStartDown(file, picturePos, observer)) break;
        // Backward never finds the current picture again.
        Check(picturePos <= before - 4);
        Check(file.readPosition() == picturePos);
        CheckState(file, picturePos);
        readPicture();
    }
    return 0;
}
