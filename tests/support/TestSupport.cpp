#include "TestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>

#include "tools/IntraEncoder.h"

namespace droskal::test {

Bytes NoCodeBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    std::uint8_t prev = 1;
    for (auto& x : b) {
        x = static_cast<std::uint8_t>(rng());
        if (x == 0 && prev == 0) x = 0x5A;
        prev = x;
    }
    return b;
}

Bytes EncodedPicture(int width, int height, int quantiser, std::uint32_t seed, int index) {
    std::mt19937 rng(seed);
    Bytes rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(seed ? rng() : static_cast<unsigned>(x + index * 16));
            p[1] =
                static_cast<std::uint8_t>(seed ? rng() : static_cast<unsigned>(y * 255 / height));
            p[2] = static_cast<std::uint8_t>(seed                            ? rng()
                                             : (x / 32 + y / 32 + index) % 2 ? 200
                                                                             : 40);
        }
    }
    return EncodeIntraSlice(RgbToYuvPicture(rgb.data(), width, height), quantiser);
}

std::string Sentence(const Fix& fix) {
    RmcFields f;
    f.time = FormatRmcTime(fix.seconds);
    f.status = fix.status;
    f.lat = FormatLatitude(fix.lat);
    f.latHemisphere = fix.lat < 0 ? "S" : "N";
    f.lon = FormatLongitude(fix.lon);
    f.lonHemisphere = fix.lon < 0 ? "W" : "E";
    f.speedKnots = fix.knots;
    f.date = fix.date;
    return BuildGprmc(f);
}

RecorderWriter BuildRecording(const RecordingPlan& plan) {
    SequenceHeader header{
        .width = plan.width, .height = plan.height, .pictureRate = plan.pictureRate};
    if (plan.loadedMatrix) {
        std::array<std::uint8_t, 64> matrix{};
        for (std::size_t i = 0; i < 64; ++i) matrix[i] = static_cast<std::uint8_t>(8 + i);
        header.intraMatrix = matrix;
    }
    RecorderWriter writer(header);
    for (int i = 0; i < plan.count; ++i) {
        RecorderPicture picture;
        picture.temporalReference = i;
        const std::string sentence = plan.sentence ? plan.sentence(i) : "";
        if (!sentence.empty())
            picture.userData.push_back(RecorderUserData(sentence, plan.closingByte));
        picture.slice = plan.quantiser > 0
                            ? EncodedPicture(plan.width, plan.height, plan.quantiser, 0, i)
                            : NoCodeBytes(plan.sliceBytes, 7);
        picture.endCode = plan.lastEndCode || i + 1 < plan.count;
        picture.junkAfter.assign(static_cast<std::size_t>(plan.junkAfter), 0);
        writer.addPicture(picture);
    }
    return writer;
}

RecorderWriter DriveRecording(int width, int count, double startSeconds, bool encoded,
                              std::size_t sliceBytes) {
    RecordingPlan plan{
        .width = width, .height = width * 3 / 4, .count = count, .quantiser = encoded ? 12 : 0};
    if (startSeconds >= 0) {
        plan.sentence = [startSeconds](int i) {
            return Sentence(
                {.seconds = startSeconds + i, .lat = 52.0 + 0.0001 * (startSeconds + i)});
        };
    }
    plan.sliceBytes = sliceBytes;
    // A closing byte no parse would forgive: readers that keep it lose the sentence.
    plan.closingByte = 'x';
    return BuildRecording(plan);
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("droskal_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::write(const std::string& name, const Bytes& bytes) const {
    WriteBytes(path_ / name, bytes);
    return file(name);
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

Bytes Fragment(const Bytes& recording, std::int64_t picturePos, std::int64_t end) {
    Bytes out(recording.begin(), recording.begin() + 20);
    // Byte by byte: GCC 12 at -O2 misreads a range insert here as out of bounds.
    for (std::int64_t i = picturePos - 12; i < end; ++i)
        out.push_back(recording[static_cast<std::size_t>(i)]);
    return out;
}

std::unique_ptr<FrameBuffer> FrameOf(const Bytes& payload) {
    auto frame = std::make_unique<FrameBuffer>();
    frame->fill(0);
    const std::uint8_t end[4] = {0, 0, 1, 0xB7};
    std::copy(payload.begin(), payload.end(), frame->begin());
    std::copy(end, end + 4, frame->begin() + static_cast<std::ptrdiff_t>(payload.size()));
    return frame;
}

std::vector<Bytes> SlicePayloads(const Bytes& s) {
    std::vector<Bytes> out;
    std::size_t start = 0;
    bool inSlice = false;
    for (std::size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) continue;
        if (inSlice)
            out.emplace_back(s.begin() + static_cast<std::ptrdiff_t>(start),
                             s.begin() + static_cast<std::ptrdiff_t>(i));
        inSlice = s[i + 3] == 0x01;
        start = i + 4;
        i += 3;
    }
    if (inSlice) out.emplace_back(s.begin() + static_cast<std::ptrdiff_t>(start), s.end());
    return out;
}

}  // namespace droskal::test
