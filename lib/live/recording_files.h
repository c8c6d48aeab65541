#pragma once
// Names of the recording files.

#include <cstddef>
#include <cstdint>
#include <string>

namespace live {

// The n-th file (from 1) of a split recording: "rec.dat" gives
// "rec-0001.dat"; a name without an extension gets the number at its end.
std::string SplitFileName(const std::string& path, unsigned n);

}  // namespace live
