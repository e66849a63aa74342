#include "tools/generators/DemoScene.h"
#include "tools/generators/Noise.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <thread>

#include "tools/IntraEncoder.h"
#include "tools/RecorderWriter.h"

namespace droskal {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kHorizon = 200;
constexpr double kFocal = 430.0;    // pixels
constexpr double kEyeHeight = 1.3;  // metres
constexpr double kSlot = 10.0;      // roadside is decided per 10 m
constexpr int kSlotsAhead = 17;
constexpr int kSkylineSteps = 3600;

struct Rgb {
    double r, g, b;
};

constexpr Rgb kHaze{190, 204, 220};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Hazed(Rgb c, double z) {
    return Mix(c, kHaze, std::min(1.0, z / 260.0));
}

std::uint32_t Hash(std::int64_t a, std::int64_t b) {
    return NoiseHash(a, b, 0x2545F4914F6CDD1Dull);
}

enum class Roadside { Open, Building, Yard, Trees, Field, Water };

Roadside FromMap(std::uint8_t colour) {
    switch (colour) {
        case kMapBuilding:
            return Roadside::Building;
        case kMapYard:
            return Roadside::Yard;
        case kMapPark:
        case kMapForest:
            return Roadside::Trees;
        case kMapWater:
            return Roadside::Water;
        case kMapLand:
            return Roadside::Field;
        default:
            return Roadside::Open;
    }
}

class Frame {
  public:
    explicit Frame(std::vector<std::uint8_t>& rgb) : rgb_(rgb) {
        rgb_.resize(static_cast<std::size_t>(kSceneWidth) * kSceneHeight * 3);
    }
    void set(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= kSceneWidth || y >= kSceneHeight) return;
        std::uint8_t* p = &rgb_[(static_cast<std::size_t>(y) * kSceneWidth + x) * 3];
        p[0] = static_cast<std::uint8_t>(std::clamp(c.r, 0.0, 255.0));
        p[1] = static_cast<std::uint8_t>(std::clamp(c.g, 0.0, 255.0));
        p[2] = static_cast<std::uint8_t>(std::clamp(c.b, 0.0, 255.0));
    }
    void span(int x0, int x1, int y, Rgb c) {
        for (int x = std::max(x0, 0); x < std::min(x1, kSceneWidth); ++x) set(x, y, c);
    }
    void rect(double x0, double y0, double x1, double y1, Rgb c) {
        const int ya = static_cast<int>(std::floor(y0)), yb = static_cast<int>(std::ceil(y1));
        const int xa = static_cast<int>(std::floor(x0)), xb = static_cast<int>(std::ceil(x1));
        for (int y = std::max(ya, 0); y < std::min(yb, kSceneHeight); ++y) span(xa, xb, y, c);
    }
    void disc(double cx, double cy, double r, Rgb light, Rgb dark) {
        for (int y = std::max(0, static_cast<int>(cy - r));
             y <= std::min(kSceneHeight - 1, static_cast<int>(cy + r)); ++y)
            for (int x = std::max(0, static_cast<int>(cx - r));
                 x <= std::min(kSceneWidth - 1, static_cast<int>(cx + r)); ++x) {
                const double dx = x - cx, dy = y - cy;
                if (dx * dx + dy * dy <= r * r) set(x, y, dy + dx * 0.5 > r * 0.2 ? dark : light);
            }
    }

  private:
    std::vector<std::uint8_t>& rgb_;
};

// One picture's camera: where road-relative points land on the screen.
struct Camera {
    double travelled;
    double curvature;
    double cameraOffset;  // metres right of the road's centre line

    // Lateral position of the road's centre, relative to the camera, at distance z.
    double centre(double z) const { return 0.5 * curvature * z * z - cameraOffset; }
    double screenX(double z, double lateral) const {
        return kSceneWidth / 2.0 + kFocal * (centre(z) + lateral) / z;
    }
    double screenY(double z, double height) const {
        return kHorizon + kFocal * (kEyeHeight - height) / z;
    }
};

