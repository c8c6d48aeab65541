#pragma once
// The output for a file name, chosen by its extension.

#include <memory>
#include <string>

#include "lib/export/export_sink.h"

// Null for an extension no output knows; `fpsNum / fpsDen` is the timeline's rate.
std::unique_ptr<ExportSink> MakeSink(const std::string& path, int fpsNum, int fpsDen);
