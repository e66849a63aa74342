#pragma once

#include <cstdint>
#include <vector>

#include "tools/generators/DemoMap.h"
#include "tools/generators/DemoRoute.h"

namespace droskal {

inline constexpr int kSceneWidth = 640;
inline constexpr int kSceneHeight = 480;

// The forward view from the car on the demo drive. What lines the road is read from the map
// beside the track: facades along blocks, trees in parks, railings on the bridge.
class DemoScene {
  public:
    // `ground` is the map without degree lines; both must outlive the scene.
    DemoScene(const IndexedImage& ground, const DemoTrack& track);

    // Packed RGB, rows top-down, kSceneWidth x kSceneHeight. Safe to call from several
    // threads, each with its own buffer.
    void render(const RouteState& state, std::vector<std::uint8_t>& rgb) const;

  private:
    const IndexedImage& ground_;
    const DemoTrack& track_;
    std::vector<std::uint8_t> skyline_;  // height above the horizon per tenth of a degree
};

// The whole demo recording, laid out as the recorder writes it. Pictures are drawn and
// encoded on `threads` threads (0: one per core).
std::vector<std::uint8_t> MakeDemoRecording(int quantiserScale, unsigned threads = 0);

}  // namespace droskal
