// droskal-cli's commands, run in-process on recordings built byte by byte.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>

#include <QByteArray>
#include <QImage>
#include <QXmlStreamReader>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TestRecordings.h"

namespace droskal {
namespace {

using namespace test;
using testing::HasSubstr;

// One fix per picture; lat in degrees north (negative south), lon east (negative west).
std::string Sentence(double seconds, double lat, double lon, const char* status = "A",
                     const char* knots = "10.0") {
    return test::Sentence(
        {.seconds = seconds, .lat = lat, .lon = lon, .knots = knots, .status = status});
}

const SequenceHeader kCif{.width = 320, .height = 240};

// A 320x240 picture, encoded once for all tests, with the given sentence.
RecorderPicture Picture(const std::string& sentence) {
    static const Bytes slice = EncodedPicture(320, 240, 4, 0);
    RecorderPicture p;
    if (!sentence.empty()) p.userData.push_back(RecorderUserData(sentence));
    p.slice = slice;
    return p;
}

TEST(CliInfo, FiguresOfARecordingWithKnownContent) {
    TempFolder dir;
    RecorderWriter w(kCif);
    const double t0 = 8 * 3600;
    w.addPicture(Picture(Sentence(t0 + 0, 52.000, 21.0, "A", "10.0")));  // 0
    w.addPicture(Picture(Sentence(t0 + 1, 52.001, 21.0, "A", "")));      // 1: no speed
    w.addPicture(Picture(""));                                           // 2: no user data
    RecorderPicture oversize = Picture(Sentence(t0 + 3, 52.002, 21.0, "A", "30.0"));
    oversize.slice.insert(oversize.slice.end() - 1, 300001, 0x55);  // 3: > frame buffer
    w.addPicture(oversize);
    w.addPicture(Picture(Sentence(t0 + 4, 52.003, 21.0, "V", "90.0")));  // 4: no fix
    w.addPicture(Picture(Sentence(t0 + 5, 52.004, 21.0, "A", "40.0")));  // 5
    RecorderPicture cutOff = Picture(Sentence(t0 + 6, 52.005, 21.0, "A", "50.0"));
    cutOff.endCode = false;  // 6: file ends inside it
    cutOff.slice.resize(cutOff.slice.size() / 2);
    w.addPicture(cutOff);
    ASSERT_TRUE(w.writeFile(dir.file("rec.m1v")));

    const CliRun r = Cli({"info", dir.file("rec.m1v"), "--json"});
    EXPECT_EQ(cli::kExitPartial, r.status) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    EXPECT_EQ("320x240", j["format"]);
    EXPECT_EQ(w.bytes().size(), j["fileBytes"]);
    EXPECT_EQ(7, j["pictures"]);
    const nlohmann::json bad = {
        {{"index", 3}, {"position", w.pictures()[3].picturePos}, {"reason", "read"}},
        {{"index", 6}, {"position", w.pictures()[6].picturePos}, {"reason", "read"}}};
    EXPECT_EQ(bad, j["unreadablePictures"]) << r.out;
    EXPECT_EQ("2006-03-30T08:00:00Z", j["firstGpsTime"]);
    EXPECT_EQ("2006-03-30T08:00:06Z", j["lastGpsTime"]);
    EXPECT_EQ(6, j["durationSeconds"]);
    // Valid fixes: pictures 0, 1, 3, 5, 6 (a sentence is read even where the picture is not).
    EXPECT_EQ(5, j["validFixes"]);
    EXPECT_NEAR(5.0 / 7, j["validFixShare"].get<double>(), 1e-4);
    // Five steps of one thousandth of a degree of latitude, 111.2 m each.
    EXPECT_NEAR(5 * 0.11119, j["distanceKm"].get<double>(), 2e-3);
    // A fix without a speed does not count as standing still.
    EXPECT_NEAR((10 + 30 + 40 + 50) / 4.0 * 1.852, j["averageSpeedKmh"].get<double>(), 0.05);
    EXPECT_NEAR(50 * 1.852, j["topSpeedKmh"].get<double>(), 0.05);
}

TEST(CliInfo, DecodesOnlyWithCheck) {
    TempFolder dir;
    RecorderWriter w(kCif);
    w.addPicture(Picture(Sentence(100, 52.0, 21.0)));
    RecorderPicture noise = Picture(Sentence(101, 52.0, 21.0));
    noise.slice = NoCodeBytes(400, 3);  // read in full, but no picture the decoder accepts
    w.addPicture(noise);
    ASSERT_TRUE(w.writeFile(dir.file("rec.m1v")));
    const nlohmann::json decodeFailure = {
        {{"index", 1}, {"position", w.pictures()[1].picturePos}, {"reason", "decode"}}};
    // Options after --json, the exit status and whether picture 1 is listed.
    const std::tuple<std::vector<std::string>, int, bool> cases[] = {
        {{}, cli::kExitOk, false}, {{"--check"}, cli::kExitPartial, true}};
    for (const auto& [extra, status, listed] : cases) {
        std::vector<std::string> args = {"info", dir.file("rec.m1v"), "--json"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, status) << r.out;
        const nlohmann::json j = nlohmann::json::parse(r.out, nullptr, false);
        EXPECT_EQ(listed ? decodeFailure : nlohmann::json::array(), j["unreadablePictures"]);
        EXPECT_EQ(2, j["pictures"]);
    }
}

// Element paths ("parent/child") in document order, each with its text, attributes and
// namespace, as Qt's XML reader reads them; empty when the document is not well formed.
struct XmlElement {
    std::string path, text, ns;
    QXmlStreamAttributes attributes;
    std::string attribute(const char* name) const {
        return attributes.value(name).toString().toStdString();
    }
};

std::vector<XmlElement> XmlElements(const std::string& xml) {
    QXmlStreamReader r(QByteArray::fromStdString(xml));
    std::vector<XmlElement> all;
    std::vector<std::pair<std::string, std::size_t>> open;  // name and element
    while (r.readNext() != QXmlStreamReader::EndDocument && !r.hasError()) {
        const std::string name = r.name().toString().toStdString();
        if (r.isStartElement()) {
            all.push_back({(open.empty() ? "" : open.back().first + "/") + name, "",
                           r.namespaceUri().toString().toStdString(), r.attributes()});
            open.emplace_back(name, all.size() - 1);
        } else if (r.isCharacters() && !open.empty()) {
            all[open.back().second].text += r.text().toString().trimmed().toStdString();
        } else if (r.isEndElement()) {
            open.pop_back();
        }
    }
    return r.hasError() ? std::vector<XmlElement>{} : all;
}

std::vector<XmlElement> Having(const std::vector<XmlElement>& all, const std::string& path) {
    std::vector<XmlElement> out;
    for (const auto& e : all)
        if (e.path == path) out.push_back(e);
    return out;
}

class CliTrack : public testing::Test {
  protected:
    void SetUp() override {
        const double t0 = 12 * 3600;
        // Segment 1: three fixes south-west; a bad checksum in between is skipped, not a break.
        w.addPicture(Picture(Sentence(t0 + 0, -33.5, -70.25)));
        w.addPicture(Picture(Sentence(t0 + 1, -33.501, -70.25)));
        std::string damaged = Sentence(t0 + 2, -33.502, -70.25);
        damaged.back() = damaged.back() == '0' ? '1' : '0';
        w.addPicture(Picture(damaged));
        w.addPicture(Picture(Sentence(t0 + 2.5, -33.503, -70.25)));
        // Fix lost, then segment 2 of two fixes.
        w.addPicture(Picture(Sentence(t0 + 3, -33.504, -70.25, "V")));
        w.addPicture(Picture(Sentence(t0 + 4, -33.505, -70.25)));
        w.addPicture(Picture(Sentence(t0 + 5, -33.506, -70.25)));
        // Time jumps 10 s: a lone fix in segment 3 (& in no field, but a name to escape).
        w.addPicture(Picture(Sentence(t0 + 15, -33.507, -70.25)));
        ASSERT_TRUE(w.writeFile(path = dir.file("a&b.m1v")));
    }
    TempFolder dir;
    RecorderWriter w{kCif};
    std::string path;
};

TEST_F(CliTrack, GpxAndKmlHoldThePointsInTheirSegments) {
    const CliRun gpx = Cli({"track", path});
    EXPECT_EQ(cli::kExitPartial, gpx.status);
    EXPECT_THAT(gpx.err, HasSubstr("1 sentences with a bad checksum"));
    const auto g = XmlElements(gpx.out);
    ASSERT_FALSE(g.empty()) << gpx.out;
    ASSERT_EQ(1u, Having(g, "gpx").size());
    EXPECT_EQ("http://www.topografix.com/GPX/1/1", g[0].ns);
    EXPECT_EQ(3u, Having(g, "trk/trkseg").size());
    EXPECT_EQ("a&b.m1v", Having(g, "trk/name").at(0).text);
    const auto points = Having(g, "trkseg/trkpt");
    ASSERT_EQ(6u, points.size());
    EXPECT_EQ("-33.5000000", points[0].attribute("lat"));
    EXPECT_EQ("-70.2500000", points[0].attribute("lon"));
    EXPECT_EQ("2006-03-30T12:00:00Z", Having(g, "trkpt/time").at(0).text);
    // Segments: after the lost fix the second begins with the fix at -33.505.
    std::vector<std::string> firstOfSegment;
    for (std::size_t i = 0; i + 1 < g.size(); ++i)
        if (g[i].path == "trk/trkseg") firstOfSegment.push_back(g[i + 1].attribute("lat"));
    EXPECT_EQ((std::vector<std::string>{"-33.5000000", "-33.5050000", "-33.5070000"}),
              firstOfSegment);

    const TempFolder out;
    EXPECT_EQ(cli::kExitPartial,
              Cli({"track", path, "--format", "kml", "-o", out.file("t.kml")}).status);
    const std::string text = ReadText(out.file("t.kml"));
    const auto k = XmlElements(text);
    ASSERT_FALSE(k.empty()) << text;
    EXPECT_EQ("http://www.opengis.net/kml/2.2", k[0].ns);
    EXPECT_EQ(2u, Having(k, "MultiGeometry/LineString").size());
    EXPECT_EQ(1u, Having(k, "MultiGeometry/Point").size());
    const auto lines = Having(k, "LineString/coordinates");
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("-70.2500000,-33.5050000 -70.2500000,-33.5060000", lines[1].text);
    EXPECT_EQ("-70.2500000,-33.5070000", Having(k, "Point/coordinates").at(0).text);
}

TEST_F(CliTrack, CsvRowsCarryEveryField) {
    std::istringstream lines(Cli({"track", path, "--format=csv"}).out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(7u, rows.size());
    EXPECT_EQ("picture,position,utc,latitude,longitude,speed_kmh,course,status", rows[0]);
    EXPECT_EQ("0," + std::to_string(w.pictures()[0].picturePos) +
                  ",2006-03-30T12:00:00Z,-33.5000000,-70.2500000,18.52,45.6,A",
              rows[1]);
    EXPECT_EQ("3," + std::to_string(w.pictures()[3].picturePos) +
                  ",2006-03-30T12:00:02.500Z,-33.5030000,-70.2500000,18.52,45.6,A",
              rows[3]);
    EXPECT_EQ("7", rows[6].substr(0, 1));
}

class CliCut : public testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 5; ++i) {
            RecorderPicture p = Picture(Sentence(i, 50, 20));
            p.sequenceHeader = i == 0;  // headers of 12 + 8 bytes at the start, GOP before each
            p.junkAfter = {0xAB, static_cast<std::uint8_t>(i)};
            w.addPicture(p);
        }
        ASSERT_TRUE(w.writeFile(path = dir.file("rec.m1v")));
    }
    TempFolder dir;
    RecorderWriter w{kCif};
    std::string path;
};

