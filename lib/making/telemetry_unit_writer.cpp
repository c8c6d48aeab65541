#include "lib/making/telemetry_unit_writer.h"

#include <algorithm>

#include "core/format/telemetry_unit.h"

void AppendPayloadSize(std::vector<uint8_t>& out, size_t size) {
    for (; size >= telemetry_unit::kSizeContinue; size -= telemetry_unit::kSizeContinue) {
        out.push_back(telemetry_unit::kSizeContinue);
    }
    out.push_back(static_cast<uint8_t>(size));
}

void AppendEscaped(std::vector<uint8_t>& out, const uint8_t* data, size_t size) {
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (zeros >= 2 && data[i] <= 0x03) {
            out.push_back(0x03);
            zeros = 0;
        }
        out.push_back(data[i]);
        zeros = data[i] == 0x00 ? zeros + 1 : 0;
    }
}

std::vector<uint8_t> BuildTelemetryUnit(const TelemetryRecord& record, uint8_t payloadType) {
    return BuildCutShortTelemetryUnit(record, kTelemetryRecordSize, payloadType);
}

std::vector<uint8_t> BuildCutShortTelemetryUnit(const TelemetryRecord& record, size_t keptBytes,
                                                uint8_t payloadType) {
    std::vector<uint8_t> unit;
    unit.reserve(kTelemetryRecordSize * 2);  // room for every emulation-prevention byte
    start_code::Append(unit);
    unit.push_back(telemetry_unit::kMarker);
    unit.push_back(payloadType);
    AppendPayloadSize(unit, kTelemetryRecordSize);
    AppendEscaped(unit, record.bytes, std::min(keptBytes, kTelemetryRecordSize));
    return unit;
}
