// Opening a folder of 100 recordings on a real window (offscreen) until its first picture is
// shown, with the picture index building in the background: grouping reads a few pictures at
// each end of every file, the trip opens its first file only. Target: under 300 ms.
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

#include "app/Form1.h"
#include "app/QtDesktop.h"
#include "tools/IntraEncoder.h"
#include "tools/RecorderWriter.h"

namespace {

// 100 files of 50 pictures (2 s each at 25 pictures a second), one drive.
void WriteFolder(const QString& dir) {
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    for (std::size_t p = 0; p < rgb.size(); ++p)
        rgb[p] = static_cast<std::uint8_t>(p * 5 / 3 + (p >> 10));
    const auto slice = droskal::EncodeIntraSlice(droskal::RgbToYuvPicture(rgb.data(), 640, 480), 4);
    for (int f = 0; f < 100; ++f) {
        droskal::RecorderWriter writer;
        for (int i = 0; i < 50; ++i) {
            droskal::RmcFields fields;
            fields.time = droskal::FormatRmcTime(3600 + f * 2 + i / 25.0);
            droskal::RecorderPicture picture;
            picture.userData.push_back(droskal::RecorderUserData(droskal::BuildGprmc(fields)));
            picture.slice = slice;
            writer.addPicture(picture);
        }
        writer.writeFile(QString("%1/%2.m1v").arg(dir).arg(f, 3, 10, QChar('0')).toStdString());
    }
}

void BM_OpenFolderToFirstPicture(benchmark::State& state) {
    QTemporaryDir dir;
    WriteFolder(dir.path());
    droskal::QtDesktop desktop;
    std::size_t files = 0;
    for (auto _ : state) {
        droskal::Form1 form(desktop, droskal::StartupInfo{dir.path(), dir.path(), "DroskalBench"});
        form.Form_Load();
        form.cmdUp_Click();
        files = form.streamFile.files().size();
        state.PauseTiming();
        form.pictureIndex.cancel();
        state.ResumeTiming();
    }
    state.counters["files"] = static_cast<double>(files);
}
BENCHMARK(BM_OpenFolderToFirstPicture)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
