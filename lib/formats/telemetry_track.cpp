#include "lib/formats/telemetry_track.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

#include "core/format/byte_order.h"
#include "core/present/telemetry_line.h"

namespace {

using namespace telemetry_field;

// Counts for `value` under a field whose decoded value is count * scale + offset.
bool ToCounts(const char* name, double value, double scale, double offset, int64_t lowest, int64_t highest,
              int64_t& counts, std::string& error) {
    const double exact = (value - offset) / scale;
    const bool fits = std::isfinite(exact) && std::fabs(exact) < 9.0e18 && std::llround(exact) >= lowest &&
                      std::llround(exact) <= highest;
    if (!fits) {
        char text[160];
        std::snprintf(text, sizeof text, "%s %.10g is out of range (%.10g to %.10g)", name, value,
                      static_cast<double>(lowest) * scale + offset,
                      static_cast<double>(highest) * scale + offset);
        error = text;
        return false;
    }
    counts = std::llround(exact);
    return true;
}

bool PutS16(const char* name, double value, double scale, double offset, uint8_t* at, std::string& error) {
    int64_t counts = 0;
    if (!ToCounts(name, value, scale, offset, std::numeric_limits<int16_t>::min(),
                  std::numeric_limits<int16_t>::max(), counts, error)) {
        return false;
    }
    le::WriteU16(at, static_cast<uint16_t>(static_cast<int16_t>(counts)));
    return true;
}

bool PutS32(const char* name, double value, double scale, uint8_t* at, std::string& error) {
    int64_t counts = 0;
    if (!ToCounts(name, value, scale, 0.0, std::numeric_limits<int32_t>::min(),
                  std::numeric_limits<int32_t>::max(), counts, error)) {
        return false;
    }
    le::WriteU32(at, static_cast<uint32_t>(static_cast<int32_t>(counts)));
    return true;
}

// The fill repeats every 32 bytes: first every run that emulation prevention
// must escape (three zeros, 00 00 01, 00 00 02, 00 00 03 and an escape byte's
// look-alike), then bytes that vary with the offset.
constexpr uint8_t kEscapeRuns[16] = {0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x02,
                                     0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x03, 0xA5};

}  // namespace

uint8_t RecordFillByte(size_t offset) {
    // The last byte is not zero: a unit ending in zeros would run into the
    // next start code.
    if (offset == kTelemetryRecordSize - 1) return 0x5A;
    const size_t phase = offset % 32;
    if (phase < 16) return kEscapeRuns[phase];
    return static_cast<uint8_t>(offset * 131 + 7);
}

bool EncodeRecord(const TelemetrySample& s, TelemetryRecord& record, std::string& error) {
    for (size_t i = 0; i < kTelemetryRecordSize; ++i) record.bytes[i] = RecordFillByte(i);
    const double angle = kAngleScaleNum / kAngleScaleDen;
    uint8_t* r = record.bytes;
    return PutS16("azimuth", s.azimuth, angle, 0.0, r + kAzimuth, error) &&
           PutS16("pitch", s.pitch, angle, kPitchOffset, r + kPitch, error) &&
           PutS32("longitude", s.longitude, kDegreeScale, r + kLongitude, error) &&
           PutS32("latitude", s.latitude, kDegreeScale, r + kLatitude, error) &&
           PutS32("height", s.height, kHeightScale, r + kHeight, error);
}

std::vector<TelemetrySample> GenerateFlightPath(int count) {
    constexpr double kPi = 3.14159265358979323846;
    std::vector<TelemetrySample> path;
    for (int i = 0; i < count; ++i) {
        const double t = i / 25.0;  // seconds at the usual 25 pictures a second
        TelemetrySample s;
        s.azimuth = std::remainder(12.0 * t, 360.0);  // a full turn every 30 s
        s.pitch = 90.0 - 15.0 + 10.0 * std::sin(2 * kPi * t / 8.0);
        s.longitude = 116.391 + 0.01 * std::cos(2 * kPi * t / 60.0);
        s.latitude = 39.9042 + 0.01 * std::sin(2 * kPi * t / 60.0);
        s.height = 1500.0 + 5.0 * t + 20.0 * std::sin(2 * kPi * t / 10.0);
        path.push_back(s);
    }
    return path;
}

namespace {

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) {
        const size_t first = field.find_first_not_of(" \t\r\n");
        const size_t last = field.find_last_not_of(" \t\r\n");
        fields.push_back(first == std::string::npos ? "" : field.substr(first, last - first + 1));
    }
    return fields;
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> value;
    return !in.fail() && in.peek() == std::char_traits<char>::eof();
}

const char* const kColumnNames[5] = {"azimuth", "pitch", "longitude", "latitude", "height"};

// Column of each of the five values, from a header row; false if the row is
// data (its first field is a number).
bool ColumnsFromHeader(const std::vector<std::string>& fields, int (&columns)[5], std::string& error) {
    double ignored = 0;
    if (fields.empty() || ParseNumber(fields[0], ignored)) return false;
    for (int c = 0; c < 5; ++c) {
        columns[c] = -1;
        for (size_t f = 0; f < fields.size(); ++f) {
            if (fields[f] == kColumnNames[c]) columns[c] = static_cast<int>(f);
        }
        if (columns[c] < 0) error = std::string("header has no column \"") + kColumnNames[c] + "\"";
    }
    return true;
}

bool ParseRow(const std::vector<std::string>& fields, const int (&columns)[5], TelemetrySample& s,
              std::string& error) {
    double* targets[5] = {&s.azimuth, &s.pitch, &s.longitude, &s.latitude, &s.height};
    for (int c = 0; c < 5; ++c) {
        const size_t f = static_cast<size_t>(columns[c]);
        if (f >= fields.size()) {
            error = std::string("missing ") + kColumnNames[c];
            return false;
        }
        if (!ParseNumber(fields[f], *targets[c])) {
            error = std::string("bad ") + kColumnNames[c] + " \"" + fields[f] + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseTelemetryCsv(std::istream& in, std::vector<TelemetrySample>& samples, std::string& error) {
    int columns[5] = {0, 1, 2, 3, 4};
    bool first = true;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') continue;
        const std::vector<std::string> fields = SplitFields(line);
        std::string problem;
        if (first && ColumnsFromHeader(fields, columns, problem)) {
            first = false;
            if (!problem.empty()) {
                error = "line " + std::to_string(number) + ": " + problem;
                return false;
            }
            continue;
        }
        first = false;
        TelemetrySample s{};
        if (!ParseRow(fields, columns, s, problem)) {
            error = "line " + std::to_string(number) + ": " + problem;
            return false;
        }
        samples.push_back(s);
    }
    return true;
}

bool ReadTelemetryCsv(const std::string& path, std::vector<TelemetrySample>& samples, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    if (!ParseTelemetryCsv(in, samples, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

const char kTelemetryCsvHeader[] = "record,azimuth,pitch,longitude,latitude,height";

std::string TelemetryCsvRow(int number, const TelemetryRecord& record) {
    return std::to_string(number) + "," + TelemetryValuesCsv(DecodeTelemetry(record));
}
