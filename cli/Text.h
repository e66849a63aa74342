#pragma once

#include <string>
#include <string_view>

#include "gps/RmcFields.h"

namespace droskal::cli {

// File names may hold any bytes; XML and HTML need valid UTF-8 without control characters.
// Invalid sequences and controls (but tab and line breaks) become U+FFFD; XmlEscape then
// escapes the markup characters.
std::string CleanText(std::string_view text);
std::string XmlEscape(std::string_view text);

// Locale-independent fixed-point text.
std::string Fixed(double value, int decimals);
// The value rounded to the decimals, for JSON writers that print the shortest exact form.
double Rounded(double value, int decimals);

// "2006-03-30T22:34:16Z", with milliseconds when the time has a fraction; empty without
// both date and time.
std::string IsoUtc(const RmcSentence& sentence);

}  // namespace droskal::cli
