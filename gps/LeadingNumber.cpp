#include "gps/LeadingNumber.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <system_error>

namespace droskal {

namespace {
bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
}  // namespace

double LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t mantissa = i;
    bool digits = false;
    while (i < text.size() && IsDigit(text[i])) digits = true, ++i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) digits = true, ++i;
    }
    if (!digits) return 0;
    bool negativeExponent = false;
    if (i + 1 < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        std::size_t e = i + 1;
        if (text[e] == '+' || text[e] == '-') negativeExponent = text[e++] == '-';
        if (e < text.size() && IsDigit(text[e])) {
            while (e < text.size() && IsDigit(text[e])) ++e;
            i = e;
        } else {
            negativeExponent = false;
        }
    }
    // from_chars takes no leading "+"; the sign is applied here.
    double value = 0;
    const auto result = std::from_chars(text.data() + mantissa, text.data() + i, value);
    if (result.ec == std::errc::result_out_of_range) {
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

}  // namespace droskal
