// The evidence pack made through droskal-cli from a generated recording: its files, the
// fragment's bytes, the checksums, the clip read back with libavformat and libavcodec, the
// caption band, and what a full disk, a cancel or an existing folder leave behind.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <sqlite3.h>
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/Commands.h"
#include "decoder/YuvPlanes.h"
#include "evidence/Pack.h"
#include "evidence/QtBand.h"
#include "recording/Walker.h"
#include "tests/core/TestRecordings.h"

namespace droskal::evidence {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

struct Case {
    int width, height, rateCode, rateNum, pictures, from, to;
};
const Case kCases[] = {{320, 240, 3, 25, 14, 3, 12}, {640, 480, 5, 30, 7, 2, 6}};

struct Recording {
    std::string path;
    RecorderWriter writer;
};

// Picture i: a gradient moved by i, its sentence at 22:34:(10 + i) with 10 + i knots unless
// `knots` says otherwise; `first` numbers the sentences on from another file of the trip.
Recording Write(const test::TempFolder& dir, const Case& c, const std::string& name = "r.m1v",
                int first = 0, int (*knots)(int) = nullptr) {
    test::RecordingPlan plan{
        .width = c.width, .height = c.height, .count = c.pictures, .quantiser = 2};
    plan.pictureRate = c.rateCode;
    plan.sentence = [&](int i) {
        const int n = first + i;
        return test::Sentence({.seconds = 81250.0 + n,  // 22:34:10
                               .knots = std::to_string(knots ? knots(n) : 10 + n) + ".0"});
    };
    Recording rec{dir.file(name), test::BuildRecording(plan)};
    rec.writer.writeFile(rec.path);
    return rec;
}

int Cli(const std::vector<std::string>& args) {
    return test::Cli(args).status;
}

std::string PackOf(const test::TempFolder& dir, const Recording& rec, const Case& c) {
    fs::create_directories(dir.file("out"));
    EXPECT_EQ(Cli({"evidence", rec.path, "--from", std::to_string(c.from), "--to",
                   std::to_string(c.to), dir.file("out")}),
              0);
    return dir.file("out/2006-03-30_22-34-" + std::to_string(10 + c.from - 1) + "_incident");
}

bool ChecksumsVerify(const std::string& folder) {
    const std::string command =
        "cd '" + folder + "' && sha256sum -c --quiet SHA256SUMS >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

struct Clip {
    int width = 0, height = 0;
    AVRational rate{0, 1};
    std::vector<Bytes> lumas;  // Y planes, rows top-down
};

Clip ReadClip(const std::string& path) {
    Clip clip;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return clip;
    avformat_find_stream_info(format, nullptr);
    const AVCodecParameters* par = format->streams[0]->codecpar;
    clip = {par->width, par->height, format->streams[0]->avg_frame_rate, {}};
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, par);
    avcodec_open2(ctx, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    for (bool more = true; more;) {  // the round after the last packet drains the decoder
        more = av_read_frame(format, packet) >= 0;
        avcodec_send_packet(ctx, more ? packet : nullptr);
        av_packet_unref(packet);
        while (avcodec_receive_frame(ctx, frame) == 0) {
            Bytes& y = clip.lumas.emplace_back();
            for (int r = 0; r < frame->height; ++r) {
                const std::uint8_t* row = frame->data[0] + r * frame->linesize[0];
                y.insert(y.end(), row, row + frame->width);
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    avformat_close_input(&format);
    return clip;
}

// Our own decode of pictures `from` to `to` (counted from 0) of the recording, as YUV planes.
std::vector<Bytes> OurPlanes(const std::string& path, int from, int to) {
    Walker walker;
    int error = 0;
    EXPECT_TRUE(walker.open({path}, error)) << error;
    std::vector<Bytes> planes;
    WalkedPicture pic;
    while (walker.next(pic, Decode::Planes) && pic.index <= to)
        if (pic.index >= from) planes.push_back(PicBufToYuv420p(pic.picBuf, walker.picFormat()));
    return planes;
}

double Psnr(const Bytes& a, const Bytes& b, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    const double mse = sum / static_cast<double>(to - from);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The band as the test expects it: its own caption texts drawn with QPainter, as video luma.
Bytes ExpectedBand(int i, const std::string& file, int width, int height) {
    char speed[64];
    std::snprintf(speed, sizeof speed, "52.205760 N  21.020575 E   %.1f km/h", (10 + i) * 1.852);
    const QImage image = DrawBand({"2006-03-30 22:34:" + std::to_string(10 + i) + " UTC", speed,
                                   "plik " + file + ", obraz " + std::to_string(i + 1)},
                                  width, height);
    Bytes y;
    for (int r = 0; r < height; ++r) {
        for (int x = 0; x < width; ++x) {
            const QRgb p = image.pixel(x, r);
            y.push_back(static_cast<std::uint8_t>(std::lround(
                16 + (0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p)) * 219 / 255)));
        }
    }
    return y;
}

class EvidencePackTest : public ::testing::TestWithParam<Case> {};

TEST_P(EvidencePackTest, EveryFileTheFragmentChecksumsThatCatchAnyChangeAndTheClipWithItsBand) {
    const Case c = GetParam();
    test::TempFolder dir;
    const auto rec = Write(dir, c);
    const std::string pack = PackOf(dir, rec, c);
    std::set<std::string> names, expected = {"SHA256SUMS", "original.m1v", "report.html",
                                             "track.csv",  "track.gpx",    "video.mp4"};
    for (const int picture : {c.from, c.to})
        expected.insert("picture-" + std::to_string(picture) + ".png");
    for (const auto& entry : fs::directory_iterator(pack))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, expected);

    // The fragment: the first 20 bytes, then from the group header before picture A to B's end
    // code.
    const auto& pictures = rec.writer.pictures();
    EXPECT_EQ(test::ReadBytes(pack + "/original.m1v"),  // as cut writes it
              test::Fragment(rec.writer.bytes(), pictures[c.from - 1u].picturePos,
                             pictures[c.to - 1u].endCodePos));

    ASSERT_TRUE(ChecksumsVerify(pack));
    for (const auto& name : expected) {
        if (name == "SHA256SUMS") continue;
        const std::string path = pack + "/" + name;
        Bytes bytes = test::ReadBytes(path);
        bytes[bytes.size() / 2] ^= 1;
        test::WriteBytes(path, bytes);
        EXPECT_FALSE(ChecksumsVerify(pack)) << name;
        bytes[bytes.size() / 2] ^= 1;
        test::WriteBytes(path, bytes);
    }
    EXPECT_TRUE(ChecksumsVerify(pack));

    // The clip: every picture at the recording's rate, the decoded picture above the band.
    const Clip clip = ReadClip(pack + "/video.mp4");
    EXPECT_EQ(clip.width, c.width);
    EXPECT_EQ(clip.height, c.height);
    EXPECT_EQ(clip.rate.num * 1.0 / clip.rate.den, c.rateNum);
    const std::vector<Bytes> ours = OurPlanes(rec.path, c.from - 1, c.to - 1);
    ASSERT_EQ(static_cast<int>(clip.lumas.size()), c.to - c.from + 1);
    ASSERT_EQ(ours.size(), clip.lumas.size());
    const int bandTop = c.height - c.height * 15 / 100;  // at most the bottom 15 %
    const auto w = static_cast<std::size_t>(c.width);
    for (std::size_t k = 0; k < ours.size(); ++k) {
        const Bytes& theirs = clip.lumas[k];
        const int i = c.from - 1 + static_cast<int>(k);
        EXPECT_GE(Psnr(ours[k], theirs, 0, bandTop * w), 30.0) << "picture " << i + 1;

        // The band reads as this picture's caption, clearly better than as its neighbour's.
        const int bandRows = c.height - bandTop;
        Bytes band(theirs.begin() + static_cast<std::ptrdiff_t>(bandTop * w), theirs.end());
        const double right =
            Psnr(ExpectedBand(i, "r.m1v", c.width, bandRows), band, 0, band.size());
        const double wrong =
            Psnr(ExpectedBand(i + 1, "r.m1v", c.width, bandRows), band, 0, band.size());
        EXPECT_GE(right, 28.0) << "picture " << i + 1;
        EXPECT_GE(right - wrong, 6.0) << "picture " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EvidencePackTest, ::testing::ValuesIn(kCases));

// A disk that fills up after `budget` bytes of the pack.
class FullDisk : public PackFolder {
  public:
    explicit FullDisk(std::int64_t budget) : left_(budget) {}
    std::unique_ptr<PackOutput> create(const std::string& folder, const std::string& name,
                                       std::string& error) override {
        auto real = PackFolder::create(folder, name, error);
        return real ? std::make_unique<Output>(std::move(real), left_) : nullptr;
    }

  private:
    struct Output : PackOutput {
        Output(std::unique_ptr<PackOutput> real, std::int64_t& left)
            : real_(std::move(real)), left_(left) {}
        bool write(const std::uint8_t* data, std::size_t size, std::string& error) override {
            const auto n = static_cast<std::size_t>(
                std::clamp<std::int64_t>(left_, 0, static_cast<std::int64_t>(size)));
            left_ -= static_cast<std::int64_t>(n);
            if (!real_->write(data, n, error)) return false;
            if (n == size) return true;
            error = "No space left on device";
            return false;
        }
        bool seek(std::int64_t offset, std::string& error) override {
            return real_->seek(offset, error);
        }
        bool close(std::string& error) override { return real_->close(error); }
        std::unique_ptr<PackOutput> real_;
        std::int64_t& left_;
    };
    std::int64_t left_;
};

TEST(EvidencePackFailure, FullDiskCancelOrExistingFolderLeaveNothingNew) {
    const Case c = kCases[0];
    test::TempFolder dir;
    const auto rec = Write(dir, c);
    PackRequest request;
    request.recording = rec.path;
    std::string error;
    ASSERT_TRUE(
        MarksForPictures(rec.path, 0, c.from, c.to, request.cutStart, request.cutEnd, error))
        << error;
    request.parentFolder = dir.file("out");
    request.band = QtBandPainter();
    fs::create_directories(request.parentFolder);
    PackFolder disk;
    const PackResult whole = BuildEvidencePack(request, disk, nullptr, nullptr);
    ASSERT_EQ(whole.status, PackResult::Status::Done) << whole.error;
    std::int64_t total = 0;
    for (const auto& entry : fs::directory_iterator(whole.folder))
        total += static_cast<std::int64_t>(entry.file_size());
    fs::remove_all(whole.folder);

    const auto entries = [&] {
        return std::distance(fs::directory_iterator(request.parentFolder),
                             fs::directory_iterator());
    };
    for (const double share : {0.0, 0.05, 0.5, 0.99}) {
        FullDisk full(static_cast<std::int64_t>(share * static_cast<double>(total)));
        const PackResult r = BuildEvidencePack(request, full, nullptr, nullptr);
        EXPECT_EQ(r.status, PackResult::Status::Failed) << share;
        EXPECT_NE(r.error.find("No space left"), std::string::npos) << share << ": " << r.error;
        EXPECT_EQ(entries(), 0) << share;
    }

    std::atomic<bool> cancel{false};
    const PackResult cancelled = BuildEvidencePack(
        request, disk, [&](double f) { cancel = cancel || f > 0.5; }, &cancel);
    EXPECT_EQ(cancelled.status, PackResult::Status::Cancelled);
    EXPECT_EQ(entries(), 0);

    fs::create_directory(whole.folder);  // an empty folder of the same name is not replaced either
    const PackResult existing = BuildEvidencePack(request, disk, nullptr, nullptr);
    EXPECT_EQ(existing.status, PackResult::Status::Failed);
    EXPECT_EQ(entries(), 1);
    EXPECT_TRUE(fs::is_empty(whole.folder));
}

// An MBTiles file of green tiles around the test drive's place (52.2 N, 21.0 E) at zoom 12.
void WriteGreenTiles(const std::string& path) {
    const double lat = 52.20576 * M_PI / 180;
    const int x = static_cast<int>((21.020575 + 180) / 360 * 4096);
    const int y =
        static_cast<int>((1 - std::log(std::tan(lat) + 1 / std::cos(lat)) / M_PI) / 2 * 4096);
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(40, 160, 60));
    QByteArray png;
    QBuffer buffer(&png);
    tile.save(&buffer, "PNG");
    const std::string hex = png.toHex().toStdString();
    std::string sql =
        "CREATE TABLE metadata (name, value); CREATE TABLE tiles (zoom_level, tile_column, "
        "tile_row, tile_data); INSERT INTO metadata VALUES ('minzoom', '12'), ('maxzoom', '12');";
    for (int dx = -2; dx <= 2; ++dx) {
        for (int dy = -2; dy <= 2; ++dy) {  // MBTiles count rows from the south
            sql += "INSERT INTO tiles VALUES (12, " + std::to_string(x + dx) + ", " +
                   std::to_string(4095 - y - dy) + ", X'" + hex + "');";
        }
    }
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

TEST(EvidenceMaps, RouteOverTheMbTilesAndAnInsetThatChangesOnlyItsCorner) {
    test::TempFolder dir;
    const auto rec = Write(dir, kCases[1]);
    WriteGreenTiles(dir.file("green.mbtiles"));
    fs::create_directories(dir.file("out"));
    ASSERT_EQ(Cli({"evidence", rec.path, "--from", "2", "--to", "6", dir.file("out"), "--source",
                   dir.file("green.mbtiles"), "--minimap"}),
              0);
    const std::string pack = dir.file("out/2006-03-30_22-34-11_incident");
    EXPECT_NE(test::ReadText(pack + "/report.html").find("<img class=\"route\" src=\"route.png\""),
              std::string::npos);
    EXPECT_NE(test::ReadText(pack + "/SHA256SUMS").find(" route.png\n"), std::string::npos);
    EXPECT_EQ(QImage(QString::fromStdString(pack + "/route.png")).pixel(5, 5),
              QColor(40, 160, 60).rgb());

    // The inset: a quarter of each side, 8 pixels in from the top-right corner, over green map.
    const Clip clip = ReadClip(pack + "/video.mp4");
    const std::vector<Bytes> ours = OurPlanes(rec.path, 1, 5);
    ASSERT_EQ(clip.lumas.size(), 5u);
    ASSERT_EQ(ours.size(), 5u);
    for (std::size_t k = 0; k < ours.size(); ++k) {
        const Bytes& theirs = clip.lumas[k];
        double in = 0, out = 0;  // squared differences inside the inset and elsewhere
        for (std::size_t i = 0; i < 640 * 408; ++i) {  // above the band
            const bool inset = i % 640 >= 472 && i % 640 < 632 && i / 640 >= 8 && i / 640 < 128;
            (inset ? in : out) += (ours[k][i] - theirs[i]) * (ours[k][i] - theirs[i]);
        }
        EXPECT_LT(out / (640 * 408 - 160 * 120), 65.0) << k;  // above 30 dB
        EXPECT_GT(in / (160 * 120), 650.0) << k;              // below 20 dB
        EXPECT_NEAR(theirs[20 * 640 + 484], 113, 8) << k;     // the tiles' green
    }
}

// Two recordings of one trip in a folder; the stretch runs from the first into the second,
// with a hard braking (40 to 20 knots in a second) in the second.
TEST(EvidenceTrip, StretchAcrossAJoinInTheZoneAndUnitChosen) {
    const Case c{320, 240, 3, 25, 6, 4, 10};
    test::TempFolder dir;
    fs::create_directories(dir.file("trip"));
    fs::create_directories(dir.file("out"));
    const auto braking = [](int i) { return i < 8 ? 40 : 20; };
    const auto a = Write(dir, c, "trip/a.m1v", 0, braking);
    const auto b = Write(dir, c, "trip/b.m1v", 6, braking);
    ASSERT_EQ(Cli({"evidence", dir.file("trip"), "--trip", "1", "--from", "4", "--to", "10",
                   dir.file("out"), "--tz", "Europe/Warsaw", "--units", "mph"}),
              0);
    const std::string pack = dir.file("out/2006-03-31_00-34-13_incident");  // CEST, UTC+2

    // a's header, a from picture 4 to its end, b up to the end of its picture 4.
    Bytes trip = a.writer.bytes();
    trip.insert(trip.end(), b.writer.bytes().begin(), b.writer.bytes().end());
    const Bytes fragment = test::Fragment(
        trip, a.writer.pictures()[3].picturePos,
        static_cast<std::int64_t>(a.writer.bytes().size()) + b.writer.pictures()[3].endCodePos);
    EXPECT_EQ(test::ReadBytes(pack + "/original.m1v"), fragment);
    ASSERT_EQ(Cli({"cut", dir.file("trip"), "--trip", "1", "--from", "4", "--to", "10",
                   dir.file("cut.m1v")}),
              0);
    EXPECT_EQ(test::ReadBytes(dir.file("cut.m1v")), fragment);
    EXPECT_EQ(ReadClip(pack + "/video.mp4").lumas.size(), 7u);

    const std::string report = test::ReadText(pack + "/report.html");
    for (const char* text :
         {"<td>a.m1v</td><td>4 – 6</td>", "<td>b.m1v</td><td>1 – 4</td>",
          "2006-03-31 00:34:13 Europe/Warsaw (UTC+02)<br>2006-03-30 22:34:13 UTC",
          "Gwałtowne hamowanie", "46.0 mph → 23.0 mph",
          "<a href=\"picture-8.png\">b.m1v, obraz 2</a>",
          "Mapy trasy nie ma: nie ustawiono źródła map"}) {
        EXPECT_NE(report.find(text), std::string::npos) << text;
    }
    EXPECT_TRUE(fs::exists(pack + "/picture-8.png"));
    EXPECT_NE(test::ReadText(pack + "/track.csv").find(",2006-03-31T00:34:13+02:00,"),
              std::string::npos);

    // Thresholds of the command line, in km/h whatever the unit shown: the drop of 37 km/h
    // is no hard braking under 50, and 40 knots (74 km/h) is speeding over 60.
    fs::create_directories(dir.file("out2"));
    ASSERT_EQ(
        Cli({"evidence", dir.file("trip"), "--trip", "1", "--from", "4", "--to", "10",
             dir.file("out2"), "--units", "mph", "--hard-braking", "50", "--speed-limit", "60"}),
        0);
    const std::string strict =
        test::ReadText(dir.file("out2/2006-03-30_22-34-13_incident") + "/report.html");
    EXPECT_EQ(strict.find("Gwałtowne hamowanie"), std::string::npos);
    EXPECT_NE(strict.find("hamowanie o ponad 31.1 mph"), std::string::npos);
    EXPECT_NE(strict.find("jazda powyżej 37.3 mph"), std::string::npos);
    EXPECT_EQ(Cli({"evidence", a.path, "--from", "1", "--to", "2", dir.file("out2"),
                   "--speed-limit", "0"}),
              2);
}

}  // namespace
}  // namespace droskal::evidence

int main(int argc, char** argv) {
    // No map source but what a test names: the user's own settings stay out.
    setenv("XDG_CONFIG_HOME", (::testing::TempDir() + "droskal-no-settings").c_str(), 1);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
