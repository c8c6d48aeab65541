#pragma once
// How many pictures a read of a recording will show, told before that read,
// so that the report can plan its thumbnails: a first pass through the
// reader's link scan and splitter, whose units, as the decoder would be
// given them, FFmpeg's HEVC parser gathers into access units. Nothing is
// decoded. A clean recording shows exactly this many; a damaged one, or one
// whose decoder holds back reordered pictures at the end, may show fewer.

#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "lib/reading/recording_reader.h"

// `like` gives the chunk size, the reordering window and the progress
// observer; nothing else of it is used.
uint64_t CountPictures(const std::vector<uint8_t>& recording, const ReadOptions& like);
bool CountPicturesInFile(const std::string& path, const ReadOptions& like, uint64_t& pictures, std::string& error);
// The file's count on a thread of its own, to run beside the read that shows
// the pictures; 0 when the file cannot be read. Progress is not observed.
std::future<uint64_t> CountPicturesBeside(const std::string& path, const ReadOptions& like);
