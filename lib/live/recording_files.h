#pragma once
// Names of the recording files, and whether one can be made.

#include <cstddef>
#include <cstdint>
#include <string>

namespace live {

// The n-th file (from 1) of a split recording: "rec.dat" gives
// "rec-0001.dat"; a name without an extension gets the number at its end.
std::string SplitFileName(const std::string& path, unsigned n);

// Why a recording cannot be made at `path`, found without making it; empty
// when it can. An existing file is a problem only without `force`.
std::string RecordingPathProblem(const std::string& path, bool force);

}  // namespace live
