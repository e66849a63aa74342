#include "tools/generators/DemoMap.h"
#include "tools/generators/Noise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "config/IniFile.h"

namespace droskal {

namespace {

constexpr int kSize = 4096;
constexpr double kPi = 3.14159265358979323846;

std::uint32_t Hash(std::int64_t a, std::int64_t b) {
    return NoiseHash(a, b, 0x632BE59BD9B4E019ull);
}

double CityEdge(const DemoMapLayout& l, double x, double y) {
    const double a = std::atan2(y - l.centre.y, x - l.centre.x);
    return l.cityRadius + 150.0 * std::sin(3.0 * a) + 80.0 * std::sin(7.0 * a + 1.0);
}

bool InCity(const DemoMapLayout& l, double x, double y) {
    return std::hypot(x - l.centre.x, y - l.centre.y) < CityEdge(l, x, y);
}

bool InPark(const DemoMapLayout& l, double x, double y, double margin) {
    for (const Ellipse& e : l.parks) {
        const Ellipse grown{e.centre, e.rx + margin, e.ry + margin};
        if (grown.contains(x, y)) return true;
    }
    return false;
}

bool OnMap(double x, double y) {
    return x >= 0 && y >= 0 && x <= kSize - 1 && y <= kSize - 1;
}

// Walks a polyline in steps of about a pixel and keeps the stretches where `keep` holds,
// each as its own street: the cut ends plus the original corners between them.
template <class Keep>
void AddCut(DemoMapLayout& l, StreetKind kind, double width, const std::vector<MapPoint>& line,
            Keep keep, double minLength) {
    struct Sample {
        MapPoint p;
        std::size_t segment;
    };
    std::vector<Sample> samples;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const MapPoint a = line[i], b = line[i + 1];
        const int n = std::max(1, static_cast<int>(std::ceil(std::hypot(b.x - a.x, b.y - a.y))));
        for (int k = 0; k < n; ++k) {
            const double t = static_cast<double>(k) / n;
            samples.push_back({{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}, i});
        }
    }
    samples.push_back({line.back(), line.size() - 1});

    std::vector<char> kept(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) kept[i] = keep(samples, i);

    std::size_t i = 0;
    while (i < samples.size()) {
        if (!kept[i]) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < samples.size() && kept[j + 1]) ++j;
        if (static_cast<double>(j - i) >= minLength) {
            Street s{kind, width, {samples[i].p}};
            for (std::size_t v = samples[i].segment + 1; v <= samples[j].segment && v < line.size();
                 ++v)
                s.points.push_back(line[v]);
            const MapPoint end = samples[j].p;
            if (std::hypot(end.x - s.points.back().x, end.y - s.points.back().y) > 1e-9)
                s.points.push_back(end);
            if (s.points.size() >= 2) l.streets.push_back(std::move(s));
        }
        i = j + 1;
    }
}

// Main roads cross the river on bridges, but never run along inside it.
void AddMainRoad(DemoMapLayout& l, double width, const std::vector<MapPoint>& line) {
    auto keep = [&l](const auto& samples, std::size_t i) {
        const auto wet = [&](std::size_t k) {
            return l.inWater(samples[k].p.x, samples[k].p.y) ||
                   !OnMap(samples[k].p.x, samples[k].p.y);
        };
        if (!OnMap(samples[i].p.x, samples[i].p.y)) return false;
        if (!wet(i)) return true;
        std::size_t a = i, b = i;
        while (a > 0 && wet(a - 1)) --a;
        while (b + 1 < samples.size() && wet(b + 1)) ++b;
        return b - a < 120;
    };
    AddCut(l, StreetKind::Main, width, line, keep, 8.0);
}

void AddLocalStreet(DemoMapLayout& l, const std::vector<MapPoint>& line) {
    auto keep = [&l](const auto& samples, std::size_t i) {
        const MapPoint p = samples[i].p;
        return OnMap(p.x, p.y) && InCity(l, p.x, p.y) && !l.inWater(p.x, p.y, 3.0) &&
               !InPark(l, p.x, p.y, 0.0);
    };
    AddCut(l, StreetKind::Local, 2.0, line, keep, 12.0);
}

// ---- drawing ------------------------------------------------------------------------------

class Canvas {
  public:
    explicit Canvas(IndexedImage& image) : im_(image) {}

    void set(int x, int y, std::uint8_t c) {
        if (x >= 0 && y >= 0 && x < im_.width && y < im_.height)
            im_.pixels[static_cast<std::size_t>(y) * im_.width + x] = c;
    }
    std::uint8_t get(int x, int y) const { return im_.at(x, y); }