// A vertical plane along the road, from z near to far at one lateral place, up to `height`;
// the shader colours it by distance along the road and height above the ground.
template <class Shader>
void Plane(Frame& frame, const Camera& cam, double zNear, double zFar, double lateral,
           double height, Shader shade) {
    zNear = std::max(zNear, 1.0);
    if (zFar <= zNear) return;
    const double xNear = cam.screenX(zNear, lateral), xFar = cam.screenX(zFar, lateral);
    const double lo = std::min(xNear, xFar), hi = std::max(xNear, xFar);
    const int c0 = std::max(0, static_cast<int>(std::floor(lo)));
    const int c1 = std::min(kSceneWidth - 1, static_cast<int>(std::ceil(hi)));
    for (int c = c0; c <= c1; ++c) {
        const double t = hi - lo > 1e-9 ? (c - xFar) / (xNear - xFar) : 1.0;
        if (t < 0 || t > 1) continue;
        const double invZ = 1.0 / zFar + (1.0 / zNear - 1.0 / zFar) * t;
        const double z = 1.0 / invZ;
        const int top = std::max(
            0, static_cast<int>(std::floor(kHorizon + kFocal * (kEyeHeight - height) * invZ)));
        const int bottom = std::min(
            kSceneHeight - 1, static_cast<int>(std::ceil(kHorizon + kFocal * kEyeHeight * invZ)));
        for (int r = top; r <= bottom; ++r) {
            const double above = kEyeHeight - (r - kHorizon) / (kFocal * invZ);
            if (above < 0 || above > height) continue;
            Rgb colour;
            if (shade(cam.travelled + z, above, colour)) frame.set(c, r, Hazed(colour, z));
        }
    }
}

void Tree(Frame& frame, const Camera& cam, double z, double lateral, std::uint32_t h) {
    if (z < 1.5) return;
    const double k = kFocal / z;
    const double x = cam.screenX(z, lateral);
    const double ground = cam.screenY(z, 0.0);
    frame.rect(x - 0.18 * k, cam.screenY(z, 2.6), x + 0.18 * k, ground, Hazed({92, 70, 50}, z));
    const double green = 80 + h % 40;
    frame.disc(x, cam.screenY(z, 4.2 + (h >> 8) % 3 * 0.4), (1.8 + (h >> 4) % 3 * 0.3) * k,
               Hazed({50, green + 30, 45}, z), Hazed({35, green, 35}, z));
}

void LampPost(Frame& frame, const Camera& cam, double z, double lateral) {
    if (z < 1.5) return;
    const double k = kFocal / z;
    const double x = cam.screenX(z, lateral);
    const double w = std::max(0.6, 0.09 * k);
    const Rgb grey = Hazed({70, 72, 78}, z);
    frame.rect(x - w, cam.screenY(z, 7.0), x + w, cam.screenY(z, 0.0), grey);
    const double inward = lateral > 0 ? -1.2 : 1.2;
    const double xa = cam.screenX(z, lateral + inward);
    frame.rect(std::min(x, xa), cam.screenY(z, 7.15), std::max(x, xa), cam.screenY(z, 6.9), grey);
    frame.rect(xa - 0.3 * k, cam.screenY(z, 6.95), xa + 0.3 * k, cam.screenY(z, 6.8),
               Hazed({235, 235, 200}, z));
}

// What the view ahead is made of: the camera, the road's width and what lines each 10 m
// slot ahead on the left (0) and the right (1).
struct RoadView {
    Camera cam;
    double travelled;
    bool main;
    double roadHalf;
    long firstSlot;
    std::array<std::array<Roadside, 2>, kSlotsAhead + 1> side;

    std::size_t slotOf(double z) const {
        const long k = static_cast<long>(std::floor((travelled + z) / kSlot)) - firstSlot;
        return static_cast<std::size_t>(std::clamp(k, 0L, static_cast<long>(kSlotsAhead)));
    }
};

// Sky and the distant roofs, which turn with the car.
void DrawSky(Frame& frame, double courseDegrees, const std::vector<std::uint8_t>& skyline) {
    for (int r = 0; r < kHorizon; ++r)
        frame.span(0, kSceneWidth, r, Mix({78, 128, 200}, {196, 216, 238}, r / double(kHorizon)));
    const double course = courseDegrees * kPi / 180.0;
    for (int c = 0; c < kSceneWidth; ++c) {
        const double bearing = course + std::atan((c - kSceneWidth / 2.0) / kFocal);
        long idx = static_cast<long>(std::floor(bearing * 180.0 / kPi * 10.0)) % kSkylineSteps;
        if (idx < 0) idx += kSkylineSteps;
        const int height = skyline[static_cast<std::size_t>(idx)];
        for (int r = kHorizon - height; r < kHorizon; ++r) frame.set(c, r, {150, 164, 184});
    }
}

