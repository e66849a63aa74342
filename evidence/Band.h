#pragma once

// The caption band burned into the bottom of every picture of the clip: what it says and where
// it lies. Drawing the text is Qt's job (QtBand.h); this part stays plain.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gps/RmcFields.h"

namespace droskal::evidence {

// Rows [top, top + height) of the picture; never more than the bottom 15 %, and an even
// number of rows from an even row, so no chroma sample mixes band and picture.
struct BandPlace {
    int top = 0;
    int height = 0;
};
BandPlace BandFor(int pictureHeight);

struct PictureCaption {
    std::optional<RmcSentence> sentence;  // the picture's sentence when it parsed
    std::string fileName;
    std::int64_t pictureNumber = 0;  // 1-based in its file
};

// "2006-03-30 22:34:16" (UTC), empty without date and time.
std::string DateTimeText(const RmcSentence& s);

// The band's three lines (UTF-8): time with its zone, position and speed, file and picture.
// Times are shown in UTC, named so, until the window has a time-zone setting.
std::vector<std::string> CaptionLines(const PictureCaption& caption);

// Draws the lines into `rgb` (width x height, 3 bytes a pixel, rows top-down).
using BandPainter = std::function<void(const std::vector<std::string>& lines, int width, int height,
                                       std::uint8_t* rgb)>;

}  // namespace droskal::evidence
