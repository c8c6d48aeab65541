#pragma once
// How units reach the decoder. While every picture arrives as one slice, each
// unit is a packet of its own, sent the moment the splitter hands it over.
// Once the stream shows pictures of several slices, FFmpeg's HEVC parser
// gathers the units of each access unit and the decoder gets whole pictures,
// one picture interval later. The decoder takes one packet as one picture, so
// a slice sent on its own would be decoded as a broken picture.

#include <array>
#include <cstdint>
#include <vector>

#include "core/demux/hevc_parser.h"
#include "core/format/nal_unit.h"
#include "core/format/telemetry_record.h"


struct PictureAssembly {
    // Whole-picture mode is left after this many pictures in a row of one
    // slice each (two seconds at 25 pictures a second): one damaged picture
    // never switches the mode back and forth.
    static constexpr int32_t kSingleSlicePicturesToLeave = 50;
    // The parser's buffer never holds more than this; a stream that never
    // closes an access unit is link garbage, and its bytes are dropped.
    static constexpr int64_t kMaxAccessUnitBytes = 4 * int64_t{nal_unit::kAssemblyBufferSize};

    bool wholePictures = false;
    // A continuation slice came after its picture had already been decoded;
    // whole-picture mode starts with the next picture.
    bool wholePicturesNext = false;
    // A first slice came and nothing has opened another picture since: a
    // continuation slice now belongs to it.
    bool pictureOpen = false;
    int32_t slicesInPicture = 0;
    int32_t singleSliceRun = 0;

    // A first slice directly followed by another slice waits here for the
    // byte that tells whether that slice continues its picture.
    bool holding = false;
    std::vector<uint8_t> heldSlice;  // padded for the decoder and the parser
    int32_t heldSize = 0;
    int64_t heldTag = 0;

    // Open while pictures go whole; it reads parameter sets and slice
    // headers for metadata the player does not use, and a parser started
    // mid-stream has not seen the parameter sets yet, so its complaints are
    // not the decoder's.
    HevcParser parser;
    // A first slice was fed since the parser (re)started, so a continuation
    // slice has a picture to join.
    bool parserHoldsPicture = false;
    // The record current when the first slice of the picture in the parser
    // was handed over, and that picture's tag.
    TelemetryRecord pictureRecord{};
    int64_t pictureTag = 0;

    // Every first slice gets the next tag; a packet carries the tag of the
    // picture it belongs to as its timestamp, and the decoder hands it back
    // with the picture. `decodingTag` blames the decoder's messages on a
    // picture; `shownTag` goes to the picture observer.
    int64_t picturesStarted = 0;
    int64_t decodingTag = 0;
    int64_t shownTag = 0;

    // Nothing was sent since the decoder was last drained.
    bool drained = true;

    // The record current when each recent picture's first slice came, found
    // by its tag. A decoder that reorders hands a picture out several
    // pictures after its slices went in, when a later picture's record is
    // current. A slot is reused after this many pictures, far more than an
    // HEVC decoder holds back (16 at most); a picture whose slot was reused
    // meanwhile is shown with the record current when it comes out.
    static constexpr int64_t kRememberedPictures = 64;
    struct TaggedRecord {
        int64_t tag = 0;  // tags count from 1: 0 marks a slot never used
        TelemetryRecord record{};
    };
    std::array<TaggedRecord, kRememberedPictures> pictureRecords{};
};
