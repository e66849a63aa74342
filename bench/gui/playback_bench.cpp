// Pictures shown per second while playing at speed 2 (every fifth picture, no pacing) on a
// real window with the offscreen platform: searches, decoding, drawing and event rounds.
#include <QApplication>
#include <QTemporaryDir>

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
        picture.slice = droskal::EncodeIntraSlice(droskal::RgbToYuvPicture(rgb.data(), 640, 480), 4);
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
    for (auto _ : state) {
        form.cmdDownE_Click();
        form.cmdUpFF_Click();  // plays to the end of the recording
    }
    state.counters["pictures/s"] =
        benchmark::Counter(static_cast<double>(shown), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlaySpeed2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
