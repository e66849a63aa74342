// What the core tests share: a scratch folder, files and frame buffers, an observer that counts
// what the searches report, and pictures and recordings built with the encoder and the
// recorder-stream writer.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder/PictureFormat.h"
#include "stream/Searches.h"
#include "stream/StreamFile.h"
#include "tools/IntraEncoder.h"
#include "tools/RecorderWriter.h"

namespace droskal::test {

using Bytes = std::vector<std::uint8_t>;

class TempFolder {
  public:
    TempFolder() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::path(::testing::TempDir()) /
                ("droskal_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string write(const std::string& name, const Bytes& bytes) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file(name);
    }

  private:
    std::filesystem::path path_;
};

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A frame buffer holding `payload` followed by a sequence end code, zeros after it.
inline std::unique_ptr<FrameBuffer> FrameOf(const Bytes& payload) {
    auto frame = std::make_unique<FrameBuffer>();
    frame->fill(0);
    const std::uint8_t end[4] = {0, 0, 1, 0xB7};
    std::copy(payload.begin(), payload.end(), frame->begin());
    std::copy(end, end + 4, frame->begin() + static_cast<std::ptrdiff_t>(payload.size()));
    return frame;
}

// Slice payloads (after 00 00 01 01, before the next start code) of a stream with one slice
// a picture, such as the peer-encoded fixtures.
inline std::vector<Bytes> SlicePayloads(const Bytes& s) {
    std::vector<Bytes> out;
    std::size_t start = 0;
    bool inSlice = false;
    for (std::size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) continue;
        if (inSlice)
            out.emplace_back(s.begin() + static_cast<std::ptrdiff_t>(start),
                             s.begin() + static_cast<std::ptrdiff_t>(i));
        EXPECT_FALSE(s[i + 3] > 0x01 && s[i + 3] <= 0xAF) << "picture with several slices";
        inSlice = s[i + 3] == 0x01;
        start = i + 4;
        i += 3;
    }
    if (inSlice) out.emplace_back(s.begin() + static_cast<std::ptrdiff_t>(start), s.end());
    return out;
}

inline std::string Fixture(const std::string& name) {
    return std::string(DROSKAL_TEST_DATA) + "/fixtures/" + name;
}

// Counts the reports.
struct CountingObserver final : StreamObserver {
    void SetPlayCounter(bool reset) override {
        EXPECT_FALSE(reset);
        ++counters;
    }
    void ShowNmea() override { ++sentences; }

    int counters = 0;
    int sentences = 0;
};

inline SequenceHeader Header(int width, int height) {
    SequenceHeader h;
    h.width = width;
    h.height = height;
    return h;
}

// Bytes that hold no start code prefix (never two zeros in a row).
inline Bytes NoCodeBytes(std::size_t n, std::uint32_t seed) {
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

// An intra-coded picture: noise from `seed`, or a gradient shifted by `index` when seed is 0.
inline Bytes EncodedPicture(int width, int height, int quantiser, std::uint32_t seed,
                            int index = 0) {
    std::mt19937 rng(seed);
    Bytes rgb(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        const int x = static_cast<int>(i / 3 % static_cast<std::size_t>(width));
        const int y = static_cast<int>(i / 3 / static_cast<std::size_t>(width));
        const int gradient[3] = {x * 255 / width + index * 30, y * 255 / height,
                                 ((x / 16 + y / 16 + index) % 2) ? 200 : 50};
        rgb[i] = static_cast<std::uint8_t>(seed ? rng() : static_cast<unsigned>(gradient[i % 3]));
    }
    return EncodeIntraSlice(RgbToYuvPicture(rgb.data(), width, height), quantiser);
}

// A drive's recording: `count` pictures one second apart from `startSeconds` (UTC seconds of
// 30.03.2006), moving north 0.0001 degree (11 m) a second; without sentences when
// startSeconds < 0. The slices are real pictures when `encoded`, else stand-ins of
// `sliceBytes` bytes.
inline RecorderWriter DriveRecording(int width, int count, double startSeconds,
                                     bool encoded = false, std::size_t sliceBytes = 2) {
    RecorderWriter writer(Header(width, width * 3 / 4));
    for (int i = 0; i < count; ++i) {
        RecorderPicture picture;
        picture.temporalReference = i;
        if (startSeconds >= 0) {
            RmcFields fields;
            fields.time = FormatRmcTime(startSeconds + i);
            fields.lat = FormatLatitude(52.0 + 0.0001 * (startSeconds + i));
            // A closing byte no parse would forgive: readers that keep it lose the sentence.
            picture.userData.push_back(RecorderUserData(BuildGprmc(fields), 'x'));
        }
        picture.slice =
            encoded ? EncodedPicture(width, width * 3 / 4, 12, 0, i) : NoCodeBytes(sliceBytes, 7);
        writer.addPicture(picture);
    }
    return writer;
}

}  // namespace droskal::test
