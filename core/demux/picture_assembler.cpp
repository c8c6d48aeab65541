#include "core/demux/picture_assembler.h"

extern "C" {
#include <libavcodec/defs.h>
}

namespace {

// Tags are positive; a damaged time stamp may not be, and must not index.
size_t SlotOf(int64_t tag) {
    return static_cast<size_t>(static_cast<uint64_t>(tag) % PictureAssembler::kRememberedPictures);
}

}  // namespace

void PictureAssembler::Route(const uint8_t* unit, int32_t length, int following, const TelemetryRecord& current) {
    const bool continuation = nal_unit::ContinuesPicture(unit, length);
    if (holding_) SettleHeldSlice(continuation, current);
    if (nal_unit::OpensPicture(unit, length)) {
        RouteFirstSlice(unit, length, following, current);
    } else if (continuation) {
        RouteContinuation(unit, length, current);
    } else {
        RouteOther(unit, length, current);
    }
}

void PictureAssembler::RouteFirstSlice(const uint8_t* unit, int32_t length, int following,
                                       const TelemetryRecord& current) {
    const int64_t tag = ++picturesStarted_;
    RememberRecord(tag, current);
    if (wholePictures_) {
        singleSliceRun_ = slicesInPicture_ == 1 ? singleSliceRun_ + 1 : 0;
        if (singleSliceRun_ >= kSingleSlicePicturesToLeave) LeaveWholePictures();
    } else if (wholePicturesNext_) {
        EnterWholePictures();
    }
    slicesInPicture_ = 1;
    pictureOpen_ = true;
    if (wholePictures_) {
        FeedParser(unit, length);
        parserHoldsPicture_ = true;
        pictureRecord_ = current;
        pictureTag_ = tag;
    } else if (following >= 0 && nal_unit::IsSliceHeaderByte(static_cast<uint8_t>(following))) {
        // The slice behind may continue this picture; its first bytes decide.
        // The parser and the decoder may read this far past a unit's end.
        heldSlice_.assign(unit, unit + length);
        heldSlice_.resize(static_cast<size_t>(length) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        heldSize_ = length;
        heldTag_ = tag;
        holding_ = true;
    } else {
        send_(unit, length, current, tag);
    }
}

// A continuation slice decides the mode only when it can belong to the
// picture in front of it; one left over from damage is no evidence.
void PictureAssembler::RouteContinuation(const uint8_t* unit, int32_t length, const TelemetryRecord& current) {
    ++slicesInPicture_;
    if (wholePictures_) {
        // With no picture to join, the parser would glue the slice to the
        // front of the next access unit, and the decoder turns down a
        // packet whose first slice it cannot read: the next picture, often
        // a key picture, would be lost with it.
        if (parserHoldsPicture_) FeedParser(unit, length);
        return;
    }
    // Its picture was decoded without it; the decoder reports what it cannot use.
    if (pictureOpen_) wholePicturesNext_ = true;
    send_(unit, length, current, picturesStarted_);
}

void PictureAssembler::RouteOther(const uint8_t* unit, int32_t length, const TelemetryRecord& current) {
    if (!nal_unit::MayStandBetweenSlices(unit[nal_unit::kStartCodeSize])) pictureOpen_ = false;
    if (wholePictures_) {
        FeedParser(unit, length);
    } else {
        send_(unit, length, current, picturesStarted_);
    }
}

// Telemetry cannot have changed while a slice was held: the unit that
// settles it is a slice.
void PictureAssembler::SettleHeldSlice(bool continued, const TelemetryRecord& current) {
    holding_ = false;
    const uint8_t* slice = heldSlice_.data();
    const int32_t size = heldSize_;
    if (!continued) {
        send_(slice, size, current, heldTag_);
        return;
    }
    EnterWholePictures();
    if (!wholePictures_) {
        send_(slice, size, current, heldTag_);
        return;
    }
    FeedParser(slice, size);
    parserHoldsPicture_ = true;
    pictureRecord_ = current;
    pictureTag_ = heldTag_;
}

void PictureAssembler::EndOfStream(const TelemetryRecord& current) {
    if (holding_) SettleHeldSlice(false, current);
    if (wholePictures_) {
        FlushParser();
        RestartParser();
    }
    pictureOpen_ = false;
}

void PictureAssembler::EnterWholePictures() {
    wholePicturesNext_ = false;
    singleSliceRun_ = 0;
    // Without a parser the units keep going one by one.
    RestartParser();
}

void PictureAssembler::LeaveWholePictures() {
    FlushParser();
    parser_.Close();
    wholePictures_ = false;
    singleSliceRun_ = 0;
}

// Every access unit the parser completes is sent at once; it belongs to the
// picture whose record and tag were kept when its first slice came.
void PictureAssembler::FeedParser(const uint8_t* data, int32_t size) {
    parser_.Feed(data, size, [this](const HevcParser::Unit& unit) {
        send_(unit.data, unit.size, pictureRecord_, pictureTag_);
    });
    if (parser_.PendingBytes() > kMaxAccessUnitBytes) RestartParser();
}

void PictureAssembler::FlushParser() {
    parser_.Flush([this](const HevcParser::Unit& unit) { send_(unit.data, unit.size, pictureRecord_, pictureTag_); });
}

// What the old parser held is dropped; the next access unit starts afresh.
void PictureAssembler::RestartParser() {
    parserHoldsPicture_ = false;
    wholePictures_ = parser_.Open();
}

void PictureAssembler::RememberRecord(int64_t tag, const TelemetryRecord& record) {
    TaggedRecord& slot = pictureRecords_[SlotOf(tag)];
    slot.tag = tag;
    slot.record = record;
}

// Without reordering a picture comes out while its own record is still
// current, so both answers agree.
const TelemetryRecord& PictureAssembler::RecordOf(int64_t tag, const TelemetryRecord& current) const {
    if (tag <= 0) return current;
    const TaggedRecord& slot = pictureRecords_[SlotOf(tag)];
    return slot.tag == tag ? slot.record : current;
}
