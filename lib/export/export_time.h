#pragma once
// Times as the export writes them: ISO 8601 in UTC.

#include <cstdint>
#include <string>

// "2026-12-08T11:25:48Z", with optional fractional seconds and "Z" or
// "+00:00"; false for anything else.
bool ParseIsoUtc(const std::string& text, int64_t& micros);

// "2026-12-08T11:25:48.040Z": microseconds since 1970-01-01 UTC, to the millisecond.
std::string FormatIsoUtc(int64_t micros);

// "11:25:48.040": the time of day alone, in UTC, to the millisecond.
std::string FormatUtcTimeOfDay(int64_t micros);