// Ground row by row: verge, pavement, asphalt and its markings.
void DrawGround(Frame& frame, const RoadView& v) {
    const Camera& cam = v.cam;
    const double roadHalf = v.roadHalf;
    const Rgb asphalt{92, 92, 98}, paint{236, 236, 230};
    for (int r = kHorizon; r < kSceneHeight; ++r) {
        const double z = kFocal * kEyeHeight / (r - kHorizon + 0.5);
        const auto& sides = v.side[v.slotOf(z)];
        const double along = v.travelled + z;
        for (int lr = 0; lr < 2; ++lr) {
            const Roadside kind = sides[static_cast<std::size_t>(lr)];
            const bool urban = kind == Roadside::Building || kind == Roadside::Open;
            Rgb verge = kind == Roadside::Water ? Rgb{62, 108, 150}
                        : urban                 ? Rgb{150, 148, 142}
                                                : Rgb{88, 128, 64};
            const double sign = lr ? 1.0 : -1.0;
            const double edge = cam.screenX(z, sign * roadHalf);
            const double kerb = cam.screenX(z, sign * (roadHalf + 3.0));
            const Rgb pavement = kind == Roadside::Water ? Rgb{120, 120, 118} : Rgb{172, 170, 164};
            if (lr == 0) {
                frame.span(0, static_cast<int>(kerb), r, Hazed(verge, z));
                frame.span(static_cast<int>(kerb), static_cast<int>(edge), r, Hazed(pavement, z));
            } else {
                frame.span(static_cast<int>(edge), static_cast<int>(kerb), r, Hazed(pavement, z));
                frame.span(static_cast<int>(kerb), kSceneWidth, r, Hazed(verge, z));
            }
        }
        const double left = cam.screenX(z, -roadHalf), right = cam.screenX(z, roadHalf);
        frame.span(static_cast<int>(left), static_cast<int>(right), r, Hazed(asphalt, z));

        const auto line = [&](double lateral, double width) {
            const double half = std::max(0.5, kFocal * width / z / 2.0);
            const double x = cam.screenX(z, lateral);
            frame.span(static_cast<int>(std::lround(x - half)),
                       static_cast<int>(std::lround(x + half)), r, Hazed(paint, z));
        };
        line(-roadHalf + 0.3, 0.15);
        line(roadHalf - 0.3, 0.15);
        if (v.main) {
            line(-0.15, 0.12);
            line(0.15, 0.12);
            if (std::fmod(along, 12.0) < 4.0) {
                line(-3.5, 0.12);
                line(3.5, 0.12);
            }
        } else if (std::fmod(along, 9.0) < 3.0) {
            line(0.0, 0.12);
        }
    }
}

// Roadside things, far to near so the near ones cover the far.
void DrawRoadside(Frame& frame, const RoadView& v) {
    const Camera& cam = v.cam;
    const double roadHalf = v.roadHalf;
    for (int k = kSlotsAhead; k >= 0; --k) {
        const long slot = v.firstSlot + k;
        const double z0 = static_cast<double>(slot) * kSlot - v.travelled;
        const double z1 = z0 + kSlot;
        if (z1 < 1.0) continue;
        for (int lr = 0; lr < 2; ++lr) {
            const double sign = lr ? 1.0 : -1.0;
            const std::uint32_t h = Hash(slot, lr);
            switch (v.side[static_cast<std::size_t>(k)][static_cast<std::size_t>(lr)]) {
                case Roadside::Building: {
                    static constexpr std::array<Rgb, 5> walls{{{190, 170, 140},
                                                               {170, 160, 150},
                                                               {200, 190, 170},
                                                               {150, 120, 100},
                                                               {210, 200, 185}}};
                    const Rgb wall = walls[h % walls.size()];
                    const double height = 9.0 + (h >> 8) % 5 * 3.0;
                    Plane(frame, cam, z0, z1, sign * (roadHalf + 4.0), height,
                          [&](double a, double above, Rgb& c) {
                              const double u = std::fmod(a, 3.0), v = std::fmod(above, 3.2);
                              const bool window = u > 0.7 && u < 2.2 && v > 1.0 && v < 2.3 &&
                                                  above > 2.8 && above < height - 0.6;
                              c = window                 ? Rgb{60, 72, 90}
                                  : above > height - 0.5 ? Rgb{110, 90, 80}
                                                         : wall;
                              return true;
                          });
                    break;
                }
                case Roadside::Trees:
                    Tree(frame, cam, z0 + 7.5, sign * (roadHalf + 4.0 + h % 4), h);
                    Tree(frame, cam, z0 + 2.5, sign * (roadHalf + 3.5 + (h >> 3) % 4), h >> 5);
                    break;
                case Roadside::Yard:
                    Plane(frame, cam, z0, z1, sign * (roadHalf + 3.2), 1.1,
                          [](double, double, Rgb& c) {
                              c = {48, 92, 44};
                              return true;
                          });
                    if (h % 2) Tree(frame, cam, z0 + 5.0, sign * (roadHalf + 6.0), h >> 7);
                    break;
                case Roadside::Field:
                    if (h % 4 == 0)
                        Tree(frame, cam, z0 + 5.0, sign * (roadHalf + 7.0 + h % 9), h >> 9);
                    break;
                case Roadside::Water:
                    Plane(frame, cam, z0, z1, sign * (roadHalf + 0.4), 1.05,
                          [](double a, double above, Rgb& c) {
                              c = {200, 200, 196};
                              return above > 0.9 || std::fmod(a, 2.5) < 0.12;
                          });
                    break;
                case Roadside::Open:
                    break;
            }
            if (lr == 1 && slot % 3 == 0) LampPost(frame, cam, z0, roadHalf + 1.0);
        }
    }
}

