#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace droskal {

// The five values of Droskal.ini; a key absent from the file leaves its value 0.
struct IniValues {
    float playDelay = 0.0f;
    float mapLat1 = 0.0f;
    float mapLat2 = 0.0f;
    float mapLon1 = 0.0f;
    float mapLon2 = 0.0f;
};

// Play speed and map calibration as start-up stores them: the file's values and the two
// scales derived from them.
struct MapCalibration : IniValues {
    float lonScale = 0.0f;
    float latScale = 0.0f;
};

// Message texts shown by the window (UTF-8).
inline constexpr std::string_view kIniErrorMessage = "Błąd w pliku *.ini !";
inline constexpr std::string_view kIniUnknownMessagePrefix = "Nieznany parametr w pliku *.ini : '";
inline constexpr std::string_view kIniMissingValuesMessage =
    "Brak wszytkich wartości w pliku *.ini !";

// Splits the file into items the way list input reads text: blanks and tabs at the start of
// an item are skipped; an item ends at a comma or a line end (\n, \r\n or a lone \r); an item
// that starts with a double quote ends at the next double quote and loses both quotes, and
// whatever follows the closing quote up to the next comma or line end is dropped. An
// unterminated quote ends at the end of its line. An empty line gives an empty item; a final
// line end adds no item.
std::vector<std::string> ReadIniItems(std::string_view fileText);

// Handles one item: stores a known key's value in `values`, rounded to float. Returns the
// message to show, if any: the error message for an item without "=", the unknown-parameter
// message with the key as written for an unknown key. Empty items are ignored.
std::optional<std::string> GetIniParam(std::string_view param, IniValues& values);

// The values without a configuration file. The scales are fixed values, not computed.
MapCalibration DefaultCalibration();

// The calibration from the file's values: nullopt when any value is 0 (the missing-values
// case), and also when a scale could not be formed (equal latitudes or longitudes, or values
// that make a scale infinite, NaN or 0), so the map never sees such a scale.
std::optional<MapCalibration> CalibrationFrom(const IniValues& values);

}  // namespace droskal
