#pragma once

#include <string>
#include <string_view>

namespace droskal {

// What a sentence sets in the window: the two captions and the GPS fields. Passed in and out,
// because a sentence cut short keeps what the previous ones set.
struct NmeaDisplay {
    std::string lblTime;   // "dd.mm.20yy  hh:mm:ss", or only the time when the date is missing
    std::string lblSpeed;  // "<km/h> km/h"
    std::string gpsLat;    // ddmm.mmmm as written
    std::string gpsLon;    // dddmm.mmmm as written
    bool gpsValid = false;
};

// Parses the user-data text of a picture into `display`; returns true when the GPS labels must
// be shown (GpsOn), i.e. when the text is a "$GPRMC" sentence.
//
// The recorder's sentences have fixed places (time from character 8, status at 19, latitude
// from 21); the later fields are found by counting commas and the parse stops, keeping what it
// has set, at the first comma missing. Checksum and hemisphere letters are not read.
// A text that is not a "$GPRMC" sentence empties both captions and clears gpsValid but leaves
// the position alone: reading one at fixed places would only pick up unrelated characters.
bool ParseNmea(std::string_view nmeaText, NmeaDisplay& display);

}  // namespace droskal
