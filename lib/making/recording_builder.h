#pragma once
// The whole sending side in one call: elementary stream and telemetry records
// in, link recording bytes out. make-recording and the tests share it.

#include <cstdint>
#include <vector>

#include "core/format/telemetry_record.h"
#include "lib/making/link_framer.h"

struct RecordingOptions {
    double fps = 25;
    int payloadSize = 480;              // elementary-stream bytes per link frame
    uint64_t targetBytesPerSecond = 0;  // 0: no filler
    uint8_t payloadType = 5;            // telemetry units' payload-type byte
    bool endOfBitstream = true;         // closes the last picture for the splitter
    Impairments impairments;
};

// Interleaves the records, pads to the rate, closes the stream and frames it.
// `streamOut`, when given, receives the elementary stream that was framed.
std::vector<uint8_t> BuildRecording(const std::vector<uint8_t>& es,
                                    const std::vector<TelemetryRecord>& records,
                                    const RecordingOptions& options, LinkStats* stats = nullptr,
                                    std::vector<uint8_t>* streamOut = nullptr);
