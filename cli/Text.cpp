#include "cli/Text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace droskal::cli {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at s[i], 0 when it is not one.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned min = 0;
    if ((c & 0xE0) == 0xC0)
        n = 2, min = 0x80;
    else if ((c & 0xF0) == 0xE0)
        n = 3, min = 0x800;
    else if ((c & 0xF8) == 0xF0)
        n = 4, min = 0x10000;
    else
        return 0;
    if (i + n > s.size()) return 0;
    unsigned cp = c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

template <typename EscapeAscii>
std::string Sanitize(std::string_view text, EscapeAscii escape) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8Length(text, i);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else if (n == 1) {
            escape(text[i], out);
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace

std::string XmlEscape(std::string_view text) {
    return Sanitize(text, [](char c, std::string& out) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                // XML 1.0 forbids most control characters even as references.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                    out += kReplacement;
                } else {
                    out += c;
                }
        }
    });
}

std::string CleanText(std::string_view text) {
    return Sanitize(text, [](char c, std::string& out) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out += kReplacement;
        } else {
            out += c;
        }
    });
}

std::string Fixed(double value, int decimals) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string s(buf, r.ptr);
    if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-') s.erase(0, 1);  // no "-0.0"
    return s;
}

double Rounded(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

std::string IsoUtc(const RmcSentence& s) {
    if (!s.hasDate || !s.hasTime) return {};
    const long long ms = std::llround(s.secondsOfDay * 1000);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02lld:%02lld:%02lld", s.year, s.month, s.day,
                  ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
    std::string out = buf;
    if (ms % 1000 != 0) {
        std::snprintf(buf, sizeof buf, ".%03lld", ms % 1000);
        out += buf;
    }
    return out + "Z";
}

}  // namespace droskal::cli
