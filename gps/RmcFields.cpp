#include "gps/RmcFields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace droskal {

namespace {

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// The whole field must be the number: a half-read field is a damaged sentence, not a value.
// from_chars also takes "nan" and "inf", which no receiver sends; those are not numbers here.
// The value is only written when the field is one.
bool ParseNumber(std::string_view s, double& value) {
    if (s.empty() || (!(s[0] >= '0' && s[0] <= '9') && s[0] != '.')) return false;
    const char* end = s.data() + s.size();
    double parsed = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), end, parsed, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

int TwoDigits(std::string_view s) {
    return (s[0] - '0') * 10 + (s[1] - '0');
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ParseTime(std::string_view s, double& secondsOfDay) {
    const std::size_t dot = s.find('.');
    const std::string_view whole = s.substr(0, dot);
    if (whole.size() != 6 || !AllDigits(whole)) return false;
    double fraction = 0;
    if (dot != std::string_view::npos) {
        const std::string_view digits = s.substr(dot + 1);
        if (!digits.empty() && !AllDigits(digits)) return false;
        double scale = 0.1;
        for (char c : digits) {
            fraction += (c - '0') * scale;
            scale /= 10;
        }
    }
    const int h = TwoDigits(whole), m = TwoDigits(whole.substr(2)),
              sec = TwoDigits(whole.substr(4));
    if (h > 23 || m > 59 || sec > 60) return false;  // 60: leap second
    secondsOfDay = h * 3600.0 + m * 60.0 + sec + fraction;
    return true;
}

bool ParseDate(std::string_view s, RmcSentence& out) {
    if (s.size() != 6 || !AllDigits(s)) return false;
    const int d = TwoDigits(s), m = TwoDigits(s.substr(2)), y = TwoDigits(s.substr(4));
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
    out.day = d;
    out.month = m;
    out.year = 2000 + y;
    return true;
}

// ddmm.mmmm / dddmm.mmmm with its hemisphere letter.
bool ParseAngle(std::string_view field, std::string_view hemisphere, char positive, char negative,
                double limit, double& degrees) {
    double raw = 0;
    if (!ParseNumber(field, raw)) return false;
    // Far beyond any angle: the whole degrees would not even fit the integer cast below.
    if (raw / 100 > limit + 1) return false;
    const double whole = static_cast<double>(static_cast<long long>(raw / 100));
    const double minutes = raw - whole * 100;
    if (minutes >= 60) return false;
    degrees = whole + minutes / 60;
    if (degrees > limit) return false;
    if (hemisphere.size() != 1) return false;
    if (hemisphere[0] == negative) {
        degrees = -degrees;
    } else if (hemisphere[0] != positive) {
        return false;
    }
    return true;
}

long long DaysFromCivil(int y, int m, int d) {
    // Howard Hinnant's days_from_civil, relative to 1970-01-01.
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = static_cast<unsigned>((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

double RmcSentence::secondsSince2000() const {
    return static_cast<double>(DaysFromCivil(year, month, day) - DaysFromCivil(2000, 1, 1)) *
               86400.0 +
           secondsOfDay;
}

RmcResult ParseRmcFields(std::string_view text, RmcSentence& sentence) {
    sentence = RmcSentence{};
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '\0')) {
        text.remove_suffix(1);
    }
    // "$" + two-letter talker + "RMC": GP, GN, GL ... all mean the same fields.
    if (text.size() < 7 || text[0] != '$' || text.substr(3, 4) != "RMC,") return RmcResult::NotRmc;

    std::string_view body = text.substr(1);
    if (const std::size_t star = body.find('*'); star != std::string_view::npos) {
        const std::string_view given = body.substr(star + 1);
        unsigned sum = 0;
        for (char c : body.substr(0, star)) sum ^= static_cast<unsigned char>(c);
        if (given.size() != 2 || HexDigit(given[0]) < 0 || HexDigit(given[1]) < 0 ||
            static_cast<unsigned>(HexDigit(given[0]) * 16 + HexDigit(given[1])) != sum) {
            return RmcResult::BadChecksum;
        }
        body = body.substr(0, star);
    }

    std::vector<std::string_view> f;
    for (std::size_t start = 0;;) {
        const std::size_t comma = body.find(',', start);
        f.push_back(body.substr(start, comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    f.resize(std::max<std::size_t>(f.size(), 10));  // missing trailing fields read as empty

    sentence.hasTime = ParseTime(f[1], sentence.secondsOfDay);
    if (f[2].size() == 1) sentence.status = f[2][0];
    double lat = 0, lon = 0;
    sentence.hasPosition =
        ParseAngle(f[3], f[4], 'N', 'S', 90, lat) && ParseAngle(f[5], f[6], 'E', 'W', 180, lon);
    if (sentence.hasPosition) {
        sentence.latitude = lat;
        sentence.longitude = lon;
    }
    sentence.hasSpeed = ParseNumber(f[7], sentence.speedKnots);
    sentence.hasCourse = ParseNumber(f[8], sentence.course);
    sentence.hasDate = ParseDate(f[9], sentence);
    return RmcResult::Ok;
}

}  // namespace droskal
