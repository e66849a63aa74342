#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gps/Nmea.h"

namespace droskal {
namespace {

const char* const kExample = "$GPRMC,223416.000,A,5212.3456,N,02101.2345,E,12.3,45.6,300306,,";

struct Expect {
    std::string lblTime, lblSpeed, gpsLat, gpsLon;
    bool gpsValid, gpsOn;
};

void Check(const std::string& text, const NmeaDisplay& start, const Expect& e) {
    SCOPED_TRACE(text);
    NmeaDisplay d = start;
    EXPECT_EQ(ParseNmea(text, d), e.gpsOn);
    EXPECT_EQ(d.lblTime, e.lblTime);
    EXPECT_EQ(d.lblSpeed, e.lblSpeed);
    EXPECT_EQ(d.gpsLat, e.gpsLat);
    EXPECT_EQ(d.gpsLon, e.gpsLon);
    EXPECT_EQ(d.gpsValid, e.gpsValid);
}

NmeaDisplay Previous() { return {"prev time", "prev speed", "prevLat", "prevLon", true}; }

TEST(Nmea, RecorderSentences) {
    const struct {
        std::string text;
        Expect e;
    } cases[] = {
        {kExample, {"30.03.2006  22:34:16", "23 km/h", "5212.3456", "02101.2345", true, true}},
        {"$GPRMC,223416.000,V,5212.3456,N,02101.2345,E,12.3,45.6,300306,,",
         {"30.03.2006  22:34:16", "23 km/h", "5212.3456", "02101.2345", false, true}},
        {"$GPRMC,223416.000,A,5212.3456,N,02101.2345,E,0.27,45.6,300306,,",
         {"30.03.2006  22:34:16", "1 km/h", "5212.3456", "02101.2345", true, true}},
        {"$GPRMC,223416.000,A,5212.3456,N,02101.2345,E,0.26,45.6,300306,,",
         {"30.03.2006  22:34:16", "0 km/h", "5212.3456", "02101.2345", true, true}},
        {"$GPRMC,223416.000,A,5212.3456,N,02101.2345,E,,45.6,300306,,",
         {"30.03.2006  22:34:16", "0 km/h", "5212.3456", "02101.2345", true, true}},
        {"$GPRMC,223416.000,A,5212.3456,N,02101.2345,E,  7.5x,45.6,010199,,",
         {"01.01.2099  22:34:16", "14 km/h", "5212.3456", "02101.2345", true, true}},
        // A seven-character time field moves the status and latitude places.
        {"$GPRMC,2234160,A,5212.3456,N,02101.2345,E,12.3,45.6,300306,,",
         {"30.03.2006  22:34:16", "23 km/h", "2.3456", "02101.2345", false, true}},
        // Date field cut short: parts near the end come out shorter.
        {"$GPRMC,223416.000,A,5212.3456,N,02101.2345,E,12.3,45.6,3003",
         {"30.03.20  22:34:16", "23 km/h", "5212.3456", "02101.2345", true, true}},
    };
    for (const auto& c : cases) Check(c.text, Previous(), c.e);
}

TEST(Nmea, CutShortAtEachComma) {
    // The example cut just before its n-th comma from position 8 keeps what was set so far.
    const std::string full = kExample;
    std::vector<std::size_t> commas;
    for (std::size_t i = 7; i < full.size(); ++i) {
        if (full[i] == ',') commas.push_back(i);
    }
    const Expect expected[] = {
        {"prev time", "prev speed", "prevLat", "prevLon", false, true},            // no comma from 8
        {"22:34:16", "prev speed", "prevLat", "prevLon", true, true},              // stops at c1... status read
        {"22:34:16", "prev speed", "prevLat", "prevLon", true, true},              // no comma after lat
        {"22:34:16", "prev speed", "5212.3456", "prevLon", true, true},            // no c2
        {"22:34:16", "prev speed", "5212.3456", "prevLon", true, true},            // no c3
        {"22:34:16", "prev speed", "5212.3456", "02101.2345", true, true},         // no c4
        {"22:34:16", "prev speed", "5212.3456", "02101.2345", true, true},         // no c5
        {"22:34:16", "23 km/h", "5212.3456", "02101.2345", true, true},            // no c6
        {"30.03.2006  22:34:16", "23 km/h", "5212.3456", "02101.2345", true, true},
    };
    ASSERT_EQ(commas.size(), 10u);
    for (std::size_t n = 0; n < std::size(expected); ++n) {
        const std::string cut = n < commas.size() ? full.substr(0, commas[n]) : full;
        Check(cut, Previous(), expected[n]);
    }
}

TEST(Nmea, TextsThatAreNoSentence) {
    const Expect noSentence{"", "", "prevLat", "prevLon", false, false};
    for (const std::string& text :
         {std::string(), std::string("\xB2q\0\0\x01", 5), std::string("GPRMC,223416.000,A,5212.3456,N,02101.2345,E,12.3"),
          std::string("$GPGGA,223416.000,5212.3456,N,02101.2345,E,1,08,0.9,545.4,M,46.9,M,,"),
          std::string("$gprmc,223416.000,A,5212.3456,N,02101.2345,E,12.3,45.6,300306,,")}) {
        Check(text, Previous(), noSentence);
    }
}

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == ',') out.emplace_back();
        else out.back().push_back(c);
    }
    return out;
}

TEST(Nmea, RealReceiverSentences) {
    std::ifstream in(DROSKAL_TEST_DATA "/nmea/gpsd-zeus9-rmc.txt");
    ASSERT_TRUE(in);
    // Speeds worked out by hand: floor(knots x 1.852 + 0.5).
    const char* const speeds[] = {"10 km/h", "11 km/h", "11 km/h", "10 km/h", "12 km/h", "10 km/h",
                                  "12 km/h", "10 km/h", "12 km/h", "11 km/h", "11 km/h", "10 km/h"};
    std::string line;
    std::size_t n = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ASSERT_LT(n, std::size(speeds));
        const std::vector<std::string> f = Split(line);
        const std::string date = f[9].substr(0, 2) + "." + f[9].substr(2, 2) + ".20" + f[9].substr(4, 2);
        const std::string time = f[1].substr(0, 2) + ":" + f[1].substr(2, 2) + ":" + f[1].substr(4, 2);

        // As logged, the 6-character time field shifts the fixed places; in the recorder's
        // shape (10-character time) every field lands in place.
        for (bool recorderShape : {false, true}) {
            std::string text = line;
            if (recorderShape) text.insert(13, ".000");
            NmeaDisplay d;
            EXPECT_TRUE(ParseNmea(text, d));
            EXPECT_EQ(d.lblTime, date + "  " + time);
            EXPECT_EQ(d.lblSpeed, speeds[n]);
            EXPECT_EQ(d.gpsValid, recorderShape) << text;
            EXPECT_EQ(d.gpsLat, recorderShape ? f[3] : f[3].substr(4));
            EXPECT_EQ(d.gpsLon, f[5]);
        }
        ++n;
    }
    EXPECT_EQ(n, std::size(speeds));
}

}  // namespace
}  // namespace droskal
