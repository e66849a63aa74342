#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "stream/Searches.h"
#include "stream/StreamFile.h"
#include "tools/RecorderWriter.h"

namespace droskal {
namespace {

struct NullObserver final : StreamObserver {
    void SetPlayCounter(bool) override {}
    void ShowNmea() override {}
};

// Bytes that never form a start code: the searches run to their limits.
std::vector<std::uint8_t> NoCodes(std::size_t n) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(0x20 + i % 200);
    return b;
}

std::string WriteTemp(const std::vector<std::uint8_t>& bytes) {
    char name[] = "/tmp/droskal-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    close(fd);
    return name;
}

void ForwardScan(benchmark::State& state, bool fromFile) {
    const auto bytes = NoCodes(kPictureSearchLimit + 16);
    const std::string path = fromFile ? WriteTemp(bytes) : std::string();
    StreamFile f;
    std::string error;
    if (fromFile) {
        if (f.open(path, error) != OpenStatus::Ok) std::abort();
    } else {
        f.openMemory(bytes);
    }
    NullObserver obs;
    std::int64_t picturePos = 0;
    for (auto _ : state) {
        std::uint8_t x;
        f.readAt(1, x);
        f.setReadPosition(0);
        benchmark::DoNotOptimize(FindStartUp(f, picturePos, obs));
    }
    state.SetBytesProcessed(state.iterations() * kPictureSearchLimit);
    if (fromFile) std::remove(path.c_str());
}

void BM_FindStartUpMemory(benchmark::State& state) { ForwardScan(state, false); }
void BM_FindStartUpFile(benchmark::State& state) { ForwardScan(state, true); }

void BM_FindStartDownFile(benchmark::State& state) {
    const auto bytes = NoCodes(kPictureSearchLimit + 1024);
    const std::string path = WriteTemp(bytes);
    StreamFile f;
    std::string error;
    if (f.open(path, error) != OpenStatus::Ok) std::abort();
    NullObserver obs;
    for (auto _ : state) {
        std::int64_t picturePos = f.length();
        benchmark::DoNotOptimize(FindStartDown(f, picturePos, obs));
    }
    state.SetBytesProcessed(state.iterations() * kPictureSearchLimit);
    std::remove(path.c_str());
}

// A recording of 100 pictures of about 40 KB, read forward as playback does.
void BM_WalkRecording(benchmark::State& state) {
    RecorderWriter w;
    for (int i = 0; i < 100; ++i) {
        RecorderPicture pic;
        pic.userData.push_back(RecorderUserData(BuildGprmc(RmcFields{})));
        pic.slice = NoCodes(40000);
        w.addPicture(pic);
    }
    const std::string path = WriteTemp(w.bytes());
    StreamFile f;
    std::string error;
    if (f.open(path, error) != OpenStatus::Ok) std::abort();
    NullObserver obs;
    auto frame = std::make_unique<FrameBuffer>();
    std::string nmeaText;
    for (auto _ : state) {
        std::uint8_t x;
        f.readAt(1, x);
        std::int64_t picturePos = 0;
        int pictures = 0;
        while (FindStartUp(f, picturePos, obs) && FindPicStart(f, nmeaText, obs) && ReadFrame(f, *frame)) {
            ++pictures;
        }
        if (pictures != 100) state.SkipWithError("walk lost pictures");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(w.bytes().size()));
    std::remove(path.c_str());
}

BENCHMARK(BM_FindStartUpMemory);
BENCHMARK(BM_FindStartUpFile);
BENCHMARK(BM_FindStartDownFile);
BENCHMARK(BM_WalkRecording);

}  // namespace
}  // namespace droskal