// The sequence and group headers, then the marked stretch from its group header on: what the
// window saves for the same marks.
TEST_F(CliCut, FragmentIsTheHeadersAndTheMarkedStretch) {
    const Bytes& rec = w.bytes();
    for (const auto& [from, to] :
         {std::pair{1, 1}, std::pair{2, 4}, std::pair{5, 5}, std::pair{1, 5}}) {
        SCOPED_TRACE(std::to_string(from) + ".." + std::to_string(to));
        const std::string out = dir.file("cut.mpeg");
        std::ofstream(out) << std::string(3 * rec.size(), 'x');  // an older, longer file
        const CliRun r =
            Cli({"cut", path, "--from", std::to_string(from), "--to", std::to_string(to), out});
        ASSERT_EQ(cli::kExitOk, r.status) << r.err;
        EXPECT_EQ(Fragment(rec, w.pictures()[from - 1].picturePos, w.pictures()[to - 1].endCodePos),
                  ReadBytes(out));
    }
    EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(dir.file("")),
                               std::filesystem::directory_iterator()))
        << "temporary files left";
}

TEST_F(CliCut, RefusesToWriteOntoTheRecording) {
    const std::string link = dir.file("same.m1v");
    ASSERT_EQ(0, ::link(path.c_str(), link.c_str()));
    for (const std::string& target : {path, link, dir.file("./rec.m1v")}) {
        const CliRun r = Cli({"cut", path, "--from", "1", "--to", "2", target});
        EXPECT_EQ(cli::kExitUsage, r.status);
        EXPECT_THAT(r.err, HasSubstr("refusing to write over the recording itself"));
    }
    EXPECT_EQ(w.bytes(), ReadBytes(path));
}

