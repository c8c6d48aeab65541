#pragma once
// The inspector's outputs: the summary and the telemetry track.

#include <iosfwd>

#include "lib/reading/recording_reader.h"

// "1920x1080", or the sizes seen, in order of first appearance, joined by
// ", ": the summary and the report page say it in the same words.
std::string DescribePictureSizes(const std::vector<PictureSize>& sizes);

void WriteSummary(std::ostream& out, const std::string& path, const RecordingReport& report, bool decoded);
void WriteTelemetryCsv(std::ostream& out, const RecordingReport& report);
