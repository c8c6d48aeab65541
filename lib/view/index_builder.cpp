#include "lib/view/index_builder.h"

#include <algorithm>
#include <utility>

#include "core/demux/telemetry_units.h"
#include "core/format/link_frame.h"
#include "core/format/nal_unit.h"
#include "core/format/telemetry_unit.h"

namespace {
// A count that falls further back than any reordering could put it starts a
// new run after the pictures already there: a stream started again without
// an IDR picture, or a damaged header.
constexpr int64_t kMaxReorder = 64;

std::vector<uint8_t> OwnParameterSets(const AccessUnit& unit) {
    std::vector<uint8_t> sets;
    nal_unit::ForEachUnit(unit.bytes.data(), unit.bytes.size(), [&sets](const uint8_t* u, size_t length) {
        if (length > nal_unit::kStartCodeSize && nal_unit::IsParameterSetType(nal_unit::TypeOf(u[nal_unit::kStartCodeSize])))
            sets.insert(sets.end(), u, u + length);
    });
    return sets;
}
}  // namespace

IndexBuilder::IndexBuilder(std::unique_ptr<ByteSource> source, PictureIndex& index) : index_(index) {
    SessionEvents events;
    events.onLinkFrame = [this](const LinkFrameEvent& frame) { TakeFrame(frame); };
    events.onUnit = [this](const uint8_t* unit, int32_t length, uint64_t) { TakeUnit(unit, length); };
    events.onRecord = [this](const TelemetryRecord& record) {
        current_ = DecodeTelemetry(record);
        hasRecord_ = true;
    };
    events.onAccessUnit = [this](const AccessUnit& unit, uint64_t seek) { TakeAccessUnit(unit, seek); };
    session_ = std::make_unique<StreamSession>(std::move(source), std::move(events));
}

bool IndexBuilder::Step(size_t bytes) {
    const bool more = session_->Step(bytes);
    index_.SetBytesIndexed(session_->Position());
    return more;
}

void IndexBuilder::Finish() { session_->Finish(); }

// The session tags a picture when its first slice arrives, as the player
// does; the record current then is the one it is shown with.
void IndexBuilder::TakeUnit(const uint8_t* unit, int32_t length) {
    if (length <= nal_unit::kStartCodeSize) return;
    if (telemetry_unit::IsTelemetryUnit(unit, static_cast<size_t>(length))) return;
    if (!nal_unit::OpensPicture(unit, length)) return;
    ++openedPictures_;
    if (hasRecord_) pending_.emplace_back(openedPictures_, current_);
}

void IndexBuilder::TakeFrame(const LinkFrameEvent& frame) {
    if (frame.invalid) index_.AddMark({frame.endOffset, LinkMark::Kind::kInvalidFrame, 1});
    if (frame.sequenceBreak) {
        index_.AddMark({frame.endOffset, LinkMark::Kind::kSequenceBreak, 1});
        if (frame.framesSkipped > 0) index_.AddMark({frame.endOffset, LinkMark::Kind::kLostFrames, frame.framesSkipped});
    }
    lastFrameEnd_ = frame.endOffset;
}

int64_t IndexBuilder::RunningOf(const AccessUnit& unit) {
    int64_t running = timeline_.Decoded(unit.pocKnown, unit.poc, unit.idr);
    if (running == PictureTimeline::kUnknown) return lastRunning_ + 1;
    running += runBase_;
    if (highest_ != PictureTimeline::kUnknown && running < highest_ - kMaxReorder) {
        runBase_ += highest_ + 1 - running;
        running = highest_ + 1;
    }
    highest_ = highest_ == PictureTimeline::kUnknown ? running : std::max(highest_, running);
    return running;
}

void IndexBuilder::TakeAccessUnit(const AccessUnit& unit, uint64_t seekOffset) {
    if (!unit.hasPicture) return;
    IndexedPicture picture;
    picture.tag = unit.tag;
    picture.seekOffset = seekOffset;
    picture.key = unit.key;
    picture.running = RunningOf(unit);
    lastRunning_ = picture.running;
    if (unit.key) {
        // A key picture's own sets are the ones it needs; the session's
        // latest may already be the next picture's.
        const std::vector<uint8_t> sets = unit.hasParameterSets ? OwnParameterSets(unit) : session_->ParameterSets();
        if (!sets.empty()) picture.parameterSets = index_.AddParameterSets(sets);
    } else if (!index_.ParameterSetTable().empty()) {
        picture.parameterSets = static_cast<int32_t>(index_.ParameterSetTable().size()) - 1;
    }
    while (!pending_.empty() && pending_.front().first < unit.tag) pending_.erase(pending_.begin());
    if (!pending_.empty() && pending_.front().first == unit.tag) {
        picture.hasTelemetry = true;
        picture.values = pending_.front().second;
        pending_.erase(pending_.begin());
    }
    index_.Add(picture);
}
