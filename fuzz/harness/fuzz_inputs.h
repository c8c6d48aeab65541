#pragma once
// One function per fuzz target that runs a single input through the real
// pipeline code. The libFuzzer entry points call these, and so does the
// regression test that replays every input that ever made a target fail.
// Each returns 0; a broken invariant traps.

#include <cstddef>
#include <cstdint>

// Byte 0 picks the size of the pieces the rest is handed to ParseLink in and
// whether the worker's side of the queue keeps up or stalls.
int RunLinkParserInput(const uint8_t* data, size_t size);

// The bytes go to SplitNal as link payloads of up to 480 bytes; units go to
// telemetry capture, with no decoder open.
int RunNalSplitterInput(const uint8_t* data, size_t size);

// The same, after expanding each sequence FE ED n v to (n + 1) x 32768 bytes
// v, so that a short input can outgrow the assembly buffer (runs stop
// expanding a little past its size). A target of its own: such inputs are
// slow, and the splitter's own target stays fast on small ones.
int RunNalOverflowInput(const uint8_t* data, size_t size);

// The bytes are an elementary stream for the splitter, the real HEVC decoder,
// the RGB conversion and the telemetry line, with the window turned off.
int RunUnitPathInput(const uint8_t* data, size_t size);

// Byte 0 picks the reader's piece size and whether the bytes are read a
// second time frame by frame, which must count the same; the rest is a
// recording for the recording tools' reader (decode off) and the inspector's
// summary.
int RunRecordingReaderInput(const uint8_t* data, size_t size);

// The bytes are an elementary stream for the splitter; its units go to the
// export's access-unit splitter and its records to the KLV Local Set and the
// subtitle, table and map tracks.
int RunExportPathInput(const uint8_t* data, size_t size);

// Byte 0 picks the size of the pieces read, byte 1 where to seek; the rest is
// a recording for the stream session, read whole and then again from there.
int RunStreamSessionInput(const uint8_t* data, size_t size);
// Byte 0 picks the size of the pieces read, byte 1 whether the recording is
// complete and a picture to ask for; the rest is a recording for the
// review viewer's index and seeker.
int RunPictureSeekerInput(const uint8_t* data, size_t size);
