#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "core/format/telemetry_record.h"

// Longest line: two 11-character integers, five 13-character %g values and
// the labels, with room to spare.
constexpr size_t kTelemetryLineMax = 160;

// Formats "<count>,video:<type>,Az:..,Pt:..,Lon:..,Lat:..,H:..\n" as the
// standard stream's default format writes numbers (%g, precision 6), in the
// "C" locale whatever the process locale is. Returns the length written.
size_t FormatTelemetryLine(char (&out)[kTelemetryLineMax], int32_t count, int32_t videoType,
                           const TelemetryValues& values);

// Writes one line and flushes the stream.
void WriteTelemetryLine(std::ostream& out, int32_t count, int32_t videoType,
                        const TelemetryValues& values);

// The line's five values alone, "<az>,<pt>,<lon>,<lat>,<h>", each written
// exactly as the line writes it: what the tools' CSV and track writers put
// in their columns, so that they never take the printed line apart.
std::string TelemetryValuesCsv(const TelemetryValues& values);

// One value exactly as the line writes it, for texts that show the line's
// values under their own labels.
std::string TelemetryNumber(double value);
