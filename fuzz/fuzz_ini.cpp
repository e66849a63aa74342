// Arbitrary bytes as Droskal.ini: item splitting, every item through the parameter parse,
// the calibration from the values, and the number reader on each item.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/IniFile.h"
#include "config/ValNumber.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace droskal;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniValues values;
    std::size_t total = 0;
    for (const std::string& item : ReadIniItems(text)) {
        total += item.size();
        GetIniParam(item, values);
        (void)ValNumber(item);
    }
    // Items are pieces of the text: together never longer than it.
    if (total > size) __builtin_trap();
    if (const auto calibration = CalibrationFrom(values)) {
        if (!std::isfinite(calibration->latScale) || !std::isfinite(calibration->lonScale) ||
            calibration->latScale == 0 || calibration->lonScale == 0) {
            __builtin_trap();
        }
    }
    (void)ValNumber(text);
    return 0;
}
