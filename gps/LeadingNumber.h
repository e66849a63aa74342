#pragma once

#include <string_view>

namespace droskal {

// The leading decimal number of a sentence field: leading blanks are skipped, then an
// optional sign, digits with at most one "." and an optional exponent (E, optional sign,
// digits) are read up to the first character that cannot continue the number. No number
// gives 0; a number beyond the range of a double gives an infinity of its sign.
// Unlike Droskal.ini values, blanks inside, "&H" / "&O" and "D" exponents end the number.
double LeadingNumber(std::string_view text);

}  // namespace droskal
