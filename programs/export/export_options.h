#pragma once
// The command line of export-recording.

#include <cstdint>
#include <string>
#include <vector>

#include "lib/export/picture_range.h"

struct ExportOptions {
    std::string recording;
    std::vector<std::string> outputs;
    double fps = 25;
    bool startGiven = false;
    int64_t startMicros = 0;  // microseconds since 1970-01-01 UTC
    bool quiet = false;
    PictureRange range;
};

// 0 to run, -1 after --help, else the exit status after a one-line message.
int ParseExportOptions(int argc, char** argv, ExportOptions& options);
