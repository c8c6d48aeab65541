#include "lib/making/recording_builder.h"

#include "lib/making/stream_builder.h"

std::vector<uint8_t> BuildRecording(const std::vector<uint8_t>& es,
                                    const std::vector<TelemetryRecord>& records,
                                    const RecordingOptions& options, LinkStats* stats,
                                    std::vector<uint8_t>* streamOut) {
    std::vector<uint8_t> stream = InterleaveTelemetry(es, records, options.payloadType);
    if (options.targetBytesPerSecond > 0)
        stream = PadToByteRate(stream, options.fps, options.targetBytesPerSecond);
    if (options.endOfBitstream) AppendEndOfBitstream(stream);
    std::vector<uint8_t> recording = FrameLink(stream, options.payloadSize, options.impairments, stats);
    if (streamOut != nullptr) *streamOut = std::move(stream);
    return recording;
}
