// Playback on a real window with the offscreen platform:
// - pictures shown per second at speed 2 with no delay (searches, decoding, drawing and
//   event rounds as fast as they go);
// - the processor time speed-1 playback of the demo drive takes per second of playing, at
//   its configured pace: the wait between pictures must sleep, not spin.
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <time.h>

#include <benchmark/benchmark.h>

#include <vector>

#include "app/Form1.h"
#include "app/QtDesktop.h"
#include "tools/IntraEncoder.h"
#include "tools/RecorderWriter.h"

namespace {

QString WriteDemo(const QString& path, int count) {
    droskal::RecorderWriter writer;
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    for (int i = 0; i < count; ++i) {
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * 640 + x) * 3];
                p[0] = static_cast<std::uint8_t>(x + i * 7);
                p[1] = static_cast<std::uint8_t>(y ^ x);
                p[2] = static_cast<std::uint8_t>((x / 40 + y / 40 + i) % 2 ? 220 : 30);
            }
        }
        droskal::RecorderPicture picture;
        picture.userData.push_back(droskal::RecorderUserData(droskal::BuildGprmc({})));
        picture.slice =
            droskal::EncodeIntraSlice(droskal::RgbToYuvPicture(rgb.data(), 640, 480), 4);
        writer.addPicture(picture);
    }
    writer.writeFile(path.toStdString());
    return path;
}

void BM_PlaySpeed2(benchmark::State& state) {
    QTemporaryDir dir;
    const QString recording = WriteDemo(dir.path() + "/bench.m1v", 250);
    droskal::QtDesktop desktop;
    droskal::Form1 form(desktop, droskal::StartupInfo{recording, dir.path(), "DroskalBench"});
    form.Form_Load();
    form.show();
    std::int64_t shown = 0;
    form.onPictureShown = [&shown] { ++shown; };
    form.state.playDelay = 0;  // as fast as it goes
    for (auto _ : state) {
        form.cmdDownE_Click();
        form.cmdUpFF_Click();  // plays to the end of the recording
    }
    state.counters["pictures/s"] =
        benchmark::Counter(static_cast<double>(shown), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlaySpeed2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Five seconds of speed-1 playback of the demo drive at the default delay (0.1 s).
void BM_PlaySpeed1CpuShare(benchmark::State& state) {
    QTemporaryDir dir;  // no Droskal.ini there: the default delay
    const QString demo = QString::fromUtf8(DROSKAL_DEMO_FILE);
    if (!QFileInfo::exists(demo)) {
        state.SkipWithError("the demo recording is missing; build the demo_assets target");
        return;
    }
    droskal::QtDesktop desktop;
    droskal::Form1 form(desktop, droskal::StartupInfo{demo, dir.path(), "DroskalBench"});
    form.Form_Load();
    form.show();
    std::int64_t shown = 0;
    form.onPictureShown = [&shown] { ++shown; };
    constexpr int kPlayMilliseconds = 5000;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        form.cmdDownE_Click();
        QTimer::singleShot(kPlayMilliseconds, &form, [&form] { form.cmdStop_Click(); });
        const double cpu0 = ProcessCpuSeconds();
        const double wall0 = desktop.MonotonicSeconds();
        form.cmdUpF_Click();
        cpu += ProcessCpuSeconds() - cpu0;
        wall += desktop.MonotonicSeconds() - wall0;
    }
    state.counters["cpu_share_%"] = 100.0 * cpu / wall;
    state.counters["pictures/s"] = static_cast<double>(shown) / wall;
}
BENCHMARK(BM_PlaySpeed1CpuShare)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
