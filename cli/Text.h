#pragma once

#include <string>
#include <string_view>

#include "gps/RmcFields.h"

namespace droskal::cli {

// File names may hold any bytes; XML and JSON need valid UTF-8 without control characters.
// Invalid sequences and controls become U+FFFD before escaping.
std::string XmlEscape(std::string_view text);
std::string JsonString(std::string_view text);  // quoted

// Locale-independent fixed-point text.
std::string Fixed(double value, int decimals);

// "2006-03-30T22:34:16Z", with milliseconds when the time has a fraction; empty without
// both date and time.
std::string IsoUtc(const RmcSentence& sentence);

}  // namespace droskal::cli
