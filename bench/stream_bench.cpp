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
    if (fromFile) {
        if (f.open(path) != 0) std::abort();
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

void BM_FindStartUpMemory(benchmark::State& state) {
    ForwardScan(state, false);
}
void BM_FindStartUpFile(benchmark::State& state) {
    ForwardScan(state, true);
}

void BM_FindStartDownFile(benchmark::State& state) {
    const auto bytes = NoCodes(kPictureSearchLimit + 1024);
    const std::string path = WriteTemp(bytes);
    StreamFile f;
    if (f.open(path) != 0) std::abort();
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
    if (f.open(path) != 0) std::abort();
    NullObserver obs;
    auto frame = std::make_unique<FrameBuffer>();
    std::string nmeaText;
    for (auto _ : state) {
        std::uint8_t x;
        f.readAt(1, x);
        std::int64_t picturePos = 0;
        int pictures = 0;
        while (FindStartUp(f, picturePos, obs) && FindPicStart(f, nmeaText, obs) &&
               ReadFrame(f, *frame)) {
            ++pictures;
        }
        if (pictures != 100) state.SkipWithError("walk lost pictures");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(w.bytes().size()));
    std::remove(path.c_str());
}

// A file without start codes walked to its end by FindStartUp, restarting after each
// 299,999-byte limit as the window would (1 GiB, from the page cache after the first pass).
void BM_ScanFileWithoutCodes(benchmark::State& state) {
    const std::int64_t size = state.range(0) << 20;
    char name[] = "/tmp/droskal-bench-scan-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    const auto chunk = NoCodes(1 << 20);
    for (std::int64_t done = 0; done < size; done += static_cast<std::int64_t>(chunk.size())) {
        if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size()))
            std::abort();
    }
    close(fd);
    StreamFile f;
    if (f.open(name) != 0) std::abort();
    NullObserver obs;
    for (auto _ : state) {
        std::uint8_t x;
        f.readAt(1, x);
        f.setReadPosition(0);
        std::int64_t picturePos = 0;
        int searches = 0;
        while (f.readPosition() < f.length()) {
            if (FindStartUp(f, picturePos, obs)) state.SkipWithError("found a code");
            ++searches;
        }
        benchmark::DoNotOptimize(searches);
    }
    state.SetBytesProcessed(state.iterations() * size);
    std::remove(name);
}
BENCHMARK(BM_ScanFileWithoutCodes)->Arg(1024)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Stepping through a whole recording of 100 pictures of about 40 KB each, forward
// (FindStartUp, FindPicStart, ReadFrame) and backward (FindStartDown, FindPicStart,
// ReadFrame) as the step buttons do; backward may cost at most 1.2x forward.
struct SteppingRecording {
    std::string path;
    StreamFile f;
    std::int64_t size = 0;
    SteppingRecording() {
        RecorderWriter w;
        for (int i = 0; i < 100; ++i) {
            RecorderPicture pic;
            pic.userData.push_back(RecorderUserData(BuildGprmc(RmcFields{})));
            pic.slice = NoCodes(40000);
            w.addPicture(pic);
        }
        path = WriteTemp(w.bytes());
        size = static_cast<std::int64_t>(w.bytes().size());
        if (f.open(path) != 0) std::abort();
    }
    ~SteppingRecording() { std::remove(path.c_str()); }
};

void BM_StepForwardThroughRecording(benchmark::State& state) {
    SteppingRecording rec;
    NullObserver obs;
    auto frame = std::make_unique<FrameBuffer>();
    std::string nmeaText;
    for (auto _ : state) {
        std::uint8_t x;
        rec.f.readAt(1, x);
        std::int64_t picturePos = 0;
        int pictures = 0;
        while (FindStartUp(rec.f, picturePos, obs) && FindPicStart(rec.f, nmeaText, obs) &&
               ReadFrame(rec.f, *frame)) {
            ++pictures;
        }
        if (pictures != 100) state.SkipWithError("walk lost pictures");
    }
    state.SetItemsProcessed(state.iterations() * 100);
    state.SetBytesProcessed(state.iterations() * rec.size);
}

void BM_StepBackwardThroughRecording(benchmark::State& state) {
    SteppingRecording rec;
    NullObserver obs;
    auto frame = std::make_unique<FrameBuffer>();
    std::string nmeaText;
    // Start behind the last picture, as after stepping to the end.
    std::int64_t lastPicture = 0;
    {
        std::uint8_t x;
        rec.f.readAt(1, x);
        std::int64_t p = 0;
        while (FindStartUp(rec.f, p, obs)) lastPicture = p;
    }
    for (auto _ : state) {
        std::int64_t picturePos = lastPicture;
        int pictures = 0;
        while (FindStartDown(rec.f, picturePos, obs) && FindPicStart(rec.f, nmeaText, obs) &&
               ReadFrame(rec.f, *frame)) {
            ++pictures;
        }
        if (pictures != 99) state.SkipWithError("walk lost pictures");
    }
    state.SetItemsProcessed(state.iterations() * 99);
    state.SetBytesProcessed(state.iterations() * rec.size);
}
BENCHMARK(BM_StepForwardThroughRecording);
BENCHMARK(BM_StepBackwardThroughRecording);

BENCHMARK(BM_FindStartUpMemory);
BENCHMARK(BM_FindStartUpFile);
BENCHMARK(BM_FindStartDownFile);
BENCHMARK(BM_WalkRecording);

}  // namespace
}  // namespace droskal
