#include "lib/reading/recording_reader.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>

#include "core/demux/byte_source.h"
#include "core/demux/link_frames.h"
#include "core/demux/ordered_link_scan.h"
#include "core/format/link_frame.h"
#include "core/format/nal_unit.h"
#include "core/format/telemetry_unit.h"
#include "core/session/payload_decoder.h"

namespace {

class SliceCounter {
public:
    explicit SliceCounter(RecordingReport& report) : report_(report) {}

    void Unit(const uint8_t* unit, int32_t length) {
        if (nal_unit::OpensPicture(unit, length)) {
            Close();
            slices_ = 1;
        } else if (nal_unit::ContinuesPicture(unit, length)) {
            if (slices_ > 0) {
                ++slices_;
            } else {
                ++report_.orphanSlices;
            }
        } else if (!nal_unit::MayStandBetweenSlices(unit[nal_unit::kStartCodeSize])) {
            Close();
        }
    }

    void Close() {
        if (slices_ > 0) ++report_.slicesPerPicture[slices_];
        slices_ = 0;
    }

private:
    RecordingReport& report_;
    int slices_ = 0;
};

// The decoder's error lines, while a reader decodes: counted by text and
// marked against the picture the decoder was working on; none reaches
// standard error. With decoder threads the lines come from FFmpeg's threads.
class DecoderLog {
public:
    DecoderLog(RecordingReport& report, bool markTags) : report_(report), markTags_(markTags) {}

    // FFmpeg may write one line in several parts; it ends with the newline.
    void Take(const char* text, int64_t tag) {
        std::lock_guard<std::mutex> lock(lock_);
        pending_ += text;
        if (markTags_) tagsWithErrors_.insert(tag);
        if (!pending_.empty() && pending_.back() == '\n') Commit();
    }

    bool TagHasErrors(int64_t tag) const {
        std::lock_guard<std::mutex> lock(lock_);
        return tagsWithErrors_.count(tag) != 0;
    }

    // A line still waiting for its newline is counted as it stands.
    void Finish() {
        std::lock_guard<std::mutex> lock(lock_);
        Commit();
    }

private:
    void Commit() {
        while (!pending_.empty() && (pending_.back() == '\n' || pending_.back() == '\r')) pending_.pop_back();
        if (!pending_.empty()) ++report_.decoderErrors[pending_];
        pending_.clear();
    }

    mutable std::mutex lock_;
    RecordingReport& report_;
    bool markTags_;
    std::string pending_;
    std::set<int64_t> tagsWithErrors_;
};

// The decoder's observers, which count what the stream held into `report`.
PayloadDecoderOptions Observers(const ReadOptions& options, RecordingReport& report, SliceCounter& slices) {
    PayloadDecoderOptions decoding;
    decoding.onNal = [&report, &options, &slices](const uint8_t* unit, int32_t length) {
        ++report.units;
        slices.Unit(unit, length);
        if (telemetry_unit::IsTelemetryUnit(unit, static_cast<size_t>(length))) {
            ++report.telemetryMarkerUnits;
        } else {
            ++report.unitsByType[nal_unit::TypeOf(unit[nal_unit::kStartCodeSize])];
        }
        if (options.keepStream)
            report.elementaryStream.insert(report.elementaryStream.end(), unit, unit + length);
        if (options.onUnit) options.onUnit(unit, length);
    };
    decoding.onTelemetry = [&report, &options](const TelemetryRecord& record) {
        ++report.recordCount;
        if (options.keepLists) report.records.push_back(record);
        if (options.onRecord) options.onRecord(record);
    };
    decoding.onPicture = [&report, &options](const ShownPicture& picture) {
        ++report.pictures;
        const PictureSize size{picture.width, picture.height};
        if (options.keepLists || report.pictureSizes.empty() || !(report.pictureSizes.back() == size))
            report.pictureSizes.push_back(size);
        if (options.keepLists) report.shownTags.push_back(picture.tag);
        if (options.onPicture) options.onPicture(picture);
    };
    decoding.pixelsWanted = [&options] {
        return options.onPicture && (!options.pixelsWanted || options.pixelsWanted());
    };
    if (options.onPacket) decoding.onPacket = options.onPacket;
    return decoding;
}

// One decoder fed frame by frame, as the player's worker is fed.
class PipelineReader {
public:
    PipelineReader(const ReadOptions& options, RecordingReport& report)
        : report_(report),
          onLinkFrame_(options.onLinkFrame),
          scan_(options.reorderMs, [this](const link_frames::Frame& frame, uint64_t end) { TakeFrame(frame, end); }),
          slices_(report),
          chunk_(std::clamp<size_t>(options.chunkSize, 1, link_frames::kLargestPiece)) {
        // Headless: the splitter's one diagnostic line would land in the
        // tools' own output.
        PayloadDecoderOptions decoding = Observers(options, report_, slices_);
        decoding.decode = options.decode;
        if (options.decode) {
            log_ = std::make_unique<DecoderLog>(report_, options.keepLists);
            DecoderLog* log = log_.get();
            decoding.onDecoderError = [log](const char* text, int64_t tag) { log->Take(text, tag); };
            decoding.decoderThreads = options.decoderThreads;
            decoding.smallPictureBox = options.smallPictureBox;
        }
        decoder_ = std::make_unique<PayloadDecoder>(std::move(decoding));
    }

