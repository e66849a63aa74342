#include "cli/TrackFormats.h"

#include <filesystem>

#include "cli/Geo.h"
#include "cli/Text.h"

namespace droskal::cli {

namespace {

std::string Coordinate(double degrees) {
    return Fixed(degrees, 7);
}

}  // namespace

std::string TrackName(const std::string& input) {
    return std::filesystem::path(input).filename().string();
}

void WriteGpx(std::ostream& o, const std::string& name, const std::vector<TrackPoint>& points) {
    o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<gpx version=\"1.1\" creator=\"droskal-cli\" "
         "xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
         "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
         "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
         "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
         "  <trk>\n    <name>"
      << XmlEscape(name) << "</name>\n";
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].newSegment) {
            if (i > 0) o << "    </trkseg>\n";
            o << "    <trkseg>\n";
        }
        const RmcSentence& f = points[i].fix;
        o << "      <trkpt lat=\"" << Coordinate(f.latitude) << "\" lon=\""
          << Coordinate(f.longitude) << "\">";
        if (const std::string time = IsoUtc(f); !time.empty()) o << "<time>" << time << "</time>";
        o << "<name>" << points[i].index << "</name></trkpt>\n";
    }
    if (!points.empty()) o << "    </trkseg>\n";
    o << "  </trk>\n</gpx>\n";
}

void WriteKml(std::ostream& o, const std::string& name, const std::vector<TrackPoint>& points) {
    o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
         "  <Document>\n    <name>"
      << XmlEscape(name) << "</name>\n    <Placemark>\n      <name>" << XmlEscape(name)
      << "</name>\n      <MultiGeometry>\n";
    // A LineString needs two points; a lone fix between gaps becomes a Point.
    for (std::size_t i = 0; i < points.size();) {
        std::size_t end = i + 1;
        while (end < points.size() && !points[end].newSegment) ++end;
        const bool line = end - i > 1;
        o << (line ? "        <LineString><coordinates>" : "        <Point><coordinates>");
        for (std::size_t k = i; k < end; ++k) {
            o << (k > i ? " " : "") << Coordinate(points[k].fix.longitude) << ","
              << Coordinate(points[k].fix.latitude);
        }
        o << (line ? "</coordinates></LineString>\n" : "</coordinates></Point>\n");
        i = end;
    }
    o << "      </MultiGeometry>\n    </Placemark>\n  </Document>\n</kml>\n";
}

void WriteCsv(std::ostream& o, const std::vector<TrackPoint>& points, const TimeOptions& time) {
    o << "picture,position," << (time.zoneGiven ? "time" : "utc") << ",latitude,longitude,speed_"
      << UnitWord(time) << ",course,status\n";
    for (const auto& p : points) {
        const RmcSentence& f = p.fix;
        o << p.index << "," << p.picturePos << "," << TimeText(f, time) << ","
          << Coordinate(f.latitude) << "," << Coordinate(f.longitude) << ","
          << (f.hasSpeed ? SpeedValue(f.speedKnots * kKmPerNauticalMile, time, 2) : "") << ","
          << (f.hasCourse ? Fixed(f.course, 1) : "") << "," << f.status << "\n";
    }
}

}  // namespace droskal::cli
