// index: the drives of many folders from a persistent index, filtered by date, place and speed.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli/Args.h"
#include "cli/Progress.h"
#include "cli/Text.h"
#include "cli/Usage.h"
#include "cli/Zone.h"
#include "library/LibraryScan.h"
#include "library/LibraryTrips.h"
#include "recording/Trips.h"
#include "recording/Walker.h"

namespace droskal::cli {

namespace {

const char* const kIndexUsage =
    "usage: droskal-cli index PATH... [--db FILE] [--jobs N] [--gap SECONDS] [--since DATE]\n"
    "         [--until DATE] [--near LAT,LON,METRES] [--bbox S,W,N,E] [--min-speed KMH]\n"
    "         [--format table|json|csv|geojson] [--tz ZONE] [--units metric|imperial]\n"
    "  Indexes the recordings (*.m1v) under the folders given, recursively, and lists their\n"
    "  trips: start, end, duration, distance, top and average speed, share of pictures with a\n"
    "  valid fix, pictures, format, files. Only new or changed files are read (by size and\n"
    "  modification time); nothing is decoded.\n"
    "  --db FILE       the index (default $XDG_CACHE_HOME/droskal/index.sqlite)\n"
    "  --jobs N        files read at once (default: the number of cores)\n"
    "  --gap SECONDS   a new trip after a longer pause between files (default 120)\n"
    "  --since/--until DATE   trips that overlap: YYYY-MM-DD (whole days) or\n"
    "                  YYYY-MM-DDTHH:MM[:SS], in the zone of --tz\n"
    "  --near LAT,LON,METRES  trips passing within METRES of the point; adds the closest time\n"
    "  --bbox S,W,N,E  trips with a fix inside the box (degrees)\n"
    "  --min-speed KMH trips whose top speed reaches KMH\n"
    "  --format        table (default), json, csv, or geojson (routes for QGIS or a web map)\n"
    "  --tz ZONE       UTC (default), local, or a zone name such as Europe/Warsaw\n"
    "  --units U       metric (km, km/h; default) or imperial (mi, mph)\n"
    "  Files that cannot be read, are no recordings or are damaged are named on stderr and\n"
    "  skipped; the exit status is 1 then.\n";

constexpr double kKmPerMile = 1.609344;

struct Units {
    const char* distanceKey;
    const char* speedSuffix;
    const char* distanceLabel;
    const char* speedLabel;
    double perKm;
};
const Units kMetric{"distanceKm", "Kmh", "km", "km/h", 1.0};
const Units kImperial{"distanceMi", "Mph", "mi", "mph", 1.0 / kKmPerMile};

bool ParseNumbers(const std::string& text, std::size_t count, std::vector<double>& out) {
    out.clear();
    std::size_t from = 0;
    while (out.size() < count) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        double v = 0;
        const char* begin = text.data() + from;
        const char* end = text.data() + comma;
        const auto [ptr, ec] = std::from_chars(begin, end, v);
        if (begin == end || ec != std::errc() || ptr != end || !std::isfinite(v)) return false;
        out.push_back(v);
        if (comma == text.size()) break;
        from = comma + 1;
    }
    return out.size() == count && from <= text.size() && text.find(',', from) == std::string::npos;
}

std::string Clock(double seconds) {
    const long long s = std::llround(seconds);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

std::string ProgressText(const LibraryProgress& p, double elapsed) {
    const double mb = static_cast<double>(p.bytesDone) / 1e6;
    const double rate = elapsed > 0 ? mb / elapsed : 0;
    std::string text = "files " + std::to_string(p.filesDone) + "/" + std::to_string(p.filesTotal) +
                       ", " + Fixed(mb, 0) + "/" +
                       Fixed(static_cast<double>(p.bytesTotal) / 1e6, 0) + " MB, " +
                       Fixed(rate, 1) + " MB/s";
    if (rate > 0)
        text +=
            ", " + Clock(static_cast<double>(p.bytesTotal - p.bytesDone) / 1e6 / rate) + " left";
    return text;
}

using Row = nlohmann::ordered_json;

Row MakeRow(std::size_t number, const LibraryTrip& t, const Zone& zone, const Units& u, bool near) {
    Row row;
    auto time = [&](const std::optional<double>& s) { return s ? Row(zone.format(*s)) : Row(); };
    auto speed = [&](const std::optional<double>& kmh) {
        return kmh ? Row(Rounded(*kmh * u.perKm, 1)) : Row();
    };
    row["trip"] = number;
    row["start"] = time(t.start);
    row["end"] = time(t.end);
    row["durationSeconds"] = t.start ? Row(Rounded(*t.end - *t.start, 3)) : Row();
    row[u.distanceKey] = Rounded(t.distanceKm * u.perKm, 3);
    row[std::string("topSpeed") + u.speedSuffix] = speed(t.topSpeedKmh);
    row[std::string("averageSpeed") + u.speedSuffix] = speed(t.averageSpeedKmh);
    row["validFixShare"] =
        t.pictures > 0
            ? Rounded(static_cast<double>(t.validFixes) / static_cast<double>(t.pictures), 4)
            : 0.0;
    row["pictures"] = t.pictures;
    row["format"] = FormatName(t.picFormat);
    row["files"] = t.files;
    if (near) {
        row["closestTime"] = time(t.closestTime);
        row["closestMetres"] = t.closestMetres ? Row(Rounded(*t.closestMetres, 1)) : Row();
    }
    return row;
}

std::string CsvField(const Row& v) {
    std::string text;
    if (v.is_null()) return "";
    if (v.is_string()) {
        text = v.get<std::string>();
    } else if (v.is_array()) {
        for (const auto& item : v) text += (text.empty() ? "" : ";") + item.get<std::string>();
    } else {
        text = v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

void WriteCsv(std::ostream& out, const std::vector<Row>& rows,
              const std::vector<std::string>& keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) out << (i ? "," : "") << keys[i];
    out << "\n";
    for (const Row& row : rows) {
        for (std::size_t i = 0; i < keys.size(); ++i)
            out << (i ? "," : "") << CsvField(row[keys[i]]);
        out << "\n";
    }
}

void WriteGeoJson(std::ostream& out, const std::vector<Row>& rows,
                  const std::vector<const LibraryTrip*>& trips) {
    nlohmann::ordered_json features = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        nlohmann::ordered_json lines = nlohmann::ordered_json::array();
        for (const auto& piece : trips[i]->route) {
            if (piece.size() < 2) continue;  // a line needs two positions
            nlohmann::ordered_json line = nlohmann::ordered_json::array();
            for (const LatLon& p : piece)
                line.push_back({Rounded(p.longitude, 7), Rounded(p.latitude, 7)});
            lines.push_back(std::move(line));
        }
        nlohmann::ordered_json geometry;  // null: no two successive fixes
        if (lines.size() == 1) {
            geometry = {{"type", "LineString"}, {"coordinates", lines[0]}};
        } else if (lines.size() > 1) {
            geometry = {{"type", "MultiLineString"}, {"coordinates", lines}};
        }
        features.push_back({{"type", "Feature"}, {"geometry", geometry}, {"properties", rows[i]}});
    }
    out << nlohmann::ordered_json{{"type", "FeatureCollection"}, {"features", features}}.dump(
               -1, ' ', false, nlohmann::json::error_handler_t::replace)
        << "\n";
}

void WriteTable(std::ostream& out, const std::vector<Row>& rows,
                const std::vector<const LibraryTrip*>& trips, const Units& u, bool near) {
    std::vector<std::vector<std::string>> cells;
    std::vector<std::string> head = {"trip",
                                     "start",
                                     "end",
                                     "duration",
                                     u.distanceLabel,
                                     std::string("top ") + u.speedLabel,
                                     std::string("avg ") + u.speedLabel,
                                     "fix",
                                     "pictures",
                                     "format"};
    if (near) head.insert(head.end(), {"closest", "m"});
    head.push_back("files");
    cells.push_back(head);
    auto text = [](const Row& v, int decimals) {
        if (v.is_null()) return std::string("-");
        if (v.is_string()) return v.get<std::string>();
        return Fixed(v.get<double>(), decimals);
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const LibraryTrip& t = *trips[i];
        std::vector<std::string> line = {std::to_string(i + 1),
                                         text(r["start"], 0),
                                         text(r["end"], 0),
                                         t.start ? Clock(*t.end - *t.start) : "-",
                                         text(r[u.distanceKey], 3),
                                         text(r[std::string("topSpeed") + u.speedSuffix], 1),
                                         text(r[std::string("averageSpeed") + u.speedSuffix], 1),
                                         Fixed(r["validFixShare"].get<double>() * 100, 1) + "%",
                                         std::to_string(t.pictures),
                                         FormatName(t.picFormat)};
        if (near) line.insert(line.end(), {text(r["closestTime"], 0), text(r["closestMetres"], 1)});
        line.push_back(t.files.front() + (t.files.size() > 1
                                              ? " (+" + std::to_string(t.files.size() - 1) + ")"
                                              : ""));
        cells.push_back(line);
    }
    std::vector<std::size_t> width(head.size(), 0);
    for (const auto& line : cells) {
        for (std::size_t c = 0; c < line.size(); ++c) width[c] = std::max(width[c], line[c].size());
    }
    for (const auto& line : cells) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            if (c + 1 == line.size()) {
                out << line[c];
            } else {
                out << line[c] << std::string(width[c] - line[c].size() + 2, ' ');
            }
        }
        out << "\n";
    }
}

}  // namespace

