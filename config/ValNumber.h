#pragma once

#include <string_view>

namespace droskal {

// The leading number of a text, as Droskal.ini values and NMEA fields are read:
// blanks, tabs and line feeds anywhere are ignored; an optional sign, digits, one "." and an
// optional exponent (E or D, optional sign) are taken up to the first other character;
// "&H" / "&O" start a hexadecimal / octal integer. No number gives 0. "." is the decimal
// separator whatever the locale.
double ValNumber(std::string_view text);

}  // namespace droskal
