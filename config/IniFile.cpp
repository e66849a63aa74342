#include "config/IniFile.h"

#include <cmath>
#include <limits>

#include "config/ValNumber.h"

namespace droskal {

namespace {

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// Steps over one line end at i (\r\n counts as one).
std::size_t SkipLineEnd(std::string_view text, std::size_t i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') return i + 2;
    return i + 1;
}

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

float ToFloat(double v) {
    // Out-of-range doubles would be undefined behaviour when narrowed.
    constexpr double kMax = std::numeric_limits<float>::max();
    if (v > kMax) return std::numeric_limits<float>::infinity();
    if (v < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

}  // namespace

std::vector<std::string> ReadIniItems(std::string_view text) {
    std::vector<std::string> items;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
        std::string item;
        if (i < n && text[i] == '"') {
            const std::size_t start = ++i;
            while (i < n && text[i] != '"' && !IsLineEnd(text[i])) ++i;
            item.assign(text.substr(start, i - start));
            if (i < n && text[i] == '"') ++i;
            while (i < n && text[i] != ',' && !IsLineEnd(text[i])) ++i;
        } else {
            const std::size_t start = i;
            while (i < n && text[i] != ',' && !IsLineEnd(text[i])) ++i;
            item.assign(text.substr(start, i - start));
        }
        items.push_back(std::move(item));
        if (i >= n) break;
        if (text[i] == ',') {
            ++i;
            // "a," at the very end of the file still closes an (empty) item.
            if (i >= n) items.emplace_back();
        } else {
            i = SkipLineEnd(text, i);
        }
    }
    return items;
}

std::optional<std::string> GetIniParam(std::string_view param, IniValues& values) {
    if (param.empty()) return std::nullopt;
    const std::size_t eq = param.find('=');
    if (eq == std::string_view::npos) return std::string(kIniErrorMessage);

    const std::string_view key = param.substr(0, eq);
    const std::string_view value = param.substr(eq + 1);
    const std::string upper = UpperAscii(key);

    float* field = nullptr;
    if (upper == "PLAYSPEED1")
        field = &values.playDelay;
    else if (upper == "MAPLAT1")
        field = &values.mapLat1;
    else if (upper == "MAPLAT2")
        field = &values.mapLat2;
    else if (upper == "MAPLON1")
        field = &values.mapLon1;
    else if (upper == "MAPLON2")
        field = &values.mapLon2;

    if (field == nullptr) {
        std::string message(kIniUnknownMessagePrefix);
        message.append(key);
        message.push_back('\'');
        return message;
    }
    *field = ToFloat(ValNumber(value));
    return std::nullopt;
}

MapCalibration DefaultCalibration() {
    MapCalibration c;
    c.mapLat1 = 52.41674f;
    c.mapLat2 = 52.80114f;
    c.mapLon1 = 20.79139f;
    c.mapLon2 = 20.2325f;
    c.playDelay = 0.1f;
    c.lonScale = 7327.0f;
    c.latScale = 10653.0f;
    return c;
}

std::optional<MapCalibration> CalibrationFrom(const IniValues& v) {
    if (v.mapLat1 == 0.0f || v.mapLat2 == 0.0f || v.mapLon1 == 0.0f || v.mapLon2 == 0.0f ||
        v.playDelay == 0.0f) {
        return std::nullopt;
    }
    // Single-precision differences and quotients, as the values are stored.
    const float latSpan = v.mapLat2 - v.mapLat1;
    const float lonSpan = v.mapLon1 - v.mapLon2;
    if (latSpan == 0.0f || lonSpan == 0.0f) return std::nullopt;
    MapCalibration c;
    c.playDelay = v.playDelay;
    c.mapLat1 = v.mapLat1;
    c.mapLat2 = v.mapLat2;
    c.mapLon1 = v.mapLon1;
    c.mapLon2 = v.mapLon2;
    c.latScale = 4095.0f / latSpan;
    c.lonScale = 4095.0f / lonSpan;
    if (!std::isfinite(c.latScale) || !std::isfinite(c.lonScale) || c.latScale == 0.0f ||
        c.lonScale == 0.0f || !std::isfinite(c.playDelay)) {
        return std::nullopt;
    }
    return c;
}

}  // namespace droskal
