#include "lib/export/map_track_writers.h"

#include <charconv>
#include <cmath>
#include <ostream>
#include <string>

#include "lib/export/export_time.h"

namespace {

// Eight decimals keep a position to about a millimetre, finer than the
// record's 1e-7 degree step; the height's unit in the record is 0.001 m.
constexpr int kDegreeDecimals = 8;
constexpr int kHeightDecimals = 3;

// to_chars, because a stream or printf would follow the process locale and
// could write a decimal comma.
std::string Fixed(double value, int decimals) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    return std::string(text, end);
}

bool OnMap(const TelemetryValues& v) {
    return std::isfinite(v.latitude) && std::isfinite(v.longitude) && std::isfinite(v.height) &&
           std::fabs(v.latitude) <= 90.0 && std::fabs(v.longitude) <= 180.0;
}

class GpxWriter : public TrackWriter {
public:
    void Begin(std::ostream& out) override {
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<gpx version=\"1.1\" creator=\"export-recording\" "
               "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
               "<trk>\n<trkseg>\n";
    }
    void Add(std::ostream& out, const ExportedPicture& picture) override {
        const TelemetryValues& v = picture.values;
        if (!OnMap(v)) return;
        out << "<trkpt lat=\"" + Fixed(v.latitude, kDegreeDecimals) + "\" lon=\"" +
                   Fixed(v.longitude, kDegreeDecimals) + "\"><ele>" + Fixed(v.height, kHeightDecimals) +
                   "</ele><time>" + FormatIsoUtc(picture.timeMicros) + "</time></trkpt>\n";
    }
    void End(std::ostream& out) override { out << "</trkseg>\n</trk>\n</gpx>\n"; }
};

// gx:Track lists every time before every coordinate, and the Placemark's
// time span comes before its geometry, so the track is written at the end.
class KmlWriter : public TrackWriter {
public:
    void Begin(std::ostream& out) override {
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
               "<Document>\n<name>export-recording</name>\n";
    }
    void Add(std::ostream&, const ExportedPicture& picture) override {
        const TelemetryValues& v = picture.values;
        if (!OnMap(v)) return;
        const std::string time = FormatIsoUtc(picture.timeMicros);
        if (whens_.empty()) first_ = time;
        last_ = time;
        whens_ += "<when>" + time + "</when>\n";
        coords_ += "<gx:coord>" + Fixed(v.longitude, kDegreeDecimals) + " " + Fixed(v.latitude, kDegreeDecimals) +
                   " " + Fixed(v.height, kHeightDecimals) + "</gx:coord>\n";
    }
    void End(std::ostream& out) override {
        // A track without a point is no geometry at all: leave it out.
        if (!whens_.empty()) {
            out << "<Placemark>\n<name>sensor track</name>\n"
                   "<TimeSpan><begin>" + first_ + "</begin><end>" + last_ + "</end></TimeSpan>\n"
                   "<gx:Track>\n<altitudeMode>absolute</altitudeMode>\n"
                << whens_ << coords_ << "</gx:Track>\n</Placemark>\n";
        }
        out << "</Document>\n</kml>\n";
    }

private:
    std::string first_;
    std::string last_;
    std::string whens_;
    std::string coords_;
};

}  // namespace

std::unique_ptr<TrackWriter> MakeGpxWriter() { return std::make_unique<GpxWriter>(); }
std::unique_ptr<TrackWriter> MakeKmlWriter() { return std::make_unique<KmlWriter>(); }
