// Arbitrary user-data text through the sentence parse of the window (and the track export's
// field parse when it exists).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "gps/Nmea.h"
#if defined(DROSKAL_HAVE_RMC_FIELDS)
#include "gps/RmcFields.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace droskal;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    NmeaDisplay display;
    const bool sentence = ParseNmea(text, display);
    // A text shorter than the sentence name cannot be one.
    if (sentence && size < 6) __builtin_trap();
    // Fields are cut from the text, never made longer than it.
    if (display.gpsLat.size() > size || display.gpsLon.size() > size) __builtin_trap();
    // A second parse starting from what the first left must not trip over its own output.
    ParseNmea(text, display);
#if defined(DROSKAL_HAVE_RMC_FIELDS)
    RmcSentence rmc;
    if (ParseRmcFields(text, rmc) == RmcResult::Ok) {
        if (!std::isfinite(rmc.latitude) || !std::isfinite(rmc.longitude) ||
            !std::isfinite(rmc.secondsOfDay) || !std::isfinite(rmc.speedKnots) ||
            !std::isfinite(rmc.course)) {
            __builtin_trap();
        }
        if (rmc.hasDate && rmc.hasTime) (void)rmc.secondsSince2000();
    }
#endif
    return 0;
}
