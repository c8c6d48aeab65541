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
        if (options.keepStream)
            report.elementaryStream.insert(report.elementaryStream.end(), unit, unit + length);
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

// One pipeline fed piece by piece, as the replay feeds the player's.
class PipelineReader {
public:
    PipelineReader(const ReadOptions& options, RecordingReport& report)
        : pipeline_(std::make_unique<DecodeData>()),
          report_(report),
          chunk_(std::clamp<size_t>(options.chunkSize, 1, kMaxChunk)) {
        pipeline_->AllocateBuffers();
        if (options.decode) pipeline_->OpenDecoder();
        pipeline_->windowEnabled = false;
        pipeline_->linePrinted = false;
        // The splitter's one diagnostic line would land in the tools' own output.
        pipeline_->firstUnitAnnounced = true;
        Observe(*pipeline_, options, report_);
    }

    size_t ChunkSize() const { return chunk_; }

    void Feed(const uint8_t* data, size_t size) {
        report_.fileBytes += size;
        for (size_t pos = 0; pos < size; pos += chunk_) {
            const size_t take = std::min(chunk_, size - pos);
            pipeline_->ParseLink(data + pos, static_cast<int32_t>(take));
            DrainQueue(*pipeline_, report_);
        }
    }

    void Finish() {
        report_.linkFrames = pipeline_->linkFrameCount;
        report_.invalidFrames = pipeline_->invalidFrameCount;
        report_.sequenceBreaks = static_cast<uint64_t>(pipeline_->lostCount);
        // Before the first start code the splitter holds only a partial one.
        if (pipeline_->nalLen >= nal_unit::kPrefixSize) {
            report_.openTail.assign(pipeline_->nalBuf, pipeline_->nalBuf + pipeline_->nalLen);
        }
    }

private:
    std::unique_ptr<DecodeData> pipeline_;
    RecordingReport& report_;
    size_t chunk_;
};

}  // namespace

RecordingReport ReadRecordingBytes(const std::vector<uint8_t>& recording, const ReadOptions& options) {
    RecordingReport report;
    PipelineReader reader(options, report);
    reader.Feed(recording.data(), recording.size());
    reader.Finish();
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
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    // Read in pieces: a recording may be far larger than memory should hold.
    report = RecordingReport{};
    PipelineReader reader(options, report);
    std::vector<char> buffer(reader.ChunkSize() * 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        reader.Feed(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    reader.Finish();
    return true;
}
