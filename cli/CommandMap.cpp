// map: the whole route drawn over a map, with a world file beside the picture.
#include <QBuffer>
#include <QGuiApplication>

#include <filesystem>
#include <memory>
#include <regex>

#include "cli/Args.h"
#include "cli/MapEntries.h"
#include "cli/OutputFile.h"
#include "cli/RouteScan.h"
#include "cli/Usage.h"
#include "render/MapRender.h"
#include "timeline/Units.h"

namespace droskal::cli {

namespace {

const char* const kMapUsage =
    "usage: droskal-cli map REC_OR_DIR -o route.png [--source FILE_OR_DIR_OR_URL] [--size WxH]\n"
    "                       [--zoom Z] [--at PICTURE] [--route-color RRGGBB] [--units U]\n"
    "  Draws the whole route, coloured by speed, over a map fitted to it, and writes a\n"
    "  world file beside the picture (route.pgw: degrees for calibrated pictures, EPSG:3857\n"
    "  metres for tiles). A folder is read as one trip of its .m1v files in name order.\n"
    "  --source  a calibrated picture (PICTURE or PICTURE,lat1,lon1,lat2,lon2), an .mbtiles\n"
    "            file, a folder of Z/X/Y.png tiles or a tile server URL with {z} {x} {y};\n"
    "            without it: map.gif beside the program, then the window's map sources\n"
    "  --size    picture size, default 1024x768\n"
    "  --zoom    tile zoom level (calibrated pictures: scale 2^Z); fitted by default\n"
    "  --at      mark the position of this picture (0-based, as info and track count)\n"
    "  --route-color  one colour for the route instead of the speed colours\n"
    "  --units km/h|mph|kn  the speed legend's unit (default km/h)\n";

// Fonts and the network need a Qt application object; the command makes one when it runs
// alone, on the offscreen platform so no display is needed.
std::unique_ptr<QGuiApplication> EnsureGuiApplication() {
    if (QCoreApplication::instance() != nullptr) return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "droskal-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

std::string WorldFileName(const std::string& picture) {
    std::filesystem::path path(picture);
    std::string ext = path.extension().string();
    // route.png -> route.pgw, map.jpg -> map.jgw
    ext = ext.size() >= 3 ? std::string(".") + ext[1] + ext.back() + "w" : ".wld";
    return path.replace_extension(ext).string();
}

// The picture's options; an empty answer when they are usable, else what is wrong.
std::string ReadFitOptions(const ParsedArgs& a, render::FitOptions& options, std::int64_t& at) {
    std::smatch m;
    const std::string size = a.value("--size", "1024x768");
    const std::regex sizeForm("([0-9]{1,5})x([0-9]{1,5})");
    if (!std::regex_match(size, m, sizeForm) || std::stoi(m[1]) < 64 || std::stoi(m[2]) < 64 ||
        std::stoi(m[1]) > 8192 || std::stoi(m[2]) > 8192) {
        return "--size must be WxH, each 64 to 8192";
    }
    options.size = QSize(std::stoi(m[1]), std::stoi(m[2]));
    std::int64_t number = 0;
    if (a.has("--zoom")) {
        if (!ParseCount(a.value("--zoom", ""), number) || number > render::kMaxTileZoom)
            return "--zoom must be 0 to 22";
        options.zoom = static_cast<int>(number);
    }
    const std::string colour = a.value("--route-color", "");
    if (a.has("--route-color")) {
        if (!std::regex_match(colour, std::regex("#?[0-9A-Fa-f]{6}")))
            return "--route-color must be RRGGBB";
        options.style.colour =
            QColor(QString::fromStdString("#" + colour.substr(colour.size() - 6)));
    }
    if (a.has("--at") && !ParseCount(a.value("--at", ""), at))
        return "--at must be a picture number";
    if (a.has("--units")) {
        const auto unit = ParseSpeedUnit(a.value("--units", ""));
        if (!unit) return "--units must be km/h, mph or kn";
        options.unit = *unit;
    }
    return {};
}

}  // namespace

int RunMap(const std::vector<std::string>& args, const Io& io) {
    std::vector<std::string> normalised;
    for (const auto& arg : args) normalised.push_back(arg == "-o" ? "--output" : arg);
    ParsedArgs a;
    std::string error;
    if (!ParseArgs(normalised,
                   {"--output", "--source", "--size", "--zoom", "--at", "--route-color", "--units"},
                   {}, a, error)) {
        return UsageError(io, "map", error, kMapUsage);
    }
    if (a.help) {
        io.out << kMapUsage;
        return kExitOk;
    }
    if (a.positional.size() != 1)
        return UsageError(io, "map", "needs one recording or folder", kMapUsage);
    const std::string output = a.value("--output", "");
    if (output.empty()) return UsageError(io, "map", "-o needs a picture name", kMapUsage);
    render::FitOptions options;
    std::int64_t at = -1;
    if (const std::string wrong = ReadFitOptions(a, options, at); !wrong.empty())
        return UsageError(io, "map", wrong, kMapUsage);
    if (SameFile(a.positional[0], output)) {
        return FileError(io, "map", "refusing to write over the recording itself: " + output);
    }

    const auto app = EnsureGuiApplication();
    ScannedRoute route;
    if (!ScanRoute(a.positional[0], route, error)) return FileError(io, "map", error);
    if (at >= static_cast<std::int64_t>(route.points.size())) {
        return FileError(io, "map",
                         "--at " + std::to_string(at) + ": the recording has " +
                             std::to_string(route.points.size()) + " pictures");
    }
    if (at >= 0) options.at = static_cast<std::size_t>(at);

    bool online = false;
    QStringList entries;
    if (a.has("--source")) {
        entries << QString::fromStdString(a.value("--source", ""));
        online = true;  // named on the command line: the user asked for it
    } else {
        entries = DefaultMapEntries(online);
    }
    QStringList problems;
    render::MapSources sources = render::MakeSources(entries, online, problems);
    for (const QString& p : problems) io.err << "droskal-cli map: " << p.toStdString() << "\n";
    if (a.has("--source") && sources.empty()) return kExitUsage;

    const render::RenderedMap map = render::RenderRouteMap(sources, route.points, options);
    if (map.image.isNull())
        return FileError(io, "map", a.positional[0] + ": no valid GPS fix to draw");
    if (map.source == nullptr && !entries.isEmpty()) {
        io.err << "droskal-cli map: no map source covers the route; drawn on a plain background\n";
    }

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    const std::string ext = std::filesystem::path(output).extension().string();
    if (!map.image.save(&buffer, ext == ".jpg" || ext == ".jpeg" ? "JPEG" : "PNG")) {
        return FileError(io, "map", output + ": the picture could not be encoded");
    }
    const std::string world = render::WorldFileText(map);
    if (!WriteWholeFile(output, reinterpret_cast<const std::uint8_t*>(png.constData()),
                        static_cast<std::size_t>(png.size()), error) ||
        !WriteWholeFile(WorldFileName(output), reinterpret_cast<const std::uint8_t*>(world.data()),
                        world.size(), error)) {
        return FileError(io, "map", error);
    }
    if (route.unreadSentences > 0 || route.stoppedEarly) {
        io.err << "droskal-cli map: " << route.unreadSentences
               << " pictures without a readable header"
               << (route.stoppedEarly ? "; the file was not read to its end" : "") << "\n";
        return kExitPartial;
    }
    return kExitOk;
}

}  // namespace droskal::cli
