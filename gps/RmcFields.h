#pragma once

#include <cstdint>
#include <string_view>

namespace droskal {

// A recommended-minimum sentence ($--RMC) read field by field, for track export. Unlike the
// window's fixed-place parse it takes a time field of any length, honours the hemisphere
// letters and checks the checksum when one is present.
struct RmcSentence {
    bool hasTime = false;
    double secondsOfDay = 0;  // UTC, fraction included
    bool hasDate = false;
    int year = 0;  // 2000 + yy, as the recorder's two-digit years are read everywhere else
    int month = 0;
    int day = 0;
    char status = 0;  // 'A' valid fix, 'V' warning, 0 when the field is empty
    bool hasPosition = false;
    double latitude = 0;   // degrees, south negative
    double longitude = 0;  // degrees, west negative
    bool hasSpeed = false;
    double speedKnots = 0;
    bool hasCourse = false;
    double course = 0;

    bool validFix() const { return status == 'A' && hasPosition; }
    // Seconds since 2000-01-01 UTC; only meaningful with both date and time.
    double secondsSince2000() const;
};

enum class RmcResult { NotRmc, BadChecksum, Ok };

// `text` is a picture's collected user data. Trailing line ends and blanks are ignored.
RmcResult ParseRmcFields(std::string_view text, RmcSentence& sentence);

}  // namespace droskal
