#include "gps/Nmea.h"

#include <charconv>
#include <cmath>
#include <string>

#include "gps/LeadingNumber.h"

namespace droskal {

namespace {

// 1-based helpers over the text, as the fixed places are given.
class Text {
  public:
    explicit Text(std::string_view t) : t_(t) {}

    // Position of the first comma at or after s, 0 when there is none.
    std::size_t comma(std::size_t s) const {
        if (s < 1 || s > t_.size()) return 0;
        const std::size_t i = t_.find(',', s - 1);
        return i == std::string_view::npos ? 0 : i + 1;
    }

    // n characters from position p, fewer or none near the end.
    std::string_view part(std::size_t p, std::size_t n) const {
        if (p < 1 || p > t_.size()) return {};
        return t_.substr(p - 1, n);
    }

  private:
    std::string_view t_;
};

// Always a whole number in plain digits; a speed too large to be one (a damaged sentence)
// shows nothing rather than an exponent or "inf".
std::string SpeedCaption(double knots) {
    const double kmh = std::floor(knots * 1.852 + 0.5);
    constexpr double kLargestShown = 1e15;
    if (!(kmh > -kLargestShown && kmh < kLargestShown)) return {};
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(kmh));
    std::string caption(digits, result.ptr);
    caption += " km/h";
    return caption;
}

}  // namespace

bool ParseNmea(std::string_view nmeaText, NmeaDisplay& d) {
    d.gpsValid = false;
    if (nmeaText.substr(0, 6) != "$GPRMC") {
        d.lblTime.clear();
        d.lblSpeed.clear();
        return false;
    }

    const Text t(nmeaText);
    if (t.comma(8) == 0) return true;

    std::string time;
    time.append(t.part(8, 2)).append(":").append(t.part(10, 2)).append(":").append(t.part(12, 2));
    d.lblTime = time;

    if (t.part(19, 1) == "A") d.gpsValid = true;

    const std::size_t c1 = t.comma(21);
    if (c1 == 0) return true;
    d.gpsLat = std::string(t.part(21, c1 - 21));

    const std::size_t c2 = t.comma(c1 + 1);  // after the N/S letter
    if (c2 == 0) return true;
    const std::size_t c3 = t.comma(c2 + 1);
    if (c3 == 0) return true;
    d.gpsLon = std::string(t.part(c2 + 1, c3 - c2 - 1));

    const std::size_t c4 = t.comma(c3 + 1);  // after the E/W letter
    if (c4 == 0) return true;
    const std::size_t c5 = t.comma(c4 + 1);
    if (c5 == 0) return true;
    d.lblSpeed = SpeedCaption(LeadingNumber(t.part(c4 + 1, c5 - c4 - 1)));

    const std::size_t c6 = t.comma(c5 + 1);  // after the course
    if (c6 == 0) return true;

    std::string dated;
    dated.append(t.part(c6 + 1, 2)).append(".").append(t.part(c6 + 3, 2)).append(".20");
    dated.append(t.part(c6 + 5, 2)).append("  ").append(d.lblTime);
    d.lblTime = std::move(dated);
    return true;
}

}  // namespace droskal
