#pragma once
// Physical telemetry values and the records that carry them.

#include <iosfwd>
#include <string>
#include <vector>

#include "core/format/telemetry_record.h"

// Degrees for the angles and positions; height in the record's unit (counts
// of 0.001). Pitch as the player shows it, i.e. with its +90 offset.
struct TelemetrySample {
    double azimuth;
    double pitch;
    double longitude;
    double latitude;
    double height;
};

// The inverse of the record's conversions, rounded to the nearest count. Fails
// with a message naming the value when it does not fit its field. Every byte
// outside the five fields gets a fixed pattern full of 00 00 00 / 00 00 03
// runs, so that writing the record into a unit needs emulation prevention.
bool EncodeRecord(const TelemetrySample& s, TelemetryRecord& record, std::string& error);

// The record's bytes outside the shown fields, as EncodeRecord writes them.
uint8_t RecordFillByte(size_t offset);

// A smooth, visibly moving track: turning azimuth, nodding pitch, a slow
// circle in longitude and latitude and a climbing, rolling height.
std::vector<TelemetrySample> GenerateFlightPath(int count);

// Reads a track, one row per picture. Columns are found by a header row naming
// azimuth, pitch, longitude, latitude and height (others, such as the
// inspector's record number, are ignored); without a header the first five
// columns are taken in that order. Blank lines and lines starting '#' are skipped.
bool ReadTelemetryCsv(const std::string& path, std::vector<TelemetrySample>& samples, std::string& error);
bool ParseTelemetryCsv(std::istream& in, std::vector<TelemetrySample>& samples, std::string& error);

// The header and one row of the track as the inspector writes it: the record
// number, then the values exactly as the player's telemetry line shows them.
extern const char kTelemetryCsvHeader[];  // "record,azimuth,pitch,longitude,latitude,height"
std::string TelemetryCsvRow(int number, const TelemetryRecord& record);