    void fillRect(int x0, int y0, int x1, int y1, std::uint8_t c) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, im_.width - 1);
        y1 = std::min(y1, im_.height - 1);
        for (int y = y0; y <= y1; ++y)
            std::fill_n(&im_.pixels[static_cast<std::size_t>(y) * im_.width + x0],
                        std::max(0, x1 - x0 + 1), c);
    }

    void fillEllipse(const Ellipse& e, std::uint8_t c, double wobble, std::uint32_t seed) {
        const double r = std::max(e.rx, e.ry) * (1.0 + wobble);
        for (int y = static_cast<int>(e.centre.y - r); y <= e.centre.y + r; ++y)
            for (int x = static_cast<int>(e.centre.x - r); x <= e.centre.x + r; ++x) {
                const double a = std::atan2(y - e.centre.y, x - e.centre.x);
                const double k = 1.0 + wobble * std::sin(5.0 * a + seed % 7) * 0.7 +
                                 wobble * 0.3 * std::sin(11.0 * a + seed % 5);
                const Ellipse shaped{e.centre, e.rx * k, e.ry * k};
                if (shaped.contains(x, y)) set(x, y, c);
            }
    }

    // A thick line: every pixel whose centre lies within width/2 of the centre line.
    void thickPolyline(const std::vector<MapPoint>& pts, double width, std::uint8_t c) {
        const double r = width / 2.0;
        for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
            const MapPoint a = pts[i], b = pts[i + 1];
            const double len = std::hypot(b.x - a.x, b.y - a.y);
            // Short pieces keep the bounding boxes small for long diagonals.
            const int pieces = std::max(1, static_cast<int>(std::ceil(len / 16.0)));
            for (int k = 0; k < pieces; ++k) {
                const MapPoint p{a.x + (b.x - a.x) * k / pieces, a.y + (b.y - a.y) * k / pieces};
                const MapPoint q{a.x + (b.x - a.x) * (k + 1) / pieces,
                                 a.y + (b.y - a.y) * (k + 1) / pieces};
                segment(p, q, r, c);
            }
        }
    }

  private:
    void segment(MapPoint a, MapPoint b, double r, std::uint8_t c) {
        const int x0 = static_cast<int>(std::floor(std::min(a.x, b.x) - r));
        const int x1 = static_cast<int>(std::ceil(std::max(a.x, b.x) + r));
        const int y0 = static_cast<int>(std::floor(std::min(a.y, b.y) - r));
        const int y1 = static_cast<int>(std::ceil(std::max(a.y, b.y) + r));
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double len2 = dx * dx + dy * dy;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                double t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0.0;
                t = std::clamp(t, 0.0, 1.0);
                const double ex = a.x + t * dx - x, ey = a.y + t * dy - y;
                if (ex * ex + ey * ey <= r * r) set(x, y, c);
            }
    }

    IndexedImage& im_;
};

