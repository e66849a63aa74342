// The evidence pack of 60 s of the demo drive (600 pictures of 640x480 at 10 pictures a
// second): fragment, decoding, caption band, H.264 clip, key pictures, events, route map,
// report and checksums; with argument 1 also the map inset in every picture.
#include <QGuiApplication>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <benchmark/benchmark.h>

#include "evidence/Pack.h"
#include "evidence/QtBand.h"
#include "evidence/QtMap.h"
#include "tools/generators/DemoMap.h"
#include "tools/generators/DemoScene.h"

namespace droskal::evidence {
namespace {

void PackOfSixtySeconds(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("droskal-pack-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "out");
    const std::vector<std::uint8_t> bytes = MakeDemoRecording(8);
    const std::string recording = (dir / "demo.m1v").string();
    std::ofstream(recording, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    PackRequest request;
    request.recording = recording;
    request.parentFolder = (dir / "out").string();
    request.band = QtBandPainter();
    const std::string map = (dir / "map.gif").string();
    WriteGif(map, AddDegreeGrid(RenderDemoMap(MakeDemoMapLayout())));
    PackMapSetup maps;
    maps.chosen << QString::fromStdString(map);
    request.maps = PackMapsFrom(maps);
    request.minimap = state.range(0) == 1;
    std::string error;
    if (!MarksForPictures(recording, 0, 1, 600, request.cutStart, request.cutEnd, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    PackFolder folder;
    for (auto _ : state) {
        const PackResult result = BuildEvidencePack(request, folder, nullptr, nullptr);
        if (result.status != PackResult::Status::Done) {
            state.SkipWithError(result.error.c_str());
            break;
        }
        state.PauseTiming();
        fs::remove_all(result.folder);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 600);
    fs::remove_all(dir);
}
BENCHMARK(PackOfSixtySeconds)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace droskal::evidence

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
