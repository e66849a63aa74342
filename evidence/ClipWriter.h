#pragma once

// The clip: H.264 in MP4 through libavcodec and libavformat, written through a PackOutput.

#include <cstdint>
#include <memory>
#include <string>

#include "evidence/PackFolder.h"

namespace droskal::evidence {

struct PictureRate {
    int num = 25;
    int den = 1;
};

// The sequence header's picture_rate code (1..8); nullopt-like {0,0} for a reserved code.
PictureRate PictureRateFromCode(int code);

// A picture as planes: Y width x height, Cb and Cr at half size each way, rows top-down.
struct Yuv420 {
    const std::uint8_t* y;
    const std::uint8_t* cb;
    const std::uint8_t* cr;
};

class ClipWriter {
  public:
    ClipWriter();
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    // `out` must outlive the writer. False with `error` when no H.264 encoder is at hand.
    bool open(PackOutput& out, int width, int height, PictureRate rate, std::string& error);
    bool addPicture(const Yuv420& picture, std::string& error);
    // Drains the encoder and writes the index; the output is then complete (not closed).
    bool finish(std::string& error);
    // Name of the encoder in use ("libx264" where Debian's libavcodec has it).
    const std::string& encoderName() const { return encoderName_; }

  private:
    struct State;
    bool drain(bool flush, std::string& error);
    std::unique_ptr<State> s_;
    std::string encoderName_;
};

}  // namespace droskal::evidence
