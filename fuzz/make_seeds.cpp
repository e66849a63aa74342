// Writes the seed corpora of the fuzz targets into the folder given (fuzz/corpus): small
// recordings of both formats from the recorder writer and the intra encoder, some of them
// damaged the ways memory cards damage them, and frame buffers cut out of them.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/IntraEncoder.h"
#include "tools/RecorderWriter.h"

namespace {

using namespace droskal;
namespace fs = std::filesystem;

// Smooth pictures at a coarse quantiser keep the seeds a few kilobytes small while every
// macroblock still carries DC terms and a few AC codes.
std::vector<std::uint8_t> Slice(int width, int height, int index, int quantiser) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / width);
            p[1] = static_cast<std::uint8_t>(y * 255 / height);
            p[2] = static_cast<std::uint8_t>(((x / 64 + y / 64 + index) % 2) ? 180 : 60);
        }
    }
    return EncodeIntraSlice(RgbToYuvPicture(rgb.data(), width, height), quantiser);
}

std::vector<std::uint8_t> Recording(int width, int height, int count, int quantiser,
                                    bool loadedMatrix = false, bool lastEndCode = true) {
    SequenceHeader header;
    header.width = width;
    header.height = height;
    if (loadedMatrix) {
        std::array<std::uint8_t, 64> matrix{};
        for (int i = 0; i < 64; ++i)
            matrix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(8 + i);
        header.intraMatrix = matrix;
    }
    RecorderWriter writer(header);
    for (int i = 0; i < count; ++i) {
        RmcFields fields;
        fields.speedKnots = std::to_string(10 + i) + ".5";
        RecorderPicture picture;
        picture.temporalReference = i;
        picture.userData.push_back(RecorderUserData(BuildGprmc(fields)));
        if (i == 1) picture.userData.push_back(RecorderUserData("$GPRMC,second"));
        picture.slice = Slice(width, height, i, quantiser);
        picture.endCode = lastEndCode || i + 1 < count;
        writer.addPicture(picture);
    }
    return writer.bytes();
}

void Write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void Write(const fs::path& path, const std::string& text) {
    Write(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path top = argv[1];

    const fs::path walk = top / "fuzz_stream_walk";
    const auto cif = Recording(320, 240, 3, 31);
    Write(walk / "cif3.m1v", cif);
    Write(walk / "vga1.m1v", Recording(640, 480, 1, 31));
    Write(walk / "cif_matrix.m1v", Recording(320, 240, 2, 24, true));
    Write(walk / "cif_cut_off.m1v", Recording(320, 240, 2, 31, false, false));
    Write(walk / "cif_half.m1v",
          std::vector<std::uint8_t>(cif.begin(), cif.begin() + static_cast<long>(cif.size() / 2)));

    const fs::path frame = top / "fuzz_frame_decode";
    auto withControl = [](std::uint8_t control, std::vector<std::uint8_t> slice) {
        slice.insert(slice.begin(), control);
        // The recorder's frame buffer ends with the sequence end code.
        for (std::uint8_t b : {0x00, 0x00, 0x01, 0xB7}) slice.push_back(b);
        return slice;
    };
    Write(frame / "vga.bin", withControl(0, Slice(640, 480, 0, 31)));
    Write(frame / "cif.bin", withControl(1, Slice(320, 240, 1, 31)));
    Write(frame / "cif_fine.bin", withControl(1, Slice(320, 240, 2, 2)));

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
