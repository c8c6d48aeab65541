#pragma once
// Whether a file is a downlink recording, told from its first megabyte, and
// the one line that says so. downlink-play refuses a file that is not one
// before the player starts; inspect-recording ends its summary with the
// same line.

#include <cstddef>
#include <cstdint>
#include <string>

namespace recording_kind {

// How much of a file is looked at: a recording holds about 2000 link frames
// in it, so one without a single valid frame there is some other file.
constexpr size_t kHeadBytes = size_t{1} << 20;

struct Look {
    bool validLinkFrame = false;  // the player's link parser completed a frame with a valid payload length
    const char* container = nullptr;  // what the file is recognisably instead, or null
    bool empty = false;
};

// Looks at the first kHeadBytes of `data`.
Look LookAt(const uint8_t* data, size_t size);

// Reads the head of a regular file and looks at it. False, with the reason
// in `error`, when it cannot be read; also false, with `error` empty, for a
// pipe or device, whose bytes would be gone for the player once read.
bool LookAtFile(const std::string& path, Look& look, std::string& error);

// A file the player would replay to no purpose: no valid link frame, or a
// container format no link writes.
bool IsRecording(const Look& look);

// "a downlink recording: ..." or "not a downlink recording: ..."; the words
// both programs print.
std::string Verdict(const Look& look);

// Empty when `path` can be read and is a downlink recording (or a pipe,
// which cannot be looked at without taking its bytes); otherwise why not,
// in one line: the words downlink-play and downlink-view refuse a file with.
std::string ProblemReading(const std::string& path);

}  // namespace recording_kind