// A pipe as the target gets the fragment and stays a pipe: a file renamed over it (or over
// /dev/null) would replace it.
TEST_F(CliCut, WritesIntoAPipeInsteadOfReplacingIt) {
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const Bytes expected =
        Fragment(w.bytes(), w.pictures()[0].picturePos, w.pictures()[0].endCodePos);
    ASSERT_LT(expected.size(), 60000u);  // within the pipe's buffer
    const CliRun r = Cli({"cut", path, "--from", "1", "--to", "1", fifo});
    EXPECT_EQ(cli::kExitOk, r.status) << r.err;
    Bytes got(expected.size() + 1);
    const ssize_t n = ::read(reader, got.data(), got.size());
    ::close(reader);
    got.resize(static_cast<std::size_t>(std::max<ssize_t>(0, n)));
    EXPECT_EQ(expected, got);
    struct stat st {};
    ASSERT_EQ(0, ::stat(fifo.c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(dir.file("")),
                               std::filesystem::directory_iterator()))
        << "temporary files left";
    EXPECT_EQ(cli::kExitUsage, Cli({"cut", path, "--from", "1", "--to", "1", dir.file("")}).status);
}

// `count` pictures a second apart at 50 N 20 E, written as the folder's rec.m1v.
std::string WriteRecording(const TempFolder& dir, int count) {
    RecorderWriter w(kCif);
    for (int i = 0; i < count; ++i) w.addPicture(Picture(Sentence(i, 50, 20)));
    EXPECT_TRUE(w.writeFile(dir.file("rec.m1v")));
    return dir.file("rec.m1v");
}

