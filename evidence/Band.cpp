#include "evidence/Band.h"

#include <cmath>
#include <cstdio>

#include "cli/Geo.h"
#include "cli/Text.h"

namespace droskal::evidence {

BandPlace BandFor(int pictureHeight) {
    const int height = pictureHeight * 15 / 100 / 2 * 2;
    return {pictureHeight - height, height};
}

std::string DateTimeText(const RmcSentence& s) {
    if (!s.hasDate || !s.hasTime) return {};
    const int whole = static_cast<int>(std::floor(s.secondsOfDay));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", s.year, s.month, s.day,
                  whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

std::vector<std::string> CaptionLines(const PictureCaption& caption) {
    std::vector<std::string> lines;
    const RmcSentence* s = caption.sentence ? &*caption.sentence : nullptr;
    const std::string time = s ? DateTimeText(*s) : std::string();
    lines.push_back(time.empty() ? "czas: brak" : time + " UTC");
    std::string place;
    if (s && s->validFix()) {
        place = cli::Fixed(std::fabs(s->latitude), 6) + (s->latitude < 0 ? " S  " : " N  ") +
                cli::Fixed(std::fabs(s->longitude), 6) + (s->longitude < 0 ? " W" : " E");
    } else {
        place = "pozycja: brak";
    }
    if (s && s->validFix() && s->hasSpeed) {
        place += "   " + cli::Fixed(s->speedKnots * cli::kKmPerNauticalMile, 1) + " km/h";
    }
    lines.push_back(place);
    lines.push_back("plik " + caption.fileName + ", obraz " +
                    std::to_string(caption.pictureNumber));
    return lines;
}

}  // namespace droskal::evidence
