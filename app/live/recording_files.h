#pragma once
// Names and cut points of the recording files.

#include <cstddef>
#include <cstdint>
#include <string>

namespace live {

// The n-th file (from 1) of a split recording: "rec.dat" gives
// "rec-0001.dat"; a name without an extension gets the number at its end.
std::string SplitFileName(const std::string& path, unsigned n);

// Where in `data` a link frame starts, so that a new file begins with one:
// the first sync pair that is followed by another one a frame later, or,
// near the end, the first sync pair whose frame runs past `data`. `size` when
// there is none.
size_t FindFrameStart(const uint8_t* data, size_t size);

}  // namespace live