namespace {

struct IndexOptions {
    std::int64_t jobs = std::max(1u, std::thread::hardware_concurrency());
    double gap = kDefaultTripGapSeconds;
    std::string format = "table";
    std::optional<Zone> zone;
    const Units* units = &kMetric;
    TripFilter filter;
};

// The search options; an empty answer when they are all usable, else what is wrong.
std::string ReadSearchOptions(const ParsedArgs& a, IndexOptions& o) {
    TripFilter& filter = o.filter;
    for (const char* option : {"--since", "--until"}) {
        if (!a.has(option)) continue;
        const std::optional<double> t =
            o.zone->parse(a.value(option, ""), option == std::string("--until"));
        if (!t) return std::string(option) + " needs a date YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]";
        (option == std::string("--since") ? filter.since : filter.until) = t;
    }
    std::vector<double> n;
    if (a.has("--near")) {
        if (!ParseNumbers(a.value("--near", ""), 3, n) || std::fabs(n[0]) > 90 ||
            std::fabs(n[1]) > 180 || n[2] <= 0) {
            return "--near needs LAT,LON,METRES (degrees, metres above 0)";
        }
        filter.near = TripFilter::Near{{n[0], n[1]}, n[2]};
    }
    if (a.has("--bbox")) {
        if (!ParseNumbers(a.value("--bbox", ""), 4, n) || std::fabs(n[0]) > 90 ||
            std::fabs(n[2]) > 90 || std::fabs(n[1]) > 180 || std::fabs(n[3]) > 180 || n[0] > n[2]) {
            return "--bbox needs SOUTH,WEST,NORTH,EAST in degrees";
        }
        filter.box = TripFilter::Box{n[0], n[1], n[2], n[3]};
    }
    if (a.has("--min-speed")) {
        double kmh = 0;
        if (!ParsePositiveNumber(a.value("--min-speed", ""), kmh))
            return "--min-speed needs km/h above 0";
        filter.minSpeedKmh = kmh;
    }
    return {};
}

std::string ReadIndexOptions(const ParsedArgs& a, IndexOptions& o) {
    if (a.has("--jobs") &&
        (!ParseCount(a.value("--jobs", ""), o.jobs) || o.jobs < 1 || o.jobs > 256)) {
        return "--jobs needs a whole number from 1 to 256";
    }
    if (a.has("--gap") && !ParsePositiveNumber(a.value("--gap", ""), o.gap))
        return "--gap needs a number of seconds above 0";
    o.format = a.value("--format", "table");
    if (o.format != "table" && o.format != "json" && o.format != "csv" && o.format != "geojson")
        return "--format is table, json, csv or geojson";
    o.zone = Zone::Find(a.value("--tz", ""));
    if (!o.zone) return "--tz: unknown time zone '" + a.value("--tz", "") + "'";
    const std::string unitName = a.value("--units", "metric");
    if (unitName != "metric" && unitName != "imperial") return "--units is metric or imperial";
    o.units = unitName == "metric" ? &kMetric : &kImperial;
    return ReadSearchOptions(a, o);
}

// Brings the index up to date with the recordings found, showing progress; false with the
// reason when the index cannot be written.
bool UpdateIndex(LibraryDb& db, const std::vector<FoundRecording>& found,
                 const std::vector<std::string>& roots, int jobs, const Io& io,
                 LibraryUpdate& update, std::string& error) {
    Progress progress(io.err, io.progress, "index");
    const auto started = std::chrono::steady_clock::now();
    return UpdateLibrary(
        db, found, roots, jobs,
        [&](const LibraryProgress& p) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            progress.update(p.bytesTotal > 0 ? static_cast<double>(p.bytesDone) /
                                                   static_cast<double>(p.bytesTotal)
                                             : 1,
                            ProgressText(p, elapsed));
        },
        update, error);
}

