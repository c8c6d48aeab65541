#include "tests/support/marked_streams.h"

#include <stdexcept>
#include <string>

#include "core/demux/annex_b.h"
#include "core/format/link_frame.h"
#include "lib/formats/telemetry_track.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/stream_builder.h"

Bytes EncodeScenes(int width, int height, int count, int keyint) {
    PatternOptions options;
    options.width = width;
    options.height = height;
    options.frames = count;
    options.keyint = keyint;
    Bytes es;
    std::string error;
    if (!EncodeTestPattern(options, es, error)) throw std::runtime_error("encoding: " + error);
    return es;
}

TelemetryRecord MarkedRecord(int marker) {
    TelemetryRecord record{};
    std::string error;
    if (!EncodeRecord(TelemetrySample{45, 67.5, 100, -50, static_cast<double>(marker)}, record, error)) {
        throw std::runtime_error("telemetry record: " + error);
    }
    return record;
}

Bytes MarkedPictures(int width, int height, int count, int firstMarker, int keyint) {
    std::vector<TelemetryRecord> records;
    for (int i = 0; i < count; ++i) records.push_back(MarkedRecord(firstMarker + i));
    return InterleaveTelemetry(EncodeScenes(width, height, count, keyint), records);
}

std::vector<size_t> PictureStarts(const Bytes& stream) {
    std::vector<size_t> starts;
    size_t accessUnit = 0;
    for (const UnitSpan& unit : FindUnits(stream)) {
        const uint8_t* bytes = stream.data() + unit.offset;
        if (StartsPicture(bytes, unit.size)) starts.push_back(accessUnit);
        if (IsSliceUnit(bytes, unit.size)) accessUnit = unit.offset + unit.size;
    }
    return starts;
}

Bytes Closed(Bytes stream) {
    AppendEndOfBitstream(stream);
    return stream;
}

Bytes Framed(const Bytes& stream, const Impairments& impairments) {
    return FrameLink(stream, link_frame::kPayloadArea, impairments);
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
