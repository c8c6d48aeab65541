#pragma once
// How units reach the decoder. While every picture arrives as one slice, each
// unit is a packet of its own, sent the moment the splitter hands it over.
// Once the stream shows pictures of several slices, FFmpeg's HEVC parser
// gathers the units of each access unit and the decoder gets whole pictures,
// one picture interval later. The decoder takes one packet as one picture, so
// a slice sent on its own would be decoded as a broken picture.
//
// Every first slice opens a picture and gets the next tag; each packet
// carries the tag of the picture it belongs to and the telemetry record
// current when that picture's first slice came.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/demux/hevc_parser.h"
#include "core/format/nal_unit.h"
#include "core/format/telemetry_record.h"

class PictureAssembler {
public:
    // Whole-picture mode is left after this many pictures in a row of one
    // slice each (two seconds at 25 pictures a second): one damaged picture
    // never switches the mode back and forth.
    static constexpr int32_t kSingleSlicePicturesToLeave = 50;
    // The parser's buffer never holds more than this; a stream that never
    // closes an access unit is link garbage, and its bytes are dropped.
    static constexpr int64_t kMaxAccessUnitBytes = 4 * int64_t{nal_unit::kAssemblyBufferSize};
    // A picture's record is found by its tag for this many pictures, far more
    // than an HEVC decoder holds back (16 at most); a picture whose slot was
    // reused meanwhile is shown with the record current when it comes out.
    static constexpr int64_t kRememberedPictures = 64;

    // Each packet for the decoder: its bytes (valid during the call, with the
    // decoder's padding behind them), its picture's record and tag.
    using Send = std::function<void(const uint8_t* data, int32_t size, const TelemetryRecord& record, int64_t tag)>;
    explicit PictureAssembler(Send send) : send_(std::move(send)) {}

    // A unit that is not telemetry, start code included. `following` is the
    // header byte of the unit behind it, when known (else -1): a first slice
    // followed by a slice waits for that slice's first bytes, which tell
    // whether it continues the picture. `current` is the record current now.
    void Route(const uint8_t* unit, int32_t length, int following, const TelemetryRecord& current);
    // A first slice is waiting for the bytes of the slice behind it.
    bool Holding() const { return holding_; }
    // The held first slice goes on as the start of a whole picture when the
    // slice behind it continues the picture, else on its own.
    void SettleHeldSlice(bool continued, const TelemetryRecord& current);
    // A telemetry unit closes the picture in front of it.
    void TelemetryCame() { pictureOpen_ = false; }
    // Everything held goes out before the end of a stream; the next stream
    // starts a fresh access unit.
    void EndOfStream(const TelemetryRecord& current);

    // The record current when picture `tag`'s first slice came; `current`
    // for a picture whose slot has since gone to another.
    const TelemetryRecord& RecordOf(int64_t tag, const TelemetryRecord& current) const;
    // Tags given out so far: the last picture opened.
    int64_t PicturesStarted() const { return picturesStarted_; }

    bool WholePictures() const { return wholePictures_; }
    int64_t ParserPendingBytes() const { return parser_.PendingBytes(); }
    // Frees the parser; routing may go on and opens it again when needed.
    void Free() { parser_.Free(); }

private:
    void RouteFirstSlice(const uint8_t* unit, int32_t length, int following, const TelemetryRecord& current);
    void RouteContinuation(const uint8_t* unit, int32_t length, const TelemetryRecord& current);
    void RouteOther(const uint8_t* unit, int32_t length, const TelemetryRecord& current);
    void EnterWholePictures();
    void LeaveWholePictures();
    void FeedParser(const uint8_t* data, int32_t size);
    void FlushParser();
    void RestartParser();
    void RememberRecord(int64_t tag, const TelemetryRecord& record);

    Send send_;
    bool wholePictures_ = false;
    // A continuation slice came after its picture had already been decoded;
    // whole-picture mode starts with the next picture.
    bool wholePicturesNext_ = false;
    // A first slice came and nothing has opened another picture since: a
    // continuation slice now belongs to it.
    bool pictureOpen_ = false;
    int32_t slicesInPicture_ = 0;
    int32_t singleSliceRun_ = 0;

    bool holding_ = false;
    std::vector<uint8_t> heldSlice_;  // padded for the decoder and the parser
    int32_t heldSize_ = 0;
    int64_t heldTag_ = 0;

    // Open while pictures go whole; it reads parameter sets and slice
    // headers for metadata nothing here uses, and a parser started
    // mid-stream has not seen the parameter sets yet, so its complaints are
    // not the decoder's.
    HevcParser parser_;
    // A first slice was fed since the parser (re)started, so a continuation
    // slice has a picture to join.
    bool parserHoldsPicture_ = false;
    // The record current when the first slice of the picture in the parser
    // was handed over, and that picture's tag.
    TelemetryRecord pictureRecord_{};
    int64_t pictureTag_ = 0;
    int64_t picturesStarted_ = 0;

    struct TaggedRecord {
        int64_t tag = 0;  // tags count from 1: 0 marks a slot never used
        TelemetryRecord record{};
    };
    std::array<TaggedRecord, kRememberedPictures> pictureRecords_{};
};