// 5 x 7 digits, the point and the two hemisphere letters, one row per byte (bit 4 = left).
const std::array<std::uint8_t, 7>* Glyph(char ch) {
    static constexpr std::array<std::array<std::uint8_t, 7>, 13> glyphs{{
        {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
        {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
        {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
        {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
        {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
        {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
        {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
        {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
        {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
        {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
        {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C},  // .
        {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11},  // N
        {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},  // E
    }};
    if (ch >= '0' && ch <= '9') return &glyphs[static_cast<std::size_t>(ch - '0')];
    if (ch == '.') return &glyphs[10];
    if (ch == 'N') return &glyphs[11];
    if (ch == 'E') return &glyphs[12];
    return nullptr;
}

constexpr int kGlyphScale = 2;
constexpr int kGlyphAdvance = 6 * kGlyphScale;

void DrawLabel(Canvas& canvas, int x, int y, const std::string& text) {
    const int w = static_cast<int>(text.size()) * kGlyphAdvance + 2 * kGlyphScale;
    const int h = 7 * kGlyphScale + 4 * kGlyphScale / 2;
    canvas.fillRect(x, y, x + w - 1, y + h - 1, kMapLabelBack);
    int penX = x + 2 * kGlyphScale / 2 + kGlyphScale / 2;
    for (char ch : text) {
        if (const auto* g = Glyph(ch))
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if ((*g)[static_cast<std::size_t>(row)] & (0x10 >> col))
                        canvas.fillRect(penX + col * kGlyphScale, y + 2 + row * kGlyphScale,
                                        penX + col * kGlyphScale + kGlyphScale - 1,
                                        y + 2 + row * kGlyphScale + kGlyphScale - 1, kMapLabelText);
        penX += kGlyphAdvance;
    }
}

std::string Degrees2(double degrees, char hemisphere) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%c", degrees, hemisphere);
    return text;
}

// Lines every 0.01 degree, dotted so the streets stay readable, labelled every 512 pixels.
void DrawDegreeGrid(Canvas& canvas) {
    const MapCalibration cal = DefaultCalibration();
    const double lat1 = cal.mapLat1, lon1 = cal.mapLon1;
    for (int hundredths = static_cast<int>(std::floor(lat1 * 100));; --hundredths) {
        const double lat = hundredths / 100.0;
        const int y = static_cast<int>(std::lround((lat1 - lat) * cal.latScale));
        if (y > kSize - 1) break;
        if (y < 0) continue;
        for (int x = 0; x < kSize; x += 2) canvas.set(x, y, kMapGridLine);
        // Staggered, so neighbouring lines' labels do not run into each other.
        const int stagger = (hundredths % 4 + 4) % 4 * 128;
        for (int x = 40 + stagger; x < kSize - 100; x += 512)
            DrawLabel(canvas, x, y + 3, Degrees2(lat, 'N'));
    }
    for (int hundredths = static_cast<int>(std::ceil(lon1 * 100));; ++hundredths) {
        const double lon = hundredths / 100.0;
        const int x = static_cast<int>(std::lround((lon - lon1) * cal.lonScale));
        if (x > kSize - 1) break;
        if (x < 0) continue;
        for (int y = 0; y < kSize; y += 2) canvas.set(x, y, kMapGridLine);
        const int stagger = (hundredths % 4 + 4) % 4 * 128;
        for (int y = 100 + stagger; y < kSize - 30; y += 512)
            DrawLabel(canvas, x + 3, y, Degrees2(lon, 'E'));
    }
}

}  // namespace

double DemoMapLayout::riverX(double y) const {
    return 1500.0 + 0.25 * y + 110.0 * std::sin(y / 430.0) + 45.0 * std::sin(y / 150.0 + 1.3);
}

double DemoMapLayout::riverWidth(double y) const {
    return 36.0 + 8.0 * std::sin(y / 310.0);
}

bool DemoMapLayout::inWater(double x, double y, double margin) const {
    return std::fabs(x - riverX(y)) < riverWidth(y) / 2.0 + margin;
}

DemoMapLayout MakeDemoMapLayout() {
    DemoMapLayout l;
    l.centre = {1660.0, 2000.0};
    l.cityRadius = 1500.0;
    l.gridSpacing = 24.0;
    const MapPoint c = l.centre;

    l.parks = {{{c.x - 400, c.y - 300}, 120, 90},  {{c.x + 130, c.y + 360}, 80, 130},
               {{c.x - 820, c.y + 420}, 160, 110}, {{c.x + 640, c.y - 520}, 110, 100},
               {{c.x - 150, c.y - 900}, 90, 70},   {{c.x + 700, c.y + 700}, 130, 90}};
    l.forests = {{{500, 600}, 420, 300},  {{3500, 700}, 380, 450}, {{3600, 3400}, 450, 380},
                 {{400, 3500}, 350, 420}, {{2300, 300}, 260, 160}, {{3800, 2100}, 220, 380}};

    // Local grid first, so the main roads drawn later cover their ends cleanly.
    const double g = l.gridSpacing;
    for (double y = c.y - std::floor(c.y / g) * g; y < kSize; y += g)
        AddLocalStreet(l, {{0, y}, {kSize - 1, y}});
    for (double x = c.x - std::floor(c.x / g) * g; x < kSize; x += g)
        AddLocalStreet(l, {{x, 0}, {x, kSize - 1}});

    const double m = 12 * g;  // main roads every twelfth street
    for (double y = c.y - std::floor(c.y / m) * m; y < kSize; y += m)
        AddMainRoad(l, 5.0, {{0, y}, {kSize - 1, y}});
    for (double x = c.x - std::floor(c.x / m) * m; x < kSize; x += m)
        AddMainRoad(l, 5.0, {{x, 0}, {x, kSize - 1}});

    // Avenues out of the centre and a ring road, as a grown city has them.
    for (double degrees : {30.0, 150.0, 205.0, 330.0, 95.0}) {
        const double a = degrees * kPi / 180.0;
        AddMainRoad(l, 4.0, {c, {c.x + 4000 * std::cos(a), c.y + 4000 * std::sin(a)}});
    }
    std::vector<MapPoint> ring;
    for (int i = 0; i <= 180; ++i) {
        const double a = 2 * kPi * i / 180.0;
        ring.push_back({c.x + 1000 * std::cos(a), c.y + 880 * std::sin(a)});
    }
    AddMainRoad(l, 5.0, ring);
    std::vector<MapPoint> boulevard;
    for (int y = 500; y <= 3600; y += 25)
        boulevard.push_back({c.x - 700 + 160 * std::sin(y / 280.0), static_cast<double>(y)});
    AddMainRoad(l, 4.0, boulevard);
    return l;
}

IndexedImage RenderDemoMap(const DemoMapLayout& l) {
    IndexedImage im;
    im.width = im.height = kSize;
    im.pixels.assign(static_cast<std::size_t>(kSize) * kSize, kMapLand);
    im.palette = {
        {242, 239, 233},  // land
        {226, 221, 212},  // yard
        {205, 193, 180},  // building
        {200, 230, 180},  // park
        {172, 208, 158},  // forest
        {170, 211, 223},  // water
        {255, 255, 255},  // street
        {196, 190, 182},  // street casing
        {252, 214, 164},  // main road
        {214, 150, 90},   // main road casing
        {110, 120, 200},  // degree lines
        {50, 50, 60},     // label text
        {255, 255, 240},  // label background
    };
    Canvas canvas(im);

    for (std::size_t i = 0; i < l.forests.size(); ++i)
        canvas.fillEllipse(l.forests[i], kMapForest, 0.25, static_cast<std::uint32_t>(i));

    // Blocks: a yard per grid cell with a building footprint inset from the streets;
    // a few cells stay open as squares.
    const double g = l.gridSpacing;
    const int g0x = static_cast<int>(l.centre.x - std::floor(l.centre.x / g) * g);
    const int g0y = static_cast<int>(l.centre.y - std::floor(l.centre.y / g) * g);
    const int step = static_cast<int>(g);
    for (int cy = g0y - step; cy < kSize; cy += step)
        for (int cx = g0x - step; cx < kSize; cx += step) {
            const double mx = cx + g / 2, my = cy + g / 2;
            if (!InCity(l, mx, my)) continue;
            canvas.fillRect(cx, cy, cx + step, cy + step, kMapYard);
            const std::uint32_t h = Hash(cx, cy);
            if (h % 11 == 0) continue;
            const int inset = 3 + static_cast<int>(h >> 8) % 2;
            if (h % 3 == 0) {  // courtyard block
                canvas.fillRect(cx + inset, cy + inset, cx + step - inset, cy + step - inset,
                                kMapBuilding);
                canvas.fillRect(cx + inset + 5, cy + inset + 5, cx + step - inset - 5,
                                cy + step - inset - 5, kMapYard);
            } else {
                const int split = cx + 6 + static_cast<int>(h >> 12) % 12;
                canvas.fillRect(cx + inset, cy + inset, split - 1, cy + step - inset, kMapBuilding);
                canvas.fillRect(split + 1, cy + inset, cx + step - inset,
                                cy + inset + 4 + static_cast<int>(h >> 16) % 10, kMapBuilding);
            }
        }
    for (std::size_t i = 0; i < l.parks.size(); ++i)
        canvas.fillEllipse(l.parks[i], kMapPark, 0.1, static_cast<std::uint32_t>(i + 3));

    for (const Street& s : l.streets)
        if (s.kind == StreetKind::Local)
            canvas.thickPolyline(s.points, s.width + 2, kMapStreetCasing);
    for (const Street& s : l.streets)
        if (s.kind == StreetKind::Local) canvas.thickPolyline(s.points, s.width, kMapStreet);

    // Water over the local streets, so they stop at the banks.
    for (int y = 0; y < kSize; ++y) {
        const double half = l.riverWidth(y) / 2.0, rx = l.riverX(y);
        canvas.fillRect(static_cast<int>(std::ceil(rx - half)), y,
                        static_cast<int>(std::floor(rx + half)), y, kMapWater);
    }

    for (const Street& s : l.streets)
        if (s.kind == StreetKind::Main) canvas.thickPolyline(s.points, s.width + 2, kMapMainCasing);
    // Side streets run on into the main roads instead of ending at their kerbs.
    for (const Street& s : l.streets)
        if (s.kind == StreetKind::Local) canvas.thickPolyline(s.points, s.width, kMapStreet);
    for (const Street& s : l.streets)
        if (s.kind == StreetKind::Main) canvas.thickPolyline(s.points, s.width, kMapMainRoad);
    return im;
}

IndexedImage AddDegreeGrid(IndexedImage map) {
    Canvas canvas(map);
    DrawDegreeGrid(canvas);
    return map;
}

StreetDistance NearestStreet(const DemoMapLayout& layout, MapPoint p) {
    StreetDistance best;
    for (const Street& s : layout.streets)
        for (std::size_t i = 0; i + 1 < s.points.size(); ++i) {
            const MapPoint a = s.points[i], b = s.points[i + 1];
            const double dx = b.x - a.x, dy = b.y - a.y;
            const double len2 = dx * dx + dy * dy;
            const double t =
                len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
            const double d = std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y);
            if (d < best.distance || (d == best.distance && s.width > best.width))
                best = {d, s.width};
        }
    return best;
}

}  // namespace droskal