class CliTwoPictures : public testing::Test {
  protected:
    TempFolder dir;
    const std::string rec = WriteRecording(dir, 2);
};

TEST_F(CliTwoPictures, UsageAndOpenErrors) {
    std::ofstream(dir.file("text.m1v")) << "not a recording";
    const std::string db = dir.file("i.sqlite");
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{}, 2},
        {{"--help"}, 0},
        {{"--version"}, 0},
        {{"play", rec}, 2},
        {{"info", rec}, 0},
        {{"info", dir.file("missing.m1v")}, 2},
        {{"info", dir.file("text.m1v")}, 2},
        {{"info", rec, "--verbose"}, 2},
        {{"track", "--help"}, 0},
        {{"track", rec, "--format", "shp"}, 2},
        {{"frames", rec, dir.file("out"), "--format", "gif"}, 2},
        {{"frames", rec, dir.file("out"), "--count", "-1"}, 2},
        {{"frames", rec, dir.file("out"), "--first", "5"}, 1},
        {{"cut", rec, "--from", "2", "--to", "1", dir.file("c.mpeg")}, 2},
        {{"cut", rec, "--from", "1", "--to", "3", dir.file("c.mpeg")}, 2},
        {{"cut", rec, "--from", "1", dir.file("c.mpeg")}, 2},
        {{"bench", rec, "--seconds", "0"}, 2},
        {{"bench", rec, "--seconds", "0.01"}, 0},
        {{"bench", rec, "--passes", "0"}, 2},
        {{"bench", rec, "--passes", "2.5"}, 2},
        {{"bench", rec, "--passes", "2", "--seconds", "1"}, 2},
        {{"trips", dir.file(""), "--gap", "0"}, 2},
        {{"trips", dir.file(""), "--tz", "Mars/Olympus"}, 2},
        {{"frames", dir.file(""), "x", "--trip", "3"}, 2},
        {{"info", rec, "--tz=Europe/Nowhere"}, 2},
        {{"info", rec, "--units=kmh"}, 2},
        // The evidence pack's stretch and folder (pictures count from 1, as cut counts them).
        {{"evidence", rec, "--from", "2", "--to", "1", dir.file("")}, 2},
        {{"evidence", rec, "--from", "1", "--to", "3", dir.file("")}, 2},
        {{"evidence", rec, "--from", "0", "--to", "2", dir.file("")}, 2},
        {{"evidence", rec, "--from", "1", "--to", "2", dir.file("none")}, 2},
        {{"evidence", rec, "--from", "1", "--to", "2"}, 2},
        {{"evidence", rec, "--from", "1", "--to", "2", dir.file(""), "--minimap", "--source",
          dir.file("none.mbtiles")},
         2},
        {{"index", dir.file(""), "--db", db, "--near", "52,21"}, 2},
        {{"index", dir.file(""), "--db", db, "--bbox", "50,19,49,20"}, 2},
        {{"index", dir.file(""), "--db", db, "--since", "30.03.2006"}, 2},
        {{"index", dir.file(""), "--db", db, "--tz", "Mars/Olympus"}, 2},
        {{"index", dir.file(""), "--db", db, "--jobs", "0"}, 2},
        {{"index", dir.file(""), "--db", db, "--format", "xml"}, 2},
    };
    for (const auto& [args, status] : cases)
        EXPECT_EQ(status, Cli(args).status) << testing::PrintToString(args);
    EXPECT_FALSE(std::filesystem::exists(dir.file("c.mpeg")));
    EXPECT_TRUE(std::regex_match(Cli({"--version"}).out,
                                 std::regex("droskal-cli [0-9]+\\.[0-9]+(\\.[0-9]+)*\n")));
}

