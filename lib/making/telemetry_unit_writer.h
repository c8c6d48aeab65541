#pragma once
// Writes telemetry units as the sending side does:
//   00 00 00 01 06 | payload type | payload size, 0xFF-continued | record
// with emulation prevention applied to the record.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/format/telemetry_record.h"

std::vector<uint8_t> BuildTelemetryUnit(const TelemetryRecord& record, uint8_t payloadType = 5);

// A unit that declares the whole record but ends after its first `keptBytes`
// bytes, as one cut off by a lost link frame looks to the receiver.
std::vector<uint8_t> BuildCutShortTelemetryUnit(const TelemetryRecord& record, size_t keptBytes,
                                                uint8_t payloadType = 5);

// Appends `size` as SEI payload-size bytes: 0xFF for every full 255, then the rest.
void AppendPayloadSize(std::vector<uint8_t>& out, size_t size);

// Appends `data` with an 0x03 inserted after every two 0x00 bytes that would
// otherwise be followed by 0x00, 0x01, 0x02 or 0x03.
void AppendEscaped(std::vector<uint8_t>& out, const uint8_t* data, size_t size);
