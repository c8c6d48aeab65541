#pragma once
// Every picture of a recording, where to read again to decode it, and what
// the link did along the way: the index a viewer steps and seeks with.
//
// Pictures are kept in decode order, as the stream carries them, and
// numbered from 1 in the order they are shown, which is the number the
// player prints for each of them. A picture's place in time comes from its
// order count, so a picture lost on the link leaves its interval empty.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/format/telemetry_record.h"

struct IndexedPicture {
    int64_t tag = 0;          // the stream session's tag: its place in decode order, from 1
    uint64_t seekOffset = 0;  // where reading again meets its access unit
    int64_t running = 0;      // its place on the show-order count, in picture intervals
    bool key = false;         // decoding may start here
    int32_t parameterSets = -1;  // the sets in force, in ParameterSetTable(); -1 before any
    bool hasTelemetry = false;
    TelemetryValues values{};  // the record current when its first slice came
};

// Something the link did, at the recording offset where it was found.
struct LinkMark {
    enum class Kind : uint8_t { kLostFrames, kInvalidFrame, kSequenceBreak };
    uint64_t offset = 0;
    Kind kind = Kind::kLostFrames;
    uint32_t count = 1;  // frames, for kLostFrames
};

class PictureIndex {
public:
    static constexpr double kPicturesPerSecond = 25.0;

    // Adds the next picture in decode order; it takes its place in show
    // order among the ones already there.
    void Add(const IndexedPicture& picture);
    void AddMark(const LinkMark& mark) { marks_.push_back(mark); }
    // Adds `sets` unless they equal the last ones added; returns their place.
    int32_t AddParameterSets(const std::vector<uint8_t>& sets);
    void SetBytesIndexed(uint64_t bytes) { bytesIndexed_ = bytes; }
    // The recording ended where the index ends (it is not being written).
    void SetComplete(bool complete) { complete_ = complete; }
    bool Complete() const { return complete_; }

    size_t Count() const { return pictures_.size(); }
    bool Empty() const { return pictures_.empty(); }
    // Pictures by their number, 1 to Count().
    const IndexedPicture& Picture(int64_t number) const;
    int64_t NumberOfTag(int64_t tag) const;  // 0 when no picture has it
    // Seconds from the first picture shown.
    double TimeOf(int64_t number) const;
    // The first picture at or after `seconds` (the last one past the end).
    int64_t NumberAtTime(double seconds) const;
    // The picture decoding must start from so that `number` comes out
    // whole: the last key picture before it in decode order that is not
    // shown after it. 0 when there is none.
    int64_t KeyFor(int64_t number) const;

    const std::vector<IndexedPicture>& DecodeOrder() const { return pictures_; }
    const std::vector<LinkMark>& Marks() const { return marks_; }
    const std::vector<std::vector<uint8_t>>& ParameterSetTable() const { return parameterSets_; }
    uint64_t BytesIndexed() const { return bytesIndexed_; }

private:
    size_t DecodeIndexOf(int64_t number) const { return shown_[static_cast<size_t>(number - 1)]; }

    std::vector<IndexedPicture> pictures_;
    std::vector<uint32_t> shown_;  // decode-order places, in show order
    std::vector<uint32_t> number_;  // show-order places (number - 1), in decode order
    std::vector<LinkMark> marks_;
    std::vector<std::vector<uint8_t>> parameterSets_;
    uint64_t bytesIndexed_ = 0;
    bool complete_ = false;
};