TEST_F(CliTwoPictures, BenchPassesWalkTheRecordingExactlyThatOften) {
    for (const int passes : {1, 3}) {
        const CliRun r = Cli({"bench", rec, "--passes", std::to_string(passes)});
        ASSERT_EQ(cli::kExitOk, r.status) << r.err;
        const std::string n = std::to_string(2 * passes);
        EXPECT_EQ(0u, r.out.find("bench: " + std::to_string(passes) + " passes, " + n +
                                 " pictures (" + n + " decoded)"))
            << r.out;
        EXPECT_THAT(r.out, HasSubstr(" pictures/s, "));
    }
}

// Peer-encoded pictures laid out as the recorder writes them, with an unreadable picture (no
// slice within reach) between them: the planes are the peer's own decode, give or take the
// IDCT's rounding.
TEST(CliFrames, Yuv420pIsThePeerDecodeAndSkipsUnreadablePictures) {
    const auto slices = SlicePayloads(ReadBytes(Fixture("cif_testsrc2_q4.m1v")));
    const Bytes reference = ReadBytes(Fixture("cif_testsrc2_q4.yuv"));
    ASSERT_EQ(2u, slices.size());
    RecorderWriter w(kCif);
    RecorderPicture p = Picture(Sentence(0, 50, 20));
    p.slice = slices[0];
    w.addPicture(p);
    RecorderPicture broken = p;
    broken.userData = {Bytes(9000, 'x')};
    w.addPicture(broken);
    p.slice = slices[1];
    w.addPicture(p);
    TempFolder dir;
    ASSERT_TRUE(w.writeFile(dir.file("rec.m1v")));

    const CliRun r =
        Cli({"frames", dir.file("rec.m1v"), dir.file("out.yuv"), "--format", "yuv420p"});
    EXPECT_EQ(cli::kExitPartial, r.status);
    EXPECT_THAT(r.err,
                HasSubstr("picture 1 at position " + std::to_string(w.pictures()[1].picturePos)));
    const Bytes got = ReadBytes(dir.file("out.yuv"));
    ASSERT_EQ(reference.size(), got.size());
    int maxDiff = 0;
    for (std::size_t i = 0; i < got.size(); ++i)
        maxDiff = std::max(maxDiff, std::abs(got[i] - reference[i]));
    EXPECT_LE(maxDiff, 2);
}

