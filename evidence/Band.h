#pragma once

// The caption band burned into the bottom of every picture of the clip, and the map inset in
// its top corner: what they say and where they lie. Drawing is Qt's job (QtBand.h, QtMap.h);
// this part only words and places.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/TimeOptions.h"
#include "gps/RmcFields.h"

namespace droskal::evidence {

// Rows [top, top + height) of the picture; never more than the bottom 15 %, and an even
// number of rows from an even row, so no chroma sample mixes band and picture.
struct BandPlace {
    int top = 0;
    int height = 0;
};
BandPlace BandFor(int pictureHeight);

// The map inset: a quarter of each side in the top-right corner, even-aligned like the band,
// so it stays clear of the band whatever the picture's size.
struct InsetPlace {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
InsetPlace InsetFor(int pictureWidth, int pictureHeight);

struct PictureCaption {
    std::optional<RmcSentence> sentence;  // the picture's sentence when it parsed
    std::string fileName;                 // the recording that holds it
    std::int64_t pictureNumber = 0;       // 1-based in that file
};

// "2006-03-30 22:34:16" (UTC), empty without date and time.
std::string DateTimeText(const RmcSentence& s);
// The time in the zone chosen, the zone named: "2006-03-31 00:34:16 Europe/Warsaw (UTC+02)",
// or "2006-03-30 22:34:16 UTC" without a zone; empty without date and time.
std::string ZonedTimeText(const RmcSentence& s, const cli::TimeOptions& time);
// "52.0 km/h" in the unit chosen.
std::string SpeedInUnit(double kmh, const cli::TimeOptions& time);

// The band's three lines (UTF-8): the time in the zone chosen and in UTC, position and
// speed, file and picture.
std::vector<std::string> CaptionLines(const PictureCaption& caption,
                                      const cli::TimeOptions& time = {});

// Draws the lines into `rgb` (width x height, 3 bytes a pixel, rows top-down).
using BandPainter = std::function<void(const std::vector<std::string>& lines, int width, int height,
                                       std::uint8_t* rgb)>;

}  // namespace droskal::evidence
