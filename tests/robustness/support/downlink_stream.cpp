#include "tests/robustness/support/downlink_stream.h"

#include <algorithm>

#include "pipeline/byte_order.h"
#include "pipeline/ingest/link_frame.h"
#include "pipeline/present/telemetry_record.h"

namespace {

TelemetryRecord MarkedRecord(int32_t marker) {
    TelemetryRecord record{};
    using namespace telemetry_field;
    le::WriteU16(record.bytes + kAzimuth, static_cast<uint16_t>(int16_t{8192}));
    le::WriteU16(record.bytes + kPitch, static_cast<uint16_t>(int16_t{-4096}));
    le::WriteU32(record.bytes + kLongitude, static_cast<uint32_t>(int32_t{1000000000}));
    le::WriteU32(record.bytes + kLatitude, static_cast<uint32_t>(int32_t{-500000000}));
    le::WriteU32(record.bytes + kHeight, static_cast<uint32_t>(marker * 1000));
    return record;
}

// H.265 emulation prevention: no 00 00 0x with x <= 3 may stand in a unit.
void AppendEscaped(Bytes& out, const uint8_t* data, size_t size) {
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (zeros == 2 && data[i] <= 0x03) {
            out.push_back(0x03);
            zeros = 0;
        }
        out.push_back(data[i]);
        zeros = data[i] == 0x00 ? zeros + 1 : 0;
    }
}

}  // namespace

Bytes TelemetryUnit(int32_t marker, size_t keptPayload) {
    const TelemetryRecord record = MarkedRecord(marker);
    Bytes unit = {0x00, 0x00, 0x00, 0x01, 0x06, 0x05};
    size_t size = kTelemetryRecordSize;
    for (; size >= 0xFF; size -= 0xFF) unit.push_back(0xFF);
    unit.push_back(static_cast<uint8_t>(size));
    AppendEscaped(unit, record.bytes, std::min(keptPayload, kTelemetryRecordSize));
    unit.push_back(0x80);
    return unit;
}

Bytes StreamEnd() {
    return {0x00, 0x00, 0x00, 0x01, 0x46, 0x01, 0x50, 0x00, 0x00, 0x00, 0x01, 0x46, 0x01, 0x50};
}

Bytes PicturesWithTelemetry(const std::vector<Bytes>& pictures, int32_t firstMarker) {
    Bytes stream;
    for (size_t i = 0; i < pictures.size(); ++i) {
        Append(stream, TelemetryUnit(firstMarker + static_cast<int32_t>(i)));
        Append(stream, pictures[i]);
    }
    return stream;
}

Bytes LinkFrames(const Bytes& stream, const LinkFraming& framing) {
    using namespace link_frame;
    Bytes out;
    uint16_t sequence = framing.firstSequence;
    for (size_t pos = 0; pos < stream.size(); pos += static_cast<size_t>(framing.payloadPerFrame)) {
        const size_t n = std::min(stream.size() - pos, static_cast<size_t>(framing.payloadPerFrame));
        uint8_t frame[kFrameSize] = {};
        frame[0] = kSync1;
        frame[1] = kSync2;
        le::WriteU16(frame + kSequenceOffset, sequence++);
        le::WriteU16(frame + kPayloadLenOffset, static_cast<uint16_t>(n));
        std::copy(stream.begin() + static_cast<std::ptrdiff_t>(pos),
                  stream.begin() + static_cast<std::ptrdiff_t>(pos + n), frame + kPayloadOffset);
        out.insert(out.end(), frame, frame + kFrameSize);
    }
    return out;
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
