#pragma once
// Seed inputs for the fuzz targets, made from real encoded pictures at build
// time rather than kept as binaries: small streams with telemetry, a size
// change, a telemetry unit cut short, and their link-framed forms.

#include <string>
#include <vector>

#include "tests/support/marked_streams.h"

struct SeedSet {
    std::string target;  // a fuzz target: link_parser, nal_splitter, unit_path, ...
    std::vector<Bytes> inputs;
};

std::vector<SeedSet> MakeFuzzSeeds();