void DrawBonnet(Frame& frame) {
    for (int r = 440; r < kSceneHeight; ++r)
        for (int c = 0; c < kSceneWidth; ++c) {
            const double dx = (c - 320.0) / 470.0, dy = (r - 610.0) / 172.0;
            if (dx * dx + dy * dy <= 1.0)
                frame.set(c, r, Mix({58, 62, 70}, {26, 28, 32}, (r - 440) / 40.0));
        }
}

}  // namespace

DemoScene::DemoScene(const IndexedImage& ground, const DemoTrack& track)
    : ground_(ground), track_(track), skyline_(kSkylineSteps) {
    // Distant roofs all round, so turning shows on the horizon.
    std::size_t i = 0;
    std::uint32_t n = 0;
    while (i < skyline_.size()) {
        const std::uint32_t h = Hash(n++, 77);
        const std::size_t width = 8 + h % 40;
        const std::uint8_t height = static_cast<std::uint8_t>(h >> 8 & 3 ? 3 + (h >> 12) % 22 : 0);
        for (std::size_t k = 0; k < width && i < skyline_.size(); ++k) skyline_[i++] = height;
    }
}

void DemoScene::render(const RouteState& state, std::vector<std::uint8_t>& rgb) const {
    Frame frame(rgb);
    const double s = state.travelled;

    const auto mapAt = [&](MapPoint p) -> std::uint8_t {
        const int x = std::clamp(static_cast<int>(std::lround(p.x)), 0, ground_.width - 1);
        const int y = std::clamp(static_cast<int>(std::lround(p.y)), 0, ground_.height - 1);
        return ground_.at(x, y);
    };
    const std::uint8_t under = mapAt(state.position);
    const bool main = under == kMapMainRoad || under == kMapMainCasing;
    RoadView v{Camera{s, std::clamp(state.curvature, -0.06, 0.06), main ? 5.2 : 1.9},
               s,
               main,
               main ? 7.0 : 4.0,
               static_cast<long>(std::floor(s / kSlot)),
               {}};
    for (int k = 0; k <= kSlotsAhead; ++k)
        for (int lr = 0; lr < 2; ++lr) {
            const double along = (static_cast<double>(v.firstSlot + k) + 0.5) * kSlot;
            Roadside found = Roadside::Open;
            for (double metres : {32.0, 46.0}) {
                found = FromMap(mapAt(track_.beside(along, lr ? metres : -metres)));
                if (found != Roadside::Open) break;
            }
            v.side[static_cast<std::size_t>(k)][static_cast<std::size_t>(lr)] = found;
        }
    DrawSky(frame, state.course, skyline_);
    DrawGround(frame, v);
    DrawRoadside(frame, v);
    DrawBonnet(frame);
}

std::vector<std::uint8_t> MakeDemoRecording(int quantiserScale, unsigned threads) {
    const DemoMapLayout layout = MakeDemoMapLayout();
    const IndexedImage ground = RenderDemoMap(layout);
    const DemoDrive drive = PlanDemoDrive(layout);
    const std::vector<std::string> sentences = DemoSentences(drive.states);
    const DemoScene scene(ground, drive.track);

    std::vector<std::vector<std::uint8_t>> slices(drive.states.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        std::vector<std::uint8_t> rgb;
        for (std::size_t i; (i = next++) < slices.size();) {
            scene.render(drive.states[i], rgb);
            slices[i] = EncodeIntraSlice(RgbToYuvPicture(rgb.data(), kSceneWidth, kSceneHeight),
                                         quantiserScale);
        }
    };
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();

    RecorderWriter writer;
    for (std::size_t i = 0; i < slices.size(); ++i) {
        RecorderPicture picture;
        picture.userData.push_back(RecorderUserData(sentences[i]));
        picture.slice = std::move(slices[i]);
        writer.addPicture(picture);
    }
    return writer.bytes();
}

}  // namespace droskal
