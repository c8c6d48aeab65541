// Takes telemetry units out of the stream and keeps their record.

#include <cstring>

#include "core/format/nal_unit.h"
#include "core/format/telemetry_unit.h"
#include "pipeline/decode_data.h"

namespace {

// Sums the 0xFF-continued size bytes from kSizeOffset on; `payloadStart`
// becomes the position after the last size byte. Stops at the unit's end.
int64_t DeclaredPayloadSize(const uint8_t* unit, int32_t length, int32_t& payloadStart) {
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

}  // namespace

// The record is the first 782 bytes of the payload with emulation-prevention
// bytes removed. The two bytes before a 0x03 are compared as they stand in the
// unit, so a skipped 0x03 still counts as the byte before the next one.
// Nothing past the unit is read; a payload that ends early leaves the rest of
// the record zero.
bool DecodeData::CaptureTelemetry(const uint8_t* unit, int32_t length) {
    if (length <= 0 || !telemetry_unit::IsTelemetryUnit(unit, static_cast<size_t>(length))) return false;
    int32_t pos = 0;
    if (DeclaredPayloadSize(unit, length, pos) <= telemetry_unit::kMaxUncapturedSize) {
        return false;
    }
    TelemetryRecord record{};
    size_t produced = 0;
    for (; pos < length && produced < kTelemetryRecordSize; ++pos) {
        const bool emulationPrevention =
            unit[pos] == 0x03 && unit[pos - 1] == 0x00 && unit[pos - 2] == 0x00;
        if (!emulationPrevention) record.bytes[produced++] = unit[pos];
    }
    telemetry = record;
    return true;
}
