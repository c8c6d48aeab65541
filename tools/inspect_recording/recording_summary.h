#pragma once
// The inspector's outputs: the summary and the telemetry track.

#include <iosfwd>

#include "tools/recording/recording_reader.h"

void WriteSummary(std::ostream& out, const std::string& path, const RecordingReport& report, bool decoded);
void WriteTelemetryCsv(std::ostream& out, const RecordingReport& report);
