// droskal-make-demo OUT.m1v [QUANTISER]: writes the demo drive through the demo map's city.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "tools/generators/DemoScene.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUT.m1v [QUANTISER 1-31]\n", argv[0]);
        return 2;
    }
    // 8 keeps the facades' windows sharp at about 20 KB a picture.
    const int quantiser = argc == 3 ? std::atoi(argv[2]) : 8;
    const std::vector<std::uint8_t> bytes = droskal::MakeDemoRecording(quantiser);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
