#include "core/session/stream_session.h"

#include <algorithm>
#include <utility>

extern "C" {
#include <libavcodec/defs.h>
}

#include "core/demux/telemetry_units.h"
#include "core/format/link_frame.h"
#include "core/format/nal_unit.h"

namespace {

// The splitter's bound, as the player's: the largest unit, less the padding
// FFmpeg may read past a unit it is given.
constexpr int32_t kUnitBufferBytes = nal_unit::kAssemblyBufferSize;
constexpr int32_t kUnitLimit = kUnitBufferBytes - AV_INPUT_BUFFER_PADDING_SIZE;

}  // namespace

// No diagnostic line, and no held slice: every unit goes on as it comes.
struct StreamSession::SplitterHooks {
    StreamSession& session;
    void FirstStartCode(uint8_t) {}
    bool WantsSliceHeaderByte() const { return false; }
    void SliceHeaderByte(const uint8_t*, int32_t) {}
    void Unit(const uint8_t* unit, int32_t length) { session.TakeUnit(unit, length); }
};

StreamSession::StreamSession(std::unique_ptr<ByteSource> source, SessionEvents events)
    : source_(std::move(source)), events_(std::move(events)), unitBuffer_(new uint8_t[kUnitBufferBytes]) {
    ResetLayers(1);
}

void StreamSession::ResetLayers(int64_t firstTag) {
    link_ = std::make_unique<OrderedLinkScan>(
        FrameOrder::kDefaultWindowMs, [this](const link_frames::Frame& frame, uint64_t end) { TakeFrame(frame, end); });
    splitter_ = unit_splitter::State();
    splitter_.nalBuf = unitBuffer_.get();
    accessUnits_ = std::make_unique<AccessUnitSplitter>([this](AccessUnit&& au) { TakeAccessUnit(std::move(au)); });
    fedUnitSeeks_.clear();
    statistics_ = LinkStatistics();
    frameStart_ = previousFrameStart_ = nextUnitSeek_ = position_;
    tag_ = 0;
    firstTag_ = firstTag;
    tagShift_ = firstTag - 1;
    awaitingKey_ = false;
    failed_ = false;
}

bool StreamSession::Seek(uint64_t offset, int64_t firstTag, const std::vector<uint8_t>& parameterSets,
                         Landing landing) {
    if (!source_->Seek(offset)) return false;
    position_ = offset;
    ResetLayers(firstTag);
    resync_ = offset > 0 && landing == Landing::kAnywhere;
    if (landing == Landing::kFrameStart) link_->StartWithNextFrame();
    awaitingKey_ = true;
    nal_unit::ForEachUnit(parameterSets.data(), parameterSets.size(), [this](const uint8_t* unit, size_t length) {
        fedUnitSeeks_.push_back(position_);
        accessUnits_->Packet(unit, static_cast<int32_t>(length), 0);
    });
    return true;
}

bool StreamSession::Step(size_t bytes) {
    piece_.resize(std::clamp<size_t>(bytes, 1, link_frames::kLargestPiece));
    const int64_t n = source_->Read(piece_.data(), piece_.size());
    failed_ = n < 0;
    if (n <= 0) return false;
    const uint64_t start = position_;
    position_ = start + static_cast<uint64_t>(n);
    statistics_.bytes += static_cast<uint64_t>(n);
    size_t skip = 0;
    if (resync_) {
        // A sync pair cut by the piece's end is looked for again in the next.
        skip = link_frame::FindFrameStart(piece_.data(), static_cast<size_t>(n));
        resync_ = skip == static_cast<size_t>(n);
    }
    Scan(piece_.data() + skip, static_cast<int32_t>(static_cast<size_t>(n) - skip), start + skip);
    return true;
}

void StreamSession::Scan(const uint8_t* data, int32_t length, uint64_t start) {
    link_->FeedAtLinkPace(data, length, start);
    CountFrames();
}

void StreamSession::CountFrames() {
    const link_frames::State& counts = link_->Counts();
    statistics_.linkFrames = counts.linkFrameCount;
    statistics_.invalidFrames = counts.invalidFrameCount;
    statistics_.sequenceBreaks = static_cast<uint64_t>(counts.lostCount);
    statistics_.lostFrames = link_->OrderCounts().lost;
    statistics_.lateFrames = link_->OrderCounts().late;
    statistics_.duplicateFrames = link_->OrderCounts().duplicate;
}

bool StreamSession::ReadToEnd() {
    while (Step()) {
    }
    Finish();
    return !failed_;
}

void StreamSession::Finish() {
    link_->Flush();
    CountFrames();
    accessUnits_->Finish();
}

void StreamSession::TakeFrame(const link_frames::Frame& frame, uint64_t end) {
    previousFrameStart_ = frameStart_;
    frameStart_ = end - link_frame::kFrameSize;
    if (events_.onLinkFrame) events_.onLinkFrame(link_frames::EventAt(frame, end));
    if (!frame.valid) return;
    ++statistics_.payloads;
    statistics_.payloadBytes += frame.payloadLength;
    SplitterHooks hooks{*this};
    unit_splitter::Split(splitter_, frame.Payload(), static_cast<int32_t>(frame.payloadLength), kUnitLimit, hooks);
}

// A unit is handed over when the next one's start code has arrived, in this
// frame or straddling the one before it: reading again from the frame before
// meets that start code whole.
void StreamSession::TakeUnit(const uint8_t* unit, int32_t length) {
    const uint64_t seek = nextUnitSeek_;
    nextUnitSeek_ = previousFrameStart_;
    if (events_.onUnit) events_.onUnit(unit, length, seek);
    TelemetryRecord record{};
    if (telemetry_units::ReadRecord(unit, length, record)) {
        if (events_.onRecord) events_.onRecord(record);
        return;
    }
    if (nal_unit::TypeOf(unit[nal_unit::kStartCodeSize]) == nal_unit::kFillerData) return;
    if (nal_unit::OpensPicture(unit, length)) ++tag_;
    fedUnitSeeks_.push_back(seek);
    accessUnits_->Packet(unit, length, tag_);
}

// The parser regroups the units it was fed in order, so an access unit's
// first unit is the oldest one not yet given out.
void StreamSession::TakeAccessUnit(AccessUnit&& au) {
    size_t units = 0;
    nal_unit::ForEachUnit(au.bytes.data(), au.bytes.size(), [&units](const uint8_t*, size_t) { ++units; });
    const uint64_t seek = fedUnitSeeks_.empty() ? nextUnitSeek_ : fedUnitSeeks_.front();
    fedUnitSeeks_.erase(fedUnitSeeks_.begin(),
                        fedUnitSeeks_.begin() + static_cast<std::ptrdiff_t>(std::min(units, fedUnitSeeks_.size())));
    if (awaitingKey_) {
        if (!au.key) return;
        awaitingKey_ = false;
        tagShift_ = firstTag_ - au.tag;
    }
    if (au.hasPicture) au.tag += tagShift_;
    if (events_.onAccessUnit) events_.onAccessUnit(au, seek);
}
