// Droskal.ini: the number rule, the items of a file, the keys and the calibration.
#include <bit>
#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/IniFile.h"
#include "config/ValNumber.h"

namespace droskal {
namespace {

TEST(ValNumber, NumberRule) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"52.5", 52.5},       {"  -3.25", -3.25},   {"+7", 7.0},      {"1 000.5", 1000.5},
        {"20.5 x", 20.5},     {"1\t2\n3", 123.0},   {"1.5D2", 150.0}, {"1.5d-1", 0.15},
        {"2E+3", 2000.0},     {"2e", 2.0},          {"2E-", 2.0},     {"3.4.5", 3.4},
        {".5", 0.5},          {"5.", 5.0},          {".", 0.0},       {"", 0.0},
        {"word", 0.0},        {"--5", 0.0},         {"- 5", -5.0},    {"52,5", 52.0},
        {"&H10", 16.0},       {"&h1f", 31.0},       {"&O17", 15.0},   {"&HFFFF", -1.0},
        {"&H10000", 65536.0}, {"&HFFFFFFFF", -1.0}, {"&Z1", 0.0},     {"&H", 0.0},
        {"1e400", INFINITY},  {"1e-400", 0.0},      {"0.000", 0.0},   {"12.3\r", 12.3},
        {"0.27", 0.27},       {"007", 7.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValNumber(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(ValNumber, DotWhateverTheLocale) {
    // A locale with a decimal comma must not change how "." is read.
    const char* const previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "pl_PL.UTF-8") == nullptr &&
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
    EXPECT_EQ(ValNumber("52.41674"), 52.41674);
    EXPECT_EQ(ValNumber("52,41674"), 52.0);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(IniItems, ListInputRule) {
    using V = std::vector<std::string>;
    const struct {
        std::string text;
        V items;
    } cases[] = {
        {"", V{}},
        {"A=1", V{"A=1"}},
        {"A=1\n", V{"A=1"}},
        {"A=1\r\nB=2\r\n", V{"A=1", "B=2"}},
        {"A=1\rB=2", V{"A=1", "B=2"}},
        {"A=1\n\nB=2", V{"A=1", "", "B=2"}},
        {"MAPLAT1=52,5", V{"MAPLAT1=52", "5"}},
        {"   \tMAPLAT1=52.5", V{"MAPLAT1=52.5"}},
        {"KEY = 1", V{"KEY = 1"}},
        {"\"A=1,2\",B", V{"A=1,2", "B"}},
        {"\"A=1\" tail,B", V{"A=1", "B"}},
        {"  \"quoted\"", V{"quoted"}},
        {"\"open quote\nB=2", V{"open quote", "B=2"}},
        {"\"open quote", V{"open quote"}},
        {"a,", V{"a", ""}},
        {"a,,b", V{"a", "", "b"}},
        {"   \n", V{""}},
        {std::string("A=\0\xFF", 4), V{std::string("A=\0\xFF", 4)}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadIniItems(c.text), c.items) << '"' << c.text << '"';
    }
}

// Runs a whole file through GetIniParam as start-up does.
struct FileResult {
    IniValues values;
    std::vector<std::string> messages;
};

FileResult ReadFile(const std::string& text) {
    FileResult r;
    for (const std::string& item : ReadIniItems(text)) {
        if (auto message = GetIniParam(item, r.values)) r.messages.push_back(*message);
    }
    return r;
}

const std::string kError = "Błąd w pliku *.ini !";
std::string Unknown(const std::string& key) {
    return "Nieznany parametr w pliku *.ini : '" + key + "'";
}

TEST(IniParam, FileEdgeCases) {
    const struct {
        const char* name;
        std::string text;
        float mapLat1, mapLon1, playDelay;
        std::vector<std::string> messages;
    } cases[] = {
        {"lower-case key", "maplat1=52.5", 52.5f, 0, 0, {}},
        {"blank before =", "MAPLAT1 = 52.5", 0, 0, 0, {Unknown("MAPLAT1 ")}},
        {"decimal comma", "MAPLAT1=52,5", 52.0f, 0, 0, {kError}},
        {"word as value", "PLAYSPEED1=fast", 0, 0, 0, {}},
        {"section and comment", "[Setup]\n; comment\nMAPLAT1=1", 1.0f, 0, 0, {kError, kError}},
        {"repeated key, last wins", "MAPLAT1=1\nMAPLAT1=3", 3.0f, 0, 0, {}},
        {"unknown key as written", "Zoom=2", 0, 0, 0, {Unknown("Zoom")}},
        {"value rounded to float", "MAPLAT1=52.41674", 52.41674f, 0, 0, {}},
        {"value beyond float", "MAPLAT1=1e300", INFINITY, 0, 0, {}},
        {"= in value", "MAPLAT1=4=5", 4.0f, 0, 0, {}},
        {"empty key", "=5", 0, 0, 0, {Unknown("")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FileResult r = ReadFile(c.text);
        EXPECT_EQ(r.values.mapLat1, c.mapLat1);
        EXPECT_EQ(r.values.mapLon1, c.mapLon1);
        EXPECT_EQ(r.values.playDelay, c.playDelay);
        EXPECT_EQ(r.messages, c.messages);
    }
    // All five keys reach their own fields.
    const IniValues all =
        ReadFile("PLAYSPEED1=0.2\nMAPLAT1=1\nMAPLAT2=2\nMAPLON1=3\nMAPLON2=4\n").values;
    EXPECT_EQ(
        (std::vector<float>{all.playDelay, all.mapLat1, all.mapLat2, all.mapLon1, all.mapLon2}),
        (std::vector<float>{0.2f, 1, 2, 3, 4}));
}

TEST(Calibration, DefaultsBitForBit) {
    const MapCalibration d = DefaultCalibration();
    const struct {
        float value;
        std::uint32_t bits;
    } fields[] = {{d.mapLat1, 0x4251AABE}, {d.mapLat2, 0x4253345E},   {d.mapLon1, 0x41A654C4},
                  {d.mapLon2, 0x41A1DC29}, {d.playDelay, 0x3DCCCCCD}, {d.lonScale, 0x45E4F800},
                  {d.latScale, 0x46267400}};
    for (const auto& f : fields)
        EXPECT_EQ(std::bit_cast<std::uint32_t>(f.value), f.bits) << f.value;
}

TEST(Calibration, FromFileValues) {
    const std::string defaults =
        "PLAYSPEED1=0.1\nMAPLAT1=52.41674\nMAPLAT2=52.80114\nMAPLON1=20.79139\nMAPLON2=20.2325\n";
    const auto c = CalibrationFrom(ReadFile(defaults).values);
    ASSERT_TRUE(c.has_value());
    // The formula, unlike the built-in defaults, gives the unrounded scales.
    EXPECT_NEAR(c->latScale, 10652.98, 0.01);
    EXPECT_NEAR(c->lonScale, 7327.03, 0.01);
    EXPECT_EQ(c->mapLat1, 52.41674f);

    const struct {
        const char* name;
        std::string text;
    } refused[] = {
        {"empty file", ""},
        {"missing key", "PLAYSPEED1=0.1\nMAPLAT1=52.4\nMAPLAT2=52.8\nMAPLON1=20.7\n"},
        {"zero value", "PLAYSPEED1=0\nMAPLAT1=52.4\nMAPLAT2=52.8\nMAPLON1=20.7\nMAPLON2=20.2\n"},
        {"text value", "PLAYSPEED1=x\nMAPLAT1=52.4\nMAPLAT2=52.8\nMAPLON1=20.7\nMAPLON2=20.2\n"},
        {"equal latitudes",
         "PLAYSPEED1=0.1\nMAPLAT1=52.4\nMAPLAT2=52.4\nMAPLON1=20.7\nMAPLON2=20.2\n"},
        {"equal longitudes",
         "PLAYSPEED1=0.1\nMAPLAT1=52.4\nMAPLAT2=52.8\nMAPLON1=20.7\nMAPLON2=20.7\n"},
        {"infinite value",
         "PLAYSPEED1=0.1\nMAPLAT1=1e300\nMAPLAT2=52.8\nMAPLON1=20.7\nMAPLON2=20.2\n"},
        {"scale overflow",
         "PLAYSPEED1=0.1\nMAPLAT1=1e-40\nMAPLAT2=2e-40\nMAPLON1=20.7\nMAPLON2=20.2\n"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(CalibrationFrom(ReadFile(r.text).values).has_value()) << r.name;
    }
}

}  // namespace
}  // namespace droskal
