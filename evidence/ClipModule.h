#pragma once

// What the pack takes from FFmpeg's libraries, as the module libdroskal_clip.so provides it:
// the H.264/MP4 encoder and libswscale's picture conversions. libavcodec and libavformat
// bring about a hundred and twenty shared libraries with them; loading those costs some
// 40 ms of CPU at every start, more than decoding a short recording, and only the pack needs
// them. So they stay out of the programs, and the module is loaded by the first pack.

#include <cstdint>
#include <string>
#include <vector>

#include "evidence/PackFolder.h"

namespace droskal::evidence {

struct PictureRate {
    int num = 25;
    int den = 1;
};

// A picture as planes: Y width x height, Cb and Cr at half size each way, rows top-down.
struct Yuv420 {
    const std::uint8_t* y;
    const std::uint8_t* cb;
    const std::uint8_t* cr;
};

class ClipEncoder {
  public:
    virtual ~ClipEncoder() = default;
    // `out` must outlive the encoder; `encoderName` gets the name of the codec in use.
    virtual bool open(PackOutput& out, int width, int height, PictureRate rate,
                      std::string& encoderName, std::string& error) = 0;
    virtual bool addPicture(const Yuv420& picture, std::string& error) = 0;
    // Drains the encoder and writes the index; the output is then complete (not closed).
    virtual bool finish(std::string& error) = 0;
};

// RGB pictures (the band, the inset) burned into a YUV 4:2:0 picture at an even place.
class RgbBurner {
  public:
    virtual ~RgbBurner() = default;
    // yuv: Y, then Cb, then Cr planes of the whole picture.
    virtual void burn(const std::uint8_t* rgb, int left, int top,
                      std::vector<std::uint8_t>& yuv) const = 0;
};

// Whole YUV 4:2:0 pictures (planes as above) into BGR rows bottom-up, as the PNG writer
// takes them.
class BgrConverter {
  public:
    virtual ~BgrConverter() = default;
    virtual std::vector<std::uint8_t> toBgrBottomUp(const std::vector<std::uint8_t>& yuv) const = 0;
};

// The module's makers; each gives nullptr when the library refuses the sizes. The caller owns
// what it gets.
struct ClipModule {
    ClipEncoder* (*makeEncoder)();
    // A `width` x `height` RGB picture into a `pictureWidth` x `pictureHeight` one.
    RgbBurner* (*makeRgbBurner)(int pictureWidth, int pictureHeight, int width, int height);
    BgrConverter* (*makeBgrConverter)(int width, int height);
};

// The module's one entry point, looked up by this name: its table of makers.
using ClipModuleEntry = const ClipModule* (*)();
inline constexpr const char* kClipModuleEntry = "DroskalClipModule";

}  // namespace droskal::evidence
