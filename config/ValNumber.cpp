#include "config/ValNumber.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace droskal {

namespace {

bool IsSkipped(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Hands out the characters of the text with the skipped ones left out.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) { skip(); }
    bool atEnd() const { return i_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[i_]; }
    void next() {
        ++i_;
        skip();
    }

  private:
    void skip() {
        while (i_ < text_.size() && IsSkipped(text_[i_])) ++i_;
    }
    std::string_view text_;
    std::size_t i_ = 0;
};

int RadixDigit(char c, int radix) {
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d >= 0 && d < radix ? d : -1;
}

// &H / &O integers take the smallest of 16 or 32 bits that holds the digits, as signed values
// (so &HFFFF is -1, the way the old BASIC read it). Wider values are taken unsigned.
double RadixInteger(Cursor& c, int radix) {
    std::uint64_t value = 0;
    bool overflow = false;
    for (int d; (d = RadixDigit(c.peek(), radix)) >= 0; c.next()) {
        if (value > (std::numeric_limits<std::uint64_t>::max() >> 4)) overflow = true;
        value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(d);
    }
    if (overflow) return std::numeric_limits<double>::infinity();
    if (value <= 0xFFFF) return static_cast<double>(static_cast<std::int16_t>(value));
    if (value <= 0xFFFFFFFFu) return static_cast<double>(static_cast<std::int32_t>(value));
    return static_cast<double>(value);
}

}  // namespace

double ValNumber(std::string_view text) {
    Cursor c(text);
    if (c.peek() == '&') {
        c.next();
        const char kind = c.peek();
        if (kind == 'H' || kind == 'h') {
            c.next();
            return RadixInteger(c, 16);
        }
        if (kind == 'O' || kind == 'o') {
            c.next();
            return RadixInteger(c, 8);
        }
        return 0.0;
    }

    // Gather a clean copy for from_chars, which is locale-free.
    std::string number;
    bool negative = false;
    if (c.peek() == '+' || c.peek() == '-') {
        negative = c.peek() == '-';
        c.next();
    }
    bool anyDigit = false;
    bool nonZeroDigit = false;
    long long firstDigitExponent = 0;  // decimal exponent of the first non-zero digit
    long long intDigits = 0;
    for (; IsDigit(c.peek()); c.next()) {
        if (c.peek() != '0' && !nonZeroDigit) nonZeroDigit = true;
        if (nonZeroDigit) ++intDigits;
        number.push_back(c.peek());
        anyDigit = true;
    }
    firstDigitExponent = intDigits - 1;
    if (c.peek() == '.') {
        number.push_back('.');
        c.next();
        long long fracIndex = 0;
        for (; IsDigit(c.peek()); c.next()) {
            ++fracIndex;
            if (!nonZeroDigit && c.peek() != '0') {
                nonZeroDigit = true;
                firstDigitExponent = -fracIndex;
            }
            number.push_back(c.peek());
            anyDigit = true;
        }
    }
    if (!anyDigit) return 0.0;
    if (!nonZeroDigit) return 0.0;

    long long exponent = 0;
    const char e = c.peek();
    if (e == 'E' || e == 'e' || e == 'D' || e == 'd') {
        c.next();
        bool expNegative = false;
        if (c.peek() == '+' || c.peek() == '-') {
            expNegative = c.peek() == '-';
            c.next();
        }
        for (; IsDigit(c.peek()); c.next()) {
            if (exponent < 100000000) exponent = exponent * 10 + (c.peek() - '0');
        }
        if (expNegative) exponent = -exponent;
    }

    // A mantissa of "1." is fine for from_chars, one of "." alone was excluded above.
    number += 'e';
    number += std::to_string(exponent);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::scientific);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        value = firstDigitExponent + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace droskal