TEST(CliFrames, PictureFilesByIndexWithinTheRange) {
    TempFolder dir;
    const std::string rec = WriteRecording(dir, 4);
    for (const std::string format : {"bmp", "png"}) {
        const std::string out = dir.file("pics-" + format);
        const CliRun r =
            Cli({"frames", rec, out, "--format", format, "--first", "1", "--count", "2"});
        EXPECT_EQ(cli::kExitOk, r.status) << r.err;
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(out))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        EXPECT_EQ((std::vector<std::string>{"000001." + format, "000002." + format}), names);
    }
    // The PNG, read back by Qt, holds the BMP's pixels (54 header bytes, rows bottom-up).
    const Bytes bmp = ReadBytes(dir.file("pics-bmp/000002.bmp"));
    const QImage png = QImage(QString::fromStdString(dir.file("pics-png/000002.png")))
                           .convertToFormat(QImage::Format_BGR888);
    ASSERT_EQ(png.size(), QSize(320, 240));
    ASSERT_EQ(54u + 320 * 240 * 3, bmp.size());
    for (int y = 0; y < 240; ++y)
        ASSERT_TRUE(std::equal(png.constScanLine(y), png.constScanLine(y) + 960,
                               bmp.begin() + 54 + (239 - y) * 960))
            << y;
}

