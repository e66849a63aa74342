// Writes the seed corpora of the fuzz targets into the folder given (fuzz/corpus): small
// recordings of both formats from the recorder writer and the intra encoder, some of them
// damaged the ways memory cards damage them, and frame buffers cut out of them.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

using namespace droskal;
using namespace droskal::test;
namespace fs = std::filesystem;

// A coarse quantiser keeps the seeds a few kilobytes small while every macroblock still
// carries DC terms and a few AC codes.
Bytes Recording(int width, int count, int quantiser, bool loadedMatrix = false,
                bool lastEndCode = true) {
    RecordingPlan plan{
        .width = width, .height = width * 3 / 4, .count = count, .quantiser = quantiser};
    plan.sentence = [](int i) { return Sentence({.knots = std::to_string(10 + i) + ".5"}); };
    plan.loadedMatrix = loadedMatrix;
    plan.lastEndCode = lastEndCode;
    return BuildRecording(plan).bytes();
}

void Write(const fs::path& path, const std::string& text) {
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path top = argv[1];

    const fs::path walk = top / "fuzz_stream_walk";
    const Bytes cif = Recording(320, 3, 31);
    WriteBytes(walk / "cif3.m1v", cif);
    WriteBytes(walk / "vga1.m1v", Recording(640, 1, 31));
    WriteBytes(walk / "cif_matrix.m1v", Recording(320, 2, 24, true));
    WriteBytes(walk / "cif_cut_off.m1v", Recording(320, 2, 31, false, false));
    WriteBytes(walk / "cif_half.m1v",
               Bytes(cif.begin(), cif.begin() + static_cast<long>(cif.size() / 2)));

    const fs::path frame = top / "fuzz_frame_decode";
    auto withControl = [](std::uint8_t control, Bytes slice) {
        slice.insert(slice.begin(), control);
        // The recorder's frame buffer ends with the sequence end code.
        for (std::uint8_t b : {0x00, 0x00, 0x01, 0xB7}) slice.push_back(b);
        return slice;
    };
    WriteBytes(frame / "vga.bin", withControl(0, EncodedPicture(640, 480, 31, 0, 0)));
    WriteBytes(frame / "cif.bin", withControl(1, EncodedPicture(320, 240, 31, 0, 1)));
    WriteBytes(frame / "cif_fine.bin", withControl(1, EncodedPicture(320, 240, 2, 0, 2)));

    const fs::path nmea = top / "fuzz_nmea";
    RmcFields fields;
    Write(nmea / "full.txt", BuildGprmc(fields));
    fields.status = "V";
    fields.speedKnots = "";
    fields.checksum = false;
    Write(nmea / "void_empty_speed.txt", BuildGprmc(fields));
    Write(nmea / "cut.txt", std::string("$GPRMC,223416.000,A,5212.3456,N"));
    Write(nmea / "not_rmc.txt",
          std::string("PRMC,223416.000,A,5212.3456,N,02101.2345,E,0.27,45.6,300306,,*"));

    const fs::path ini = top / "fuzz_ini";
    Write(ini / "good.ini", std::string("PLAYSPEED1=0.1\r\nMAPLAT1=52.41674\r\nMAPLAT2=52.80114\r\n"
                                        "MAPLON1=20.79139\r\nMAPLON2=20.2325\r\n"));
    Write(ini / "odd.ini",
          std::string("  playspeed1=&H10,\"MAPLAT1=1.5D2\",x\nMAPLAT2 = -3e-2\rMAPLON1=\n"
                      "\"unterminated=4\nMAPLON2=&O17\n[Setup]\nKEY=1,2,,3\n"));
    return 0;
}
