#pragma once
// The same elementary stream decoded by the ffmpeg command-line program, as a
// user would check a stream: packed RGB pictures in output order.

#include <cstdint>
#include <string>
#include <vector>

// Every picture ffmpeg decodes from `es`, width * height * 3 bytes each.
// Empty, with `error` set, when ffmpeg cannot be run or gives no picture.
std::vector<std::vector<uint8_t>> DecodeWithFfmpeg(const std::vector<uint8_t>& es, int width, int height,
                                                   std::string& error);

// The largest mean absolute difference, over every colour sample, between
// two pictures in any of `bands` horizontal bands of equal height: a missing
// slice shows as one band far off, where a mean over the whole picture
// would dilute it.
double WorstBandDifference(const uint8_t* a, const uint8_t* b, int width, int height, int bands);
