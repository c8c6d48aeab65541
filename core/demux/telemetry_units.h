#pragma once
// The record out of a telemetry unit: the first 782 bytes of its payload with
// the emulation-prevention bytes taken out.

#include <cstddef>
#include <cstdint>

#include "core/format/telemetry_record.h"
#include "core/format/telemetry_unit.h"

namespace telemetry_units {

// Sums the 0xFF-continued size bytes from kSizeOffset on; `payloadStart`
// becomes the position after the last size byte. Stops at the unit's end.
inline int64_t DeclaredPayloadSize(const uint8_t* unit, int32_t length, int32_t& payloadStart) {
    int64_t size = 0;
    int32_t pos = telemetry_unit::kSizeOffset;
    while (pos < length) {
        const uint8_t byte = unit[pos++];
        size += byte;
        if (byte != telemetry_unit::kSizeContinue) break;
    }
    payloadStart = pos;
    return size;
}

// True, with `record` replaced, for a telemetry unit that declares more than
// kMaxUncapturedSize bytes of payload; any other unit leaves `record` as it
// was. The two bytes before a 0x03 are compared as they stand in the unit,
// so a skipped 0x03 still counts as the byte before the next one. Nothing
// past the unit is read; a payload that ends early leaves the rest of the
// record zero.
inline bool ReadRecord(const uint8_t* unit, int32_t length, TelemetryRecord& record) {
    if (length <= 0 || !telemetry_unit::IsTelemetryUnit(unit, static_cast<size_t>(length))) return false;
    int32_t pos = 0;
    if (DeclaredPayloadSize(unit, length, pos) <= telemetry_unit::kMaxUncapturedSize) return false;
    TelemetryRecord read{};
    size_t produced = 0;
    for (; pos < length && produced < kTelemetryRecordSize; ++pos) {
        const bool emulationPrevention = unit[pos] == 0x03 && unit[pos - 1] == 0x00 && unit[pos - 2] == 0x00;
        if (!emulationPrevention) read.bytes[produced++] = unit[pos];
    }
    record = read;
    return true;
}

}  // namespace telemetry_units
