#pragma once
// Assembles the elementary stream the link carries: the encoder's units, a
// telemetry unit ahead of each picture, and filler for a constant-rate link.

#include <cstdint>
#include <vector>

#include "core/format/telemetry_record.h"

// Writes the telemetry unit of records[i] right before the first slice unit
// of picture i (the unit with first_slice_segment_in_pic_flag set). Pictures
// beyond the last record get none. Everything else is copied unchanged.
std::vector<uint8_t> InterleaveTelemetry(const std::vector<uint8_t>& es,
                                         const std::vector<TelemetryRecord>& records,
                                         uint8_t payloadType = 5);

// Writes units[i] right before the first slice unit of picture i, the
// general form of InterleaveTelemetry.
std::vector<uint8_t> InsertBeforePictures(const std::vector<uint8_t>& es,
                                          const std::vector<std::vector<uint8_t>>& units);

// The stream without its telemetry units (header byte 0x06) and without a
// closing end-of-bitstream unit, ready to be given a new track. `removed`,
// when given, receives the number of telemetry units taken out.
std::vector<uint8_t> StripTelemetryAndEnd(const std::vector<uint8_t>& es, size_t* removed = nullptr);

// Pads a stream with filler-data units (type 38) after each picture's last
// slice so that, picture by picture, the stream never falls behind
// `bytesPerSecond` at `fps` pictures a second. A picture larger than its share
// is not cut; the pictures after it get less filler until the rate is met.
std::vector<uint8_t> PadToByteRate(const std::vector<uint8_t>& es, double fps, uint64_t bytesPerSecond);

// One filler-data unit of exactly `size` bytes (at least kMinFillerUnit),
// start code included.
constexpr size_t kMinFillerUnit = 7;
std::vector<uint8_t> BuildFillerUnit(size_t size);

// Appends an end-of-bitstream unit. The player's splitter hands a unit over
// only when the next start code arrives, so without it the last picture of a
// recording would never be decoded.
void AppendEndOfBitstream(std::vector<uint8_t>& es);
