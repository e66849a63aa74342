#include "evidence/Report.h"

#include <algorithm>
#include <cmath>

#include "cli/Geo.h"
#include "cli/Text.h"
#include "evidence/Band.h"
#include "timeline/Units.h"

namespace droskal::evidence {

namespace {

using cli::Fixed;
using cli::XmlEscape;

const char* const kStyle =
    "body{font-family:'DejaVu Sans',Arial,sans-serif;margin:2em;color:#111}"
    "h1{font-size:1.5em;border-bottom:2px solid #333}h2{font-size:1.15em;margin-top:1.5em}"
    "table{border-collapse:collapse}td,th{border:1px solid #999;padding:.25em .6em;text-align:left}"
    ".keys{display:flex;flex-wrap:wrap;gap:1em}.keys figure{margin:0;break-inside:avoid}"
    ".keys img{width:300px;border:1px solid #999}figcaption{font-size:.85em}"
    ".route{max-width:100%;border:1px solid #999}svg{border:1px solid "
    "#999}.note{color:#555;font-size:.9em}"
    "@media print{body{margin:0}h2{break-after:avoid}.keys img{width:45%}}";

bool Zoned(const cli::TimeOptions& time) {
    return time.zoneGiven && !time.zone.isUtc();
}

// The time in the zone shown and, outside UTC, in UTC beneath it.
std::string TimeCell(const std::optional<RmcSentence>& s, const cli::TimeOptions& time) {
    const std::string zoned = s ? ZonedTimeText(*s, time) : std::string();
    if (zoned.empty()) return "brak";
    return XmlEscape(zoned) + (Zoned(time) ? "<br>" + DateTimeText(*s) + " UTC" : "");
}

std::string TimeRow(const char* label, const std::optional<RmcSentence>& s,
                    const cli::TimeOptions& time) {
    return std::string("<tr><th>") + label + "</th><td>" + TimeCell(s, time) + "</td></tr>\n";
}

std::string Duration(double seconds) {
    const long whole = std::lround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

std::string Speed(const std::optional<double>& kmh, const cli::TimeOptions& time) {
    return kmh ? SpeedInUnit(*kmh, time) : "brak";
}

// What counted as an event, so a reader can weigh the list.
std::string EventRule(const ReportData& d) {
    const EventSettings& e = d.eventSettings;
    return "<p class=\"note\">Zdarzenia wykryte z zapisanych prędkości: hamowanie o ponad " +
           SpeedInUnit(e.brakingKmh, d.time) + " i przyspieszenie o ponad " +
           SpeedInUnit(e.accelerationKmh, d.time) + " w ciągu 1 s, postój dłuższy niż " +
           Fixed(e.stopSeconds, 0) + " s" +
           (e.speedLimitKmh ? ", jazda powyżej " + SpeedInUnit(*e.speedLimitKmh, d.time) : "") +
           ".</p>\n";
}

std::string EventTable(const ReportData& d) {
    if (d.events.empty()) {
        return "<p>W odcinku nie ma zdarzeń (gwałtownego hamowania ani przyspieszenia, postoju, "
               "przekroczenia prędkości).</p>\n";
    }
    std::string h = "<table>\n<tr><th>Początek (" +
                    (Zoned(d.time) ? XmlEscape(d.time.zone.name().toStdString()) + ", UTC"
                                   : std::string("UTC")) +
                    ")</th><th>Rodzaj</th><th>Prędkość</th><th>Obraz</th></tr>\n";
    for (const auto& e : d.events) {
        h += "<tr><td>" + TimeCell(e.start, d.time) + "</td><td>" + XmlEscape(e.kind) + " (" +
             XmlEscape(e.size) + ")</td><td>" + XmlEscape(e.speeds) + "</td><td><a href=\"" +
             XmlEscape(e.key) + "\">" + XmlEscape(e.picture) + "</a></td></tr>\n";
    }
    return h + "</table>\n";
}

}  // namespace

std::string SpeedGraphSvg(const std::vector<cli::TrackPoint>& points,
                          const cli::TimeOptions& time) {
    std::vector<std::pair<double, double>> samples;  // seconds, speed in the unit shown
    for (const auto& p : points) {
        if (!p.fix.hasSpeed || !p.fix.hasDate || !p.fix.hasTime) continue;
        samples.emplace_back(p.fix.secondsSince2000(),
                             SpeedFromKmh(p.fix.speedKnots * cli::kKmPerNauticalMile, time.unit));
    }
    if (samples.size() < 2)
        return "<p class=\"note\">Za mało danych GPS na wykres prędkości.</p>\n";
    const double t0 = samples.front().first;
    double span = 0, top = 0;
    for (const auto& [t, v] : samples) {
        span = std::max(span, t - t0);
        top = std::max(top, v);
    }
    span = std::max(span, 1.0);
    const double scaleTop = std::max(10.0, std::ceil(top / 10) * 10);
    constexpr int kW = 640, kH = 200, kLeft = 50, kBottom = 30;
    const auto x = [&](double t) { return kLeft + (t - t0) / span * (kW - kLeft - 10); };
    const auto y = [&](double v) { return kH - kBottom - v / scaleTop * (kH - kBottom - 10); };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kW) +
                      "\" height=\"" + std::to_string(kH) + "\" viewBox=\"0 0 " +
                      std::to_string(kW) + " " + std::to_string(kH) +
                      "\" role=\"img\" aria-label=\"Prędkość w czasie\">\n";
    for (int i = 0; i <= 4; ++i) {
        const double v = scaleTop * i / 4;
        svg += "<line x1=\"" + std::to_string(kLeft) + "\" x2=\"" + std::to_string(kW - 10) +
               "\" y1=\"" + Fixed(y(v), 1) + "\" y2=\"" + Fixed(y(v), 1) + "\" stroke=\"#ddd\"/>";
        svg += "<text x=\"" + std::to_string(kLeft - 5) + "\" y=\"" + Fixed(y(v) + 4, 1) +
               "\" font-size=\"11\" text-anchor=\"end\">" + Fixed(v, 0) + "</text>\n";
    }
    svg += "<text x=\"" + std::to_string(kW - 10) + "\" y=\"" + std::to_string(kH - 8) +
           "\" font-size=\"11\" text-anchor=\"end\">" + Fixed(span, 0) + " s</text>";
    svg += "<text x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kH - 8) +
           "\" font-size=\"11\">0 s</text><text x=\"4\" y=\"12\" font-size=\"11\">" +
           SpeedUnitName(time.unit) + "</text>\n";
    svg += "<polyline fill=\"none\" stroke=\"#c00\" stroke-width=\"2\" points=\"";
    for (const auto& [t, v] : samples) svg += Fixed(x(t), 1) + "," + Fixed(y(v), 1) + " ";
    svg += "\"/>\n</svg>\n";
    return svg;
}

std::string ReportHtml(const ReportData& d) {
    std::string h =
        "<!DOCTYPE html>\n<html lang=\"pl\">\n<head>\n<meta charset=\"utf-8\">\n<title>Materiał "
        "dowodowy: " +
        XmlEscape(d.recordingName) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
    h += "<h1>Materiał dowodowy z nagrania</h1>\n<h2>Odcinek</h2>\n<table>\n";
    h += TimeRow("Początek", d.start, d.time);
    h += TimeRow("Koniec", d.end, d.time);
    h += "<tr><th>Strefa czasu</th><td>" +
         (Zoned(d.time) ? XmlEscape(d.time.zone.name().toStdString()) : std::string("UTC")) +
         "</td></tr>\n";
    const double clipSeconds =
        d.rate.num > 0 ? static_cast<double>(d.pictures) * d.rate.den / d.rate.num : 0;
    if (d.start && d.end) {
        h += "<tr><th>Czas trwania (GPS)</th><td>" +
             Duration(d.end->secondsSince2000() - d.start->secondsSince2000()) + "</td></tr>\n";
    }
    h += "<tr><th>Czas trwania (film)</th><td>" + Duration(clipSeconds) + " (" +
         std::to_string(d.pictures) + " obrazów, " +
         Fixed(static_cast<double>(d.rate.num) / std::max(1, d.rate.den), 3) + " obrazów/s" +
         (d.rateAssumed ? ", przyjęte: nagłówek nie podaje znanej wartości" : "") + ")</td></tr>\n";
    if (d.start && d.end && d.pictures > 1 && d.rate.num > 0) {
        // The header's rate and the recorder's real one may differ; the reader should know.
        const double gpsSeconds = d.end->secondsSince2000() - d.start->secondsSince2000();
        const double headerRate = static_cast<double>(d.rate.num) / d.rate.den;
        if (gpsSeconds > 0) {
            const double gpsRate = static_cast<double>(d.pictures - 1) / gpsSeconds;
            if (std::fabs(gpsRate - headerRate) > 0.2 * headerRate) {
                h += "<tr><th>Tempo nagrania (GPS)</th><td>" + Fixed(gpsRate, 1) +
                     " obrazów/s: film odtwarza się w tempie z nagłówka nagrania, " +
                     Fixed(headerRate / gpsRate, 1) +
                     " raza szybciej niż w rzeczywistości</td></tr>\n";
            }
        }
    }
    h += "<tr><th>Droga</th><td>" + Fixed(d.distanceKm, 3) + " km</td></tr>\n";
    h += "<tr><th>Prędkość największa</th><td>" + Speed(d.topSpeedKmh, d.time) + "</td></tr>\n";
    h += "<tr><th>Prędkość średnia</th><td>" + Speed(d.averageSpeedKmh, d.time) + "</td></tr>\n";
    h += "</table>\n";
    if (d.undecoded > 0) {
        h += "<p class=\"note\">" + std::to_string(d.undecoded) +
             " obrazów nie dało się odczytać; w filmie zastępuje je obraz poprzedni. Oryginał "
             "zawiera je bez zmian.</p>\n";
    }

    h += "<h2>Źródło</h2>\n<table>\n<tr><th>Plik</th><th>Obrazy w pliku (od 1)</th></tr>\n";
    for (const auto& source : d.sources) {
        h += "<tr><td>" + XmlEscape(source.file) + "</td><td>" + std::to_string(source.first) +
             " – " + std::to_string(source.last) + "</td></tr>\n";
    }
    h += "</table>\n";

    h += "<h2>Zdarzenia</h2>\n" + EventTable(d) + EventRule(d);

    h += "<h2>Trasa</h2>\n";
    if (!d.routePicture.empty())
        h += "<img class=\"route\" src=\"" + XmlEscape(d.routePicture) + "\" alt=\"Mapa trasy\">\n";
    if (!d.routeNote.empty()) h += "<p class=\"note\">" + XmlEscape(d.routeNote) + "</p>\n";
    h += "<h2>Prędkość</h2>\n" + SpeedGraphSvg(d.points, d.time);

    h += "<h2>Obrazy kluczowe</h2>\n<div class=\"keys\">\n";
    for (const auto& k : d.keys) {
        const std::string when = k.when ? ZonedTimeText(*k.when, d.time) : std::string();
        h += "<figure><img src=\"" + XmlEscape(k.file) + "\" alt=\"" + XmlEscape(k.picture) +
             "\"><figcaption>" + XmlEscape(k.picture) + ", " + Fixed(k.clipSeconds, 1) +
             " s filmu" + (when.empty() ? "" : ", " + XmlEscape(when)) + "</figcaption></figure>\n";
    }
    h += "</div>\n";

    h += "<h2>Zawartość i sprawdzenie</h2>\n<ul>\n"
         "<li><b>original.m1v</b>: zaznaczony fragment nagrania, bajt w bajt</li>\n"
         "<li><b>video.mp4</b>: ten sam odcinek jako H.264 z opisem na dole obrazu</li>\n"
         "<li><b>track.gpx</b>, <b>track.csv</b>: ślad GPS odcinka</li>\n"
         "<li><b>picture-N.png</b>: obrazy kluczowe (N: numer obrazu od początku nagrania lub "
         "podróży)</li>\n"
         "<li><b>SHA256SUMS</b>: sumy SHA-256 wszystkich pozostałych plików</li>\n</ul>\n"
         "<p>Sprawdzenie, że nic nie zmieniono: w tym folderze <code>sha256sum -c "
         "SHA256SUMS</code>.</p>\n";
    h += "<p class=\"note\">Wykonano programem " + XmlEscape(d.programName) + " " +
         XmlEscape(d.programVersion) + ", koder obrazu " + XmlEscape(d.encoder) +
         ".</p>\n</body>\n</html>\n";
    return h;
}

}  // namespace droskal::evidence
