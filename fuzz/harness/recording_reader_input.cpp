// The recording tools' reader, decode off, on arbitrary bytes, and the
// inspector's summary of what it counted.

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "core/format/nal_unit.h"
#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/harness/invariant.h"
#include "lib/reading/recording_reader.h"
#include "lib/reading/recording_summary.h"

namespace {

// Both ways of feeding the parser must see the same recording: a tool that
// places events per frame would otherwise disagree with the summary.
void CheckSameCounts(const RecordingReport& a, const RecordingReport& b) {
    FUZZ_INVARIANT(a.bytes == b.bytes);
    FUZZ_INVARIANT(a.linkFrames == b.linkFrames);
    FUZZ_INVARIANT(a.invalidFrames == b.invalidFrames);
    FUZZ_INVARIANT(a.sequenceBreaks == b.sequenceBreaks);
    FUZZ_INVARIANT(a.payloads == b.payloads && a.payloadBytes == b.payloadBytes);
    FUZZ_INVARIANT(a.units == b.units && a.unitsByType == b.unitsByType);
    FUZZ_INVARIANT(a.telemetryMarkerUnits == b.telemetryMarkerUnits);
    FUZZ_INVARIANT(a.recordCount == b.recordCount);
    FUZZ_INVARIANT(a.slicesPerPicture == b.slicesPerPicture && a.orphanSlices == b.orphanSlices);
    FUZZ_INVARIANT(a.elementaryStream == b.elementaryStream && a.openTail == b.openTail);
}

void CheckReport(const RecordingReport& r, size_t size) {
    FUZZ_INVARIANT(r.bytes == size);
    FUZZ_INVARIANT(r.invalidFrames <= r.linkFrames);
    // The reader's pieces are small enough that the queue never discards.
    FUZZ_INVARIANT(r.payloads + r.invalidFrames == r.linkFrames);
    uint64_t byType = r.telemetryMarkerUnits;
    for (const auto& entry : r.unitsByType) byType += entry.second;
    FUZZ_INVARIANT(byType == r.units);
    FUZZ_INVARIANT(r.recordCount == r.records.size());
    // Every byte of the stream came from a payload; the open tail did too.
    FUZZ_INVARIANT(r.elementaryStream.size() + r.openTail.size() <= r.payloadBytes);
    if (!r.elementaryStream.empty())
        FUZZ_INVARIANT(r.elementaryStream.size() >= start_code::kSize && start_code::At(r.elementaryStream.data()));
    uint64_t sliced = 0;
    for (const auto& entry : r.slicesPerPicture) sliced += static_cast<uint64_t>(entry.first) * entry.second;
    FUZZ_INVARIANT(sliced + r.orphanSlices <= r.units);
}

void CheckSummary(const RecordingReport& r) {
    std::ostringstream out;
    WriteSummary(out, "fuzz.dat", r, false);
    const std::string text = out.str();
    FUZZ_INVARIANT(text.find("link frames:      " + std::to_string(r.linkFrames) + "\n") != std::string::npos);
    FUZZ_INVARIANT(text.find("NAL units:        " + std::to_string(r.units) + "\n") != std::string::npos);
    FUZZ_INVARIANT((text.find("unfinished unit:") != std::string::npos) == !r.openTail.empty());
}

}  // namespace

int RunRecordingReaderInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    ReadOptions options;
    // From one byte to past the reader's own piece size.
    options.chunkSize = 1 + static_cast<size_t>(data[0] & 0x7F) * 89;
    const bool framewise = (data[0] & 0x80) != 0;
    const std::vector<uint8_t> recording(data + 1, data + size);

    const RecordingReport report = ReadRecordingBytes(recording, options);
    CheckReport(report, recording.size());
    CheckSummary(report);
    if (!framewise) return 0;

    // Frames come in sequence order, so their places in the recording need
    // not grow; each is a whole frame inside it, and none comes twice.
    uint64_t frames = 0, invalid = 0, breaks = 0;
    std::vector<uint64_t> ends;
    options.onLinkFrame = [&](const LinkFrameEvent& frame) {
        FUZZ_INVARIANT(frame.endOffset >= 512 && frame.endOffset <= recording.size());
        ends.push_back(frame.endOffset);
        ++frames;
        invalid += frame.invalid;
        breaks += frame.sequenceBreak;
    };
    const RecordingReport byFrame = ReadRecordingBytes(recording, options);
    CheckSameCounts(report, byFrame);
    FUZZ_INVARIANT(frames == byFrame.linkFrames && invalid == byFrame.invalidFrames);
    FUZZ_INVARIANT(breaks == byFrame.sequenceBreaks);
    std::sort(ends.begin(), ends.end());
    FUZZ_INVARIANT(std::adjacent_find(ends.begin(), ends.end()) == ends.end());
    return 0;
}
