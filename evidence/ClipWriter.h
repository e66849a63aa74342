#pragma once

// The clip: H.264 in MP4 through libavcodec and libavformat, written through a PackOutput.
// The encoder lives in a module of its own, loaded by the first pack (see ClipModule.h).

#include <memory>
#include <string>

#include "evidence/ClipModule.h"

namespace droskal::evidence {

// The module, loaded on the first call and kept; nullptr with `error` when it cannot be.
const ClipModule* LoadClipModule(std::string& error);

// The sequence header's picture_rate code (1..8); nullopt-like {0,0} for a reserved code.
PictureRate PictureRateFromCode(int code);

class ClipWriter {
  public:
    ClipWriter();
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    // `out` must outlive the writer. False with `error` when the encoder module cannot be
    // loaded or has no H.264 encoder at hand.
    bool open(PackOutput& out, int width, int height, PictureRate rate, std::string& error);
    bool addPicture(const Yuv420& picture, std::string& error);
    // Drains the encoder and writes the index; the output is then complete (not closed).
    bool finish(std::string& error);
    // Name of the encoder in use ("libx264" where Debian's libavcodec has it).
    const std::string& encoderName() const { return encoderName_; }

  private:
    std::unique_ptr<ClipEncoder> encoder_;
    std::string encoderName_;
};

}  // namespace droskal::evidence
