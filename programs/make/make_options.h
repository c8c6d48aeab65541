#pragma once
// make-recording's command line.

#include <string>

#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"

struct MakeOptions {
    std::string output;
    std::string input;      // H.265 Annex-B file; empty: encode the test pattern
    std::string telemetry;  // CSV track; empty: the generated flight path
    std::string esOutput;   // also write the elementary stream that was framed
    PatternOptions pattern;
    RecordingOptions recording;
    bool quiet = false;
};

enum class ParseResult { kRun, kHelp, kVersion, kError };

// Fills `options` from argv; on kError `error` says what was wrong.
ParseResult ParseMakeOptions(int argc, char** argv, MakeOptions& options, std::string& error);
void PrintMakeUsage(const char* program);
