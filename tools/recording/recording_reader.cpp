#include "tools/recording/recording_reader.h"

#include <algorithm>
#include <fstream>
#include <memory>

#include "pipeline/decode/nal_unit.h"
#include "pipeline/decode/telemetry_unit.h"
#include "pipeline/decode_data.h"

namespace {

// The queue discards its backlog at kQueueLimit payloads; a chunk never
// completes more frames than this bound allows, so nothing is lost unread.
constexpr size_t kMaxChunk = DecodeData::kQueueLimit / 2 * 512;

void Observe(DecodeData& pipeline, const ReadOptions& options, RecordingReport& report) {
    pipeline.onNal = [&report, &options](const uint8_t* unit, int32_t length) {
        ++report.units;
        if (unit[nal_unit::kStartCodeSize] == telemetry_unit::kMarker) {
            ++report.telemetryMarkerUnits;
        } else {
            ++report.unitsByType[nal_unit::TypeOf(unit[nal_unit::kStartCodeSize])];
        }
        if (options.keepStream) report.elementaryStream.insert(report.elementaryStream.end(), unit, unit + length);
    };
    pipeline.onTelemetry = [&report](const TelemetryRecord& record) { report.records.push_back(record); };
    pipeline.onPicture = [&report, &options](const uint8_t* rgb, int32_t width, int32_t height,
                                             const TelemetryRecord& record) {
        ++report.pictures;
        report.pictureSizes.push_back({width, height});
        if (options.onPicture) options.onPicture(rgb, width, height, record);
    };
}

// Counts what the parser queued, then lets the splitter take it all.
void DrainQueue(DecodeData& pipeline, RecordingReport& report) {
    {
        std::lock_guard<std::mutex> lock(pipeline.queueLock);
        for (const tagFRAME_LIST_ELEMENT* element : pipeline.payloadQueue) {
            ++report.payloads;
            report.payloadBytes += static_cast<uint64_t>(element->length);
        }
    }
    while (pipeline.ProcessNextPayload()) {
    }
}

}  // namespace

RecordingReport ReadRecordingBytes(const std::vector<uint8_t>& recording, const ReadOptions& options) {
    RecordingReport report;
    report.fileBytes = recording.size();
    auto pipeline = std::make_unique<DecodeData>();
    pipeline->AllocateBuffers();
    if (options.decode) pipeline->OpenDecoder();
    pipeline->windowEnabled = false;
    pipeline->linePrinted = false;
    // The splitter's one diagnostic line would land in the tools' own output.
    pipeline->firstUnitAnnounced = true;
    Observe(*pipeline, options, report);

    const size_t chunk = std::clamp<size_t>(options.chunkSize, 1, kMaxChunk);
    for (size_t pos = 0; pos < recording.size(); pos += chunk) {
        const size_t take = std::min(chunk, recording.size() - pos);
        pipeline->ParseLink(recording.data() + pos, static_cast<int32_t>(take));
        DrainQueue(*pipeline, report);
    }
    report.linkFrames = pipeline->linkFrameCount;
    report.invalidFrames = pipeline->invalidFrameCount;
    report.sequenceBreaks = static_cast<uint64_t>(pipeline->lostCount);
    // Before the first start code the splitter holds only a partial one.
    if (pipeline->nalLen >= nal_unit::kPrefixSize) {
        report.openTail.assign(pipeline->nalBuf, pipeline->nalBuf + pipeline->nalLen);
    }
    return report;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot create " + path;
        return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool ReadRecordingFile(const std::string& path, const ReadOptions& options, RecordingReport& report,
                       std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error)) return false;
    report = ReadRecordingBytes(bytes, options);
    return true;
}
