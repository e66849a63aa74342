// droskal-make-map OUT.gif: writes the demo city map for the default calibration.
#include <cstdio>
#include <string>

#include "tools/generators/DemoMap.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.gif\n", argv[0]);
        return 2;
    }
    const droskal::IndexedImage map =
        droskal::AddDegreeGrid(droskal::RenderDemoMap(droskal::MakeDemoMapLayout()));
    std::string error;
    if (!droskal::WriteGif(argv[1], map, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
