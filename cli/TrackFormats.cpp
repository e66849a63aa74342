#include "cli/TrackFormats.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamWriter>

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

namespace {

// Qt writes the elements, escapes the text and indents; the name is cleaned first, as file
// names may hold bytes that are not UTF-8 or characters XML does not allow.
class XmlOut {
  public:
    explicit XmlOut(std::ostream& o) : o_(o), w_(&bytes_) {
        w_.setAutoFormatting(true);
        w_.setAutoFormattingIndent(2);
        w_.writeStartDocument();
    }
    ~XmlOut() {
        w_.writeEndDocument();
        o_.write(bytes_.constData(), bytes_.size());
    }
    QXmlStreamWriter& operator*() { return w_; }
    QXmlStreamWriter* operator->() { return &w_; }

  private:
    std::ostream& o_;
    QByteArray bytes_;
    QXmlStreamWriter w_;
};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Name(const std::string& name) {
    return Q(CleanText(name));
}

}  // namespace

void WriteGpx(std::ostream& o, const std::string& name, const std::vector<TrackPoint>& points) {
    XmlOut x(o);
    x->writeDefaultNamespace("http://www.topografix.com/GPX/1/1");
    x->writeNamespace("http://www.w3.org/2001/XMLSchema-instance", "xsi");
    x->writeStartElement("gpx");
    x->writeAttribute("version", "1.1");
    x->writeAttribute("creator", "droskal-cli");
    x->writeAttribute(
        "http://www.w3.org/2001/XMLSchema-instance", "schemaLocation",
        "http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd");
    x->writeStartElement("trk");
    x->writeTextElement("name", Name(name));
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].newSegment) {
            if (i > 0) x->writeEndElement();
            x->writeStartElement("trkseg");
        }
        const RmcSentence& f = points[i].fix;
        x->writeStartElement("trkpt");
        x->writeAttribute("lat", Q(Coordinate(f.latitude)));
        x->writeAttribute("lon", Q(Coordinate(f.longitude)));
        if (const std::string time = IsoUtc(f); !time.empty()) x->writeTextElement("time", Q(time));
        x->writeTextElement("name", QString::number(points[i].index));
        x->writeEndElement();
    }
    if (!points.empty()) x->writeEndElement();
    x->writeEndElement();  // trk
    x->writeEndElement();  // gpx
}

void WriteKml(std::ostream& o, const std::string& name, const std::vector<TrackPoint>& points) {
    XmlOut x(o);
    x->writeDefaultNamespace("http://www.opengis.net/kml/2.2");
    x->writeStartElement("kml");
    x->writeStartElement("Document");
    x->writeTextElement("name", Name(name));
    x->writeStartElement("Placemark");
    x->writeTextElement("name", Name(name));
    x->writeStartElement("MultiGeometry");
    // A LineString needs two points; a lone fix between gaps becomes a Point.
    for (std::size_t i = 0; i < points.size();) {
        std::size_t end = i + 1;
        while (end < points.size() && !points[end].newSegment) ++end;
        std::string coordinates;
        for (std::size_t k = i; k < end; ++k) {
            coordinates += (k > i ? " " : "") + Coordinate(points[k].fix.longitude) + "," +
                           Coordinate(points[k].fix.latitude);
        }
        x->writeStartElement(end - i > 1 ? "LineString" : "Point");
        x->writeTextElement("coordinates", Q(coordinates));
        x->writeEndElement();
        i = end;
    }
    x->writeEndElement();  // MultiGeometry
    x->writeEndElement();  // Placemark
    x->writeEndElement();  // Document
    x->writeEndElement();  // kml
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
