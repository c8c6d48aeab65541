#pragma once
// What the parameter sets say about the stream, read by FFmpeg's decoder.

#include <cstdint>
#include <vector>

// Pictures the decoder holds back before showing them (the SPS's reorder
// depth; 0 without B-frames). 0 when the sets cannot be read.
int ProbeReorderDelay(const std::vector<uint8_t>& parameterSets);