// Pictures decoded on several threads come out as one thread decodes them: the same files,
// the same yuv bytes and the same report, a damaged picture in the middle reported once by
// its index, and a picture cut short that decodes only by reading on into what the picture
// before it left in the frame buffer. Ten pictures come first, so that with two and three
// jobs the pictures that matter are read into buffers used before.
TEST(CliFrames, EveryJobCountGivesTheSameOutputAndReport) {
    // Picture 10: DC-only macroblocks, the first block holding an escape (run 0, level field
    // 0x00, level 2) whose 22 field bits start on a byte and, with the three codes after it,
    // fill four bytes: 00 00 09 B7. Picture 11 is picture 10 cut there, so its end code 00 00
    // 01 B7 stands in for them (level 0 instead of 2) and the rest comes from picture 10's
    // bytes.
    Bytes crafted{3 << 3};
    std::size_t bit = 6, cut = 0;
    const auto put = [&](const std::string& bits) {
        for (char c : bits) {
            if (bit / 8 >= crafted.size()) crafted.push_back(0);
            if (c == '1') crafted[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
            ++bit;
        }
    };
    put("11100");
    while (bit % 8 != 2) put("110");  // run 0, level 1
    put("000001");
    cut = bit / 8;
    // Run 000000, level field 00000000 then 00000010; then 0110 110 111 10, the rest of the
    // macroblock (10010100101001010) and two chroma blocks (0010 0010).
    put("00000000000000000000100110110111101001010010100101000100010");
    // Then macroblocks of DC-only blocks: 11, four luma 10010, two chroma 0010.
    for (int mb = 1; mb < 300; ++mb) put("111001010010100101001000100010");
    ASSERT_EQ(0x09, crafted[cut + 2]);
    TempFolder dir;
    RecorderWriter w(kCif);
    RecorderPicture p = Picture(Sentence(0, 50, 20));
    const int pictures = 15;
    for (int i = 0; i < pictures; ++i) {
        p.slice = EncodedPicture(320, 240, 3, static_cast<std::uint32_t>(i + 1));
        if (i == 10) p.slice = crafted;
        if (i == 11)
            p.slice.assign(crafted.begin(), crafted.begin() + static_cast<std::ptrdiff_t>(cut));
        if (i == 12) std::fill(p.slice.begin() + 600, p.slice.begin() + 700, 0);  // damaged
        w.addPicture(p);
    }
    ASSERT_TRUE(w.writeFile(dir.file("rec.m1v")));
    for (const std::string format : {"bmp", "yuv420p"}) {
        std::vector<Bytes> outputs;
        std::string firstReport;
        for (const char* jobs : {"1", "2", "3"}) {
            const std::string out = dir.file(format + jobs + (format == "bmp" ? "" : ".yuv"));
            const CliRun r =
                Cli({"frames", dir.file("rec.m1v"), out, "--format", format, "--jobs", jobs});
            SCOPED_TRACE(format + " --jobs " + jobs);
            EXPECT_EQ(cli::kExitPartial, r.status) << r.err;
            // Only the damaged picture 12 is reported, once.
            std::vector<std::string> reported;
            const std::regex picture("picture ([0-9]+) at ");
            for (std::sregex_iterator it(r.err.begin(), r.err.end(), picture), end; it != end; ++it)
                reported.push_back((*it)[1]);
            EXPECT_EQ(reported, std::vector<std::string>{"12"}) << r.err;
            if (firstReport.empty()) firstReport = r.err;
            EXPECT_EQ(firstReport, r.err);
            Bytes all = format == "bmp" ? Bytes() : ReadBytes(out);
            for (int i = 0; i < pictures && format == "bmp"; ++i) {
                const std::string name =
                    out + "/0000" + (i < 10 ? "0" : "") + std::to_string(i) + ".bmp";
                EXPECT_EQ(i != 12, std::filesystem::exists(name)) << name;
                const Bytes b = i != 12 ? ReadBytes(name) : Bytes();
                all.insert(all.end(), b.begin(), b.end());
            }
            outputs.push_back(all);
        }
        EXPECT_FALSE(outputs[0].empty());
        EXPECT_TRUE(outputs[0] == outputs[1] && outputs[0] == outputs[2]) << format;
    }
}

// A reader that goes away mid-export ends the run with a message instead of a hang or a
// death by signal (the program ignores SIGPIPE, as here).
TEST(CliFrames, ClosedOutputPipeEndsTheRun) {
    TempFolder dir;
    const std::string rec = WriteRecording(dir, 12);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    int ends[2];
    ASSERT_EQ(0, ::pipe(ends));
    ::close(ends[0]);
    const int savedOut = ::dup(STDOUT_FILENO);
    ::dup2(ends[1], STDOUT_FILENO);
    const CliRun r = Cli({"frames", rec, "-", "--format", "yuv420p", "--jobs", "2"});
    ::dup2(savedOut, STDOUT_FILENO);
    ::close(savedOut);
    ::close(ends[1]);
    std::signal(SIGPIPE, previous);
    EXPECT_EQ(cli::kExitUsage, r.status);
    EXPECT_THAT(r.err, HasSubstr("cannot write to standard output: Broken pipe"));
    EXPECT_THAT(r.err, testing::Not(HasSubstr("exported")));
}

// --tz and --units: CSV times with their offset across the end of summer time, speeds in the
// unit; GPX stays UTC.
TEST(CliTimeOptions, ZoneAndUnitOnTrackAndInfo) {
    test::TempFolder dir;
    RecorderWriter w{kCif};
    for (double s : {59 * 60 + 59.0, 60 * 60.0, 60 * 60 + 0.5})
        w.addPicture(Picture(test::Sentence({.seconds = s, .knots = "10.0", .date = "271024"})));
    const std::string path = dir.file("dst.m1v");
    ASSERT_TRUE(w.writeFile(path));
    const CliRun csv =
        Cli({"track", path, "--format", "csv", "--tz", "Europe/Warsaw", "--units", "mph"});
    EXPECT_EQ(cli::kExitOk, csv.status) << csv.err;
    for (const char* row : {"picture,position,time,latitude,longitude,speed_mph,",
                            ",2024-10-27T02:59:59+02:00,52.2057600,21.0205750,11.51,",
                            ",2024-10-27T02:00:00+01:00,", ",2024-10-27T02:00:00.500+01:00,"})
        EXPECT_THAT(csv.out, HasSubstr(row));
    EXPECT_THAT(Cli({"track", path, "--tz", "Europe/Warsaw"}).out,
                HasSubstr("<time>2024-10-27T00:59:59Z</time>"));
    const CliRun info = Cli({"info", path, "--tz", "Australia/Sydney", "--units", "kn"});
    EXPECT_THAT(info.out, HasSubstr("first GPS time: 2024-10-27T11:59:59+11:00"));
    EXPECT_THAT(info.out, HasSubstr("top speed:      10.0 kn"));
    EXPECT_THAT(Cli({"info", path, "--units=kmh"}).err, HasSubstr("unknown"));
}

}  // namespace
}  // namespace droskal