void WriteTrips(std::ostream& out, const IndexOptions& o, const std::vector<Row>& rows,
                const std::vector<const LibraryTrip*>& kept) {
    const bool near = o.filter.near.has_value();
    if (o.format == "json") {
        out << Row{{"trips", rows}}.dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << "\n";
    } else if (o.format == "geojson") {
        WriteGeoJson(out, rows, kept);
    } else if (o.format == "csv") {
        std::vector<std::string> keys;
        const Row columns = MakeRow(0, LibraryTrip{}, *o.zone, *o.units, near);
        for (auto it = columns.begin(); it != columns.end(); ++it) keys.push_back(it.key());
        WriteCsv(out, rows, keys);
    } else {
        WriteTable(out, rows, kept, *o.units, near);
    }
}

}  // namespace

int RunIndex(const std::vector<std::string>& args, const Io& io) {
    ParsedArgs a;
    std::string error;
    if (!ParseArgs(args,
                   {"--db", "--jobs", "--gap", "--since", "--until", "--near", "--bbox",
                    "--min-speed", "--format", "--tz", "--units"},
                   {}, a, error)) {
        return UsageError(io, "index", error, kIndexUsage);
    }
    if (a.help) {
        io.out << kIndexUsage;
        return kExitOk;
    }
    if (a.positional.empty())
        return UsageError(io, "index", "needs at least one PATH", kIndexUsage);
    IndexOptions o;
    if (const std::string wrong = ReadIndexOptions(a, o); !wrong.empty())
        return UsageError(io, "index", wrong, kIndexUsage);

    std::vector<FoundRecording> found;
    std::vector<std::string> roots;
    if (!FindRecordings(a.positional, found, roots, error)) return FileError(io, "index", error);
    std::string dbPath = a.value("--db", "");
    if (dbPath.empty() && (dbPath = DefaultIndexPath(error)).empty()) {
        return FileError(io, "index", error + "; give --db FILE");
    }
    LibraryDb db;
    std::string notice;
    if (!db.open(dbPath, notice, error)) return FileError(io, "index", error);
    if (!notice.empty()) io.err << "droskal-cli index: " << notice << "\n";
    LibraryUpdate update;
    if (!UpdateIndex(db, found, roots, static_cast<int>(o.jobs), io, update, error))
        return FileError(io, "index", dbPath + ": " + error);

    std::vector<std::string> paths;
    for (const auto& f : found) paths.push_back(f.path);
    std::vector<LibraryRecording> recordings;
    if (!db.load(paths, recordings, error)) return FileError(io, "index", dbPath + ": " + error);
    std::size_t skipped = 0;
    for (const LibraryRecording& r : recordings) {
        if (r.problem.empty()) continue;
        ++skipped;
        io.err << "droskal-cli index: " << r.path << ": " << r.problem << "; skipped\n";
    }
    std::vector<LibraryTrip> trips = LibraryTrips(recordings, o.gap);
    std::vector<Row> rows;
    std::vector<const LibraryTrip*> kept;
    for (std::size_t i = 0; i < trips.size(); ++i) {
        if (!TripMatches(trips[i], o.filter)) continue;
        rows.push_back(MakeRow(i + 1, trips[i], *o.zone, *o.units, o.filter.near.has_value()));
        kept.push_back(&trips[i]);
    }
    WriteTrips(io.out, o, rows, kept);
    if (io.progress) {
        io.err << "droskal-cli index: " << update.found << " recordings, " << update.read
               << " read, " << update.removed << " dropped; " << trips.size()
               << (trips.size() == 1 ? " trip, " : " trips, ") << rows.size() << " listed\n";
    }
    if (skipped > 0)
        io.err << "droskal-cli index: " << skipped << (skipped == 1 ? " file" : " files")
               << " skipped\n";
    return skipped > 0 ? kExitPartial : kExitOk;
}

}  // namespace droskal::cli
