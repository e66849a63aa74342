// How fast the picture index scans a trip from the page cache: a 1 GB trip of 25 files, each
// a generated 640x480 recording with sentences written several times over, in /tmp (removed
// afterwards). Reported as bytes per second; the goal is at least 1 GB/s.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "recording/PictureIndex.h"
#include "tools/IntraEncoder.h"
#include "tools/RecorderWriter.h"

namespace droskal {
namespace {

constexpr int kFiles = 25;
constexpr std::size_t kFileBytes = 40 * 1000 * 1000;

std::vector<std::uint8_t> Recording() {
    RecorderWriter writer;
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    for (int i = 0; i < 25; ++i) {
        for (std::size_t p = 0; p < rgb.size(); ++p)
            rgb[p] = static_cast<std::uint8_t>(p * 7 / 3 + i * 11 + (p >> 9));
        RmcFields fields;
        fields.time = FormatRmcTime(3600 + i);
        RecorderPicture picture;
        picture.userData.push_back(RecorderUserData(BuildGprmc(fields)));
        picture.slice = EncodeIntraSlice(RgbToYuvPicture(rgb.data(), 640, 480), 4);
        writer.addPicture(picture);
    }
    return writer.bytes();
}

struct Trip1GB {
    std::vector<std::string> paths;
    std::int64_t bytes = 0;
    Trip1GB() {
        const std::vector<std::uint8_t> one = Recording();
        std::vector<std::uint8_t> file;
        while (file.size() + one.size() <= kFileBytes)
            file.insert(file.end(), one.begin(), one.end());
        for (int f = 0; f < kFiles; ++f) {
            char name[] = "/tmp/droskal-index-bench-XXXXXX";
            const int fd = mkstemp(name);
            if (fd < 0 || write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size()))
                std::abort();
            close(fd);
            paths.push_back(name);
            bytes += static_cast<std::int64_t>(file.size());
        }
    }
    ~Trip1GB() {
        for (const auto& p : paths) std::remove(p.c_str());
    }
};

void BM_IndexScan(benchmark::State& state) {
    static Trip1GB trip;
    std::atomic<bool> cancelled{false};
    std::size_t pictures = 0;
    for (auto _ : state) {
        pictures = 0;
        std::optional<ReadFailure> failure;
        PictureIndex::Scan(
            trip.paths, [&](std::vector<IndexedPicture>& batch) { pictures += batch.size(); }, {},
            cancelled, failure);
        if (failure) state.SkipWithError("a file of the trip failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * trip.bytes);
    state.counters["pictures"] = static_cast<double>(pictures);
    state.counters["GB"] = static_cast<double>(trip.bytes) / 1e9;
}
BENCHMARK(BM_IndexScan)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
}  // namespace droskal
