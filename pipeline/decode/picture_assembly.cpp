// Groups the units that are not telemetry into packets for the decoder: one
// unit a packet while pictures are single slices, whole access units found by
// FFmpeg's HEVC parser once the stream shows pictures of several slices.

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "core/format/nal_unit.h"
#include "pipeline/decode_data.h"

// The splitter hands a unit over once the next unit's start code and first
// header byte have arrived; they lie right behind it in nalBuf. Callers that
// hand units over themselves have no such byte: -1.
int DecodeData::FollowingHeaderByte(const uint8_t* unit, int32_t length) const {
    if (unit != nalBuf || nalLen != length + nal_unit::kPrefixSize) return -1;
    return unit[length + nal_unit::kStartCodeSize];
}

void DecodeData::RouteUnit(const uint8_t* unit, int32_t length) {
    const bool continuation = nal_unit::ContinuesPicture(unit, length);
    if (assembly.holding) SettleHeldSlice(continuation);
    if (nal_unit::OpensPicture(unit, length)) {
        RouteFirstSlice(unit, length, FollowingHeaderByte(unit, length));
    } else if (continuation) {
        RouteContinuation(unit, length);
    } else {
        RouteOther(unit, length);
    }
}

void DecodeData::RouteFirstSlice(const uint8_t* unit, int32_t length, int following) {
    const int64_t tag = ++assembly.picturesStarted;
    RememberPictureRecord(tag);
    if (assembly.wholePictures) {
        assembly.singleSliceRun = assembly.slicesInPicture == 1 ? assembly.singleSliceRun + 1 : 0;
        if (assembly.singleSliceRun >= PictureAssembly::kSingleSlicePicturesToLeave) LeaveWholePictures();
    } else if (assembly.wholePicturesNext) {
        EnterWholePictures();
    }
    assembly.slicesInPicture = 1;
    assembly.pictureOpen = true;
    if (assembly.wholePictures) {
        FeedParser(unit, length);
        assembly.parserHoldsPicture = true;
        assembly.pictureRecord = telemetry;
        assembly.pictureTag = tag;
    } else if (following >= 0 && nal_unit::IsSliceHeaderByte(static_cast<uint8_t>(following))) {
        // The slice behind may continue this picture; its first bytes decide.
        // The parser and the decoder may read this far past a unit's end.
        assembly.heldSlice.assign(unit, unit + length);
        assembly.heldSlice.resize(static_cast<size_t>(length) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        assembly.heldSize = length;
        assembly.heldTag = tag;
        assembly.holding = true;
    } else {
        SendPacket(unit, length, telemetry, tag);
    }
}

// A continuation slice decides the mode only when it can belong to the
// picture in front of it; one left over from damage is no evidence.
void DecodeData::RouteContinuation(const uint8_t* unit, int32_t length) {
    ++assembly.slicesInPicture;
    if (assembly.wholePictures) {
        // With no picture to join, the parser would glue the slice to the
        // front of the next access unit, and the decoder turns down a
        // packet whose first slice it cannot read: the next picture, often
        // a key picture, would be lost with it.
        if (assembly.parserHoldsPicture) FeedParser(unit, length);
        return;
    }
    // Its picture was decoded without it; the decoder reports what it cannot use.
    if (assembly.pictureOpen) assembly.wholePicturesNext = true;
    SendPacket(unit, length, telemetry, assembly.picturesStarted);
}

void DecodeData::RouteOther(const uint8_t* unit, int32_t length) {
    if (!nal_unit::MayStandBetweenSlices(unit[nal_unit::kStartCodeSize])) assembly.pictureOpen = false;
    if (assembly.wholePictures) {
        FeedParser(unit, length);
    } else {
        SendPacket(unit, length, telemetry, assembly.picturesStarted);
    }
}

// The held first slice goes on as the start of a whole picture when the slice
// behind it continues the picture, else on its own as before. Telemetry
// cannot have changed meanwhile: the unit that settles it is a slice.
void DecodeData::SettleHeldSlice(bool continued) {
    assembly.holding = false;
    const uint8_t* slice = assembly.heldSlice.data();
    const int32_t size = assembly.heldSize;
    if (!continued) {
        SendPacket(slice, size, telemetry, assembly.heldTag);
        return;
    }
    EnterWholePictures();
    if (!assembly.wholePictures) {
        SendPacket(slice, size, telemetry, assembly.heldTag);
        return;
    }
    FeedParser(slice, size);
    assembly.parserHoldsPicture = true;
    assembly.pictureRecord = telemetry;
    assembly.pictureTag = assembly.heldTag;
}

void DecodeData::EnterWholePictures() {
    assembly.wholePicturesNext = false;
    assembly.singleSliceRun = 0;
    // Without a parser the units keep going one by one.
    RestartParser();
}

void DecodeData::LeaveWholePictures() {
    FlushParser();
    CloseParser();
    assembly.wholePictures = false;
    assembly.singleSliceRun = 0;
}

// Every access unit the parser completes is sent at once; it belongs to the
// picture whose record and tag were kept when its first slice came.
void DecodeData::FeedParser(const uint8_t* data, int32_t size) {
    assembly.parser.Feed(data, size, [this](const HevcParser::Unit& unit) {
        SendPacket(unit.data, unit.size, assembly.pictureRecord, assembly.pictureTag);
    });
    if (assembly.parser.PendingBytes() > PictureAssembly::kMaxAccessUnitBytes) RestartParser();
}

void DecodeData::FlushParser() {
    assembly.parser.Flush([this](const HevcParser::Unit& unit) {
        SendPacket(unit.data, unit.size, assembly.pictureRecord, assembly.pictureTag);
    });
}

void DecodeData::CloseParser() { assembly.parser.Close(); }

// What the old parser held is dropped; the next access unit starts afresh.
void DecodeData::RestartParser() {
    assembly.parserHoldsPicture = false;
    assembly.wholePictures = assembly.parser.Open();
}

// Everything before the end unit reaches the decoder, which then gives out
// every picture it still holds. The next stream starts a fresh access unit.
void DecodeData::EndOfStream() {
    if (assembly.holding) SettleHeldSlice(false);
    if (assembly.wholePictures) {
        FlushParser();
        RestartParser();
    }
    assembly.pictureOpen = false;
    DrainDecoder();
}