    size_t ChunkSize() const { return chunk_; }

    // Frames go back in sequence order, at the link's pace, as downlink-live
    // orders them. Each frame's payload is split as the frame goes on, and
    // whatever it completed (units, records, pictures) follows its own event.
    void Feed(const uint8_t* data, size_t size) {
        for (size_t pos = 0; pos < size; pos += chunk_) {
            const size_t take = std::min(chunk_, size - pos);
            const uint64_t start = report_.bytes;
            scan_.FeedAtLinkPace(data + pos, static_cast<int32_t>(take), start);
            report_.bytes = start + take;
        }
    }

    void Finish() {
        // The frames still held go on with their own places; the count of
        // bytes read stays the whole recording's.
        const uint64_t read = report_.bytes;
        scan_.Flush();
        report_.bytes = read;
        decoder_->Finish();
        const link_frames::State& link = scan_.Counts();
        report_.linkFrames = link.linkFrameCount;
        report_.invalidFrames = link.invalidFrameCount;
        report_.sequenceBreaks = static_cast<uint64_t>(link.lostCount);
        report_.lostFrames = scan_.OrderCounts().lost;
        report_.lateFrames = scan_.OrderCounts().late;
        report_.duplicateFrames = scan_.OrderCounts().duplicate;
        // Before the first start code the splitter holds only a partial one.
        report_.openTail = decoder_->OpenUnit();
        slices_.Close();
        if (log_) CountWholePictures();
    }

private:
    // `end` is the recording offset just past the frame's last byte.
    void TakeFrame(const link_frames::Frame& frame, uint64_t end) {
        if (onLinkFrame_) {
            report_.bytes = end;
            onLinkFrame_(link_frames::EventAt(frame, report_.bytes));
        }
        if (frame.valid && frame.payloadLength > 0) {
            ++report_.payloads;
            report_.payloadBytes += frame.payloadLength;
            decoder_->Split(frame.Payload(), static_cast<int32_t>(frame.payloadLength));
        }
    }

    // Late errors count too: a picture may be shown as soon as its first
    // slice is decoded, before the decoder turns down the slices after it.
    void CountWholePictures() {
        log_->Finish();
        report_.wholePictures = static_cast<uint64_t>(
            std::count_if(report_.shownTags.begin(), report_.shownTags.end(),
                          [this](int64_t tag) { return !log_->TagHasErrors(tag); }));
    }

    // Declared first so that it outlives the decoder: what the decoder says
    // while it is freed stays off standard error too.
    std::unique_ptr<DecoderLog> log_;
    std::unique_ptr<PayloadDecoder> decoder_;
    RecordingReport& report_;
    std::function<void(const LinkFrameEvent&)> onLinkFrame_;
    OrderedLinkScan scan_;
    SliceCounter slices_;
    size_t chunk_;
};

constexpr size_t kWholeFilePiece = 64 * 1024;

// Hands on each piece read into `buffer` until the end; false on a read error.
template <typename Take>
bool ReadToEnd(ByteSource& source, std::vector<uint8_t>& buffer, Take take) {
    int64_t n;
    while ((n = source.Read(buffer.data(), buffer.size())) > 0) take(buffer.data(), static_cast<size_t>(n));
    return n == 0;
}

}  // namespace

RecordingReport ReadRecordingBytes(const std::vector<uint8_t>& recording, const ReadOptions& options) {
    RecordingReport report;
    PipelineReader reader(options, report);
    reader.Feed(recording.data(), recording.size());
    reader.Finish();
    return report;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::string reason;
    const std::unique_ptr<FileByteSource> file = FileByteSource::Open(path, reason);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    bytes.clear();
    if (file->Size() > 0) bytes.reserve(static_cast<size_t>(file->Size()));
    std::vector<uint8_t> buffer(kWholeFilePiece);
    const bool read = ReadToEnd(*file, buffer, [&bytes](const uint8_t* data, size_t size) {
        bytes.insert(bytes.end(), data, data + size);
    });
    if (!read) {
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
    std::string reason;
    const std::unique_ptr<FileByteSource> file = FileByteSource::Open(path, reason);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    // Read in pieces: a recording may be far larger than memory should hold.
    report = RecordingReport{};
    PipelineReader reader(options, report);
    std::vector<uint8_t> buffer(reader.ChunkSize() * 16);
    const bool read = ReadToEnd(*file, buffer, [&reader, &options, &report](const uint8_t* data, size_t size) {
        reader.Feed(data, size);
        if (options.onProgress) options.onProgress(report.bytes);
    });
    if (!read) {
        error = "cannot read " + path;
        return false;
    }
    reader.Finish();
    return true;
}
