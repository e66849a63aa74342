// Walks a recording from memory as playback does (FindStartUp, FindPicStart, ReadFrame) and
// decodes and converts every picture, single thread. Prints pictures/s as its last line so
// scripts can read it the same way as from droskal-cli bench.
//
//   droskal-walk FILE [--repeat N]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "decoder/Decoder.h"
#include "decoder/PictureFormat.h"
#include "decoder/SequenceHeader.h"
#include "stream/Searches.h"
#include "stream/StreamFile.h"

namespace {

struct Quiet final : droskal::StreamObserver {
    void SetPlayCounter(bool) override {}
    void ShowNmea() override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: droskal-walk FILE [--repeat N]\n");
        return 2;
    }
    int repeat = 1;
    if (argc >= 4 && std::strcmp(argv[2], "--repeat") == 0) repeat = std::max(1, std::atoi(argv[3]));
    std::vector<std::uint8_t> bytes;
    if (std::FILE* in = std::fopen(argv[1], "rb")) {
        std::fseek(in, 0, SEEK_END);
        bytes.resize(static_cast<std::size_t>(std::max(0L, std::ftell(in))));
        std::fseek(in, 0, SEEK_SET);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
        std::fclose(in);
    }
    if (bytes.size() < 7) {
        std::fprintf(stderr, "droskal-walk: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::uint8_t picFormat = droskal::PictureFormatFromHeader(bytes.data());
    const droskal::PictureFormatInfo* fmt = droskal::FormatInfo(picFormat);
    if (!fmt) {
        std::fprintf(stderr, "droskal-walk: not a 640x480 or 320x240 recording\n");
        return 1;
    }
    droskal::Decoder decoder;
    const auto matrix = droskal::IntraMatrixFromSequenceHeader(bytes.data(), bytes.size());
    decoder.SetIntraMatrix(matrix ? matrix->data() : nullptr);

    droskal::StreamFile file;
    file.openMemory(std::move(bytes));
    auto frame = std::make_unique<droskal::FrameBuffer>();
    frame->fill(0);
    std::vector<std::uint8_t> picBuf(static_cast<std::size_t>(fmt->pixelCount) * 3);
    Quiet quiet;
    std::string nmeaText;
    long pictures = 0;
    long failed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < repeat; ++r) {
        std::uint8_t first;
        file.readAt(1, first);
        file.setReadPosition(7);  // where the format check leaves it
        std::int64_t picturePos = 0;
        while (droskal::FindStartUp(file, picturePos, quiet) &&
               droskal::FindPicStart(file, nmeaText, quiet) && droskal::ReadFrame(file, *frame)) {
            if (!decoder.DecodePicture(*frame, picFormat, picBuf.data())) ++failed;
            ++pictures;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld pictures, %ld abandoned, checksum %u\n", pictures, failed,
                static_cast<unsigned>(picBuf[picBuf.size() / 2] + picBuf[7]));
    std::printf("%.1f pictures/s\n", seconds > 0 ? static_cast<double>(pictures) / seconds : 0.0);
    return pictures > 0 ? 0 : 1;
}
