#pragma once
// Reads a recording's link and stream layers from a byte source without
// decoding: link frames, units, telemetry records and access units with
// their pictures' tags, each placed in the recording. A viewer builds its
// index of key pictures with it in one pass, and starts again anywhere: a
// seek resets every layer, and the link scan and the splitter find their
// way in at the next frame and the next start code.
//
// Every event comes on the caller's thread, from within Step; pointers it is
// given are valid during the call only.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/demux/access_units.h"
#include "core/demux/byte_source.h"
#include "core/demux/link_frames.h"
#include "core/demux/ordered_link_scan.h"
#include "core/demux/unit_splitter.h"
#include "core/format/telemetry_record.h"
#include "core/session/link_statistics.h"

struct SessionEvents {
    std::function<void(const LinkFrameEvent& frame)> onLinkFrame;
    // A unit, start code included, and where to read again to meet it.
    std::function<void(const uint8_t* unit, int32_t length, uint64_t seekOffset)> onUnit;
    std::function<void(const TelemetryRecord& record)> onRecord;
    // An access unit; `seekOffset` is where to read again to meet its first unit.
    std::function<void(const AccessUnit& unit, uint64_t seekOffset)> onAccessUnit;
};

class StreamSession {
public:
    static constexpr size_t kStepBytes = 64 * 1024;

    StreamSession(std::unique_ptr<ByteSource> source, SessionEvents events);
    StreamSession(const StreamSession&) = delete;
    StreamSession& operator=(const StreamSession&) = delete;

    // Reads and scans up to `bytes` more. False at the end of the source and
    // on a read error (Failed() and Error() then say so).
    bool Step(size_t bytes = kStepBytes);
    // Steps to the end, then gives out the access unit the parser still
    // holds. False on a read error.
    bool ReadToEnd();
    void Finish();
    // Starts again at `offset`, every layer as new: the link scan first looks
    // for a frame start there (a sync pair another follows a frame later),
    // as a reader dropped into the middle of a link would, and access units
    // come out from the first key picture found on, that one tagged
    // `firstTag`: a decoder can start there, and what comes before it may be
    // the tail of a picture it cannot decode. `parameterSets` (Annex-B, as
    // ParameterSets() gave them) let the parser read the pictures' order
    // counts from the start, where the stream does not repeat its sets (the
    // key picture's own count is as the parser reads it without the pictures
    // before it).
    // With Landing::kFrameStart, `offset` is known to be a frame's start (a
    // seek offset this session gave out), and the scan takes that frame as
    // it comes and as the next in order: the hunt for a sync pair that
    // another follows a frame later would pass over it when noise follows
    // it on the link, and the ordering's wait for frames numbered before it
    // would hold back the end of a recording still being written.
    // False, with the reason, when the source cannot seek there.
    enum class Landing { kAnywhere, kFrameStart };
    bool Seek(uint64_t offset, int64_t firstTag = 1, const std::vector<uint8_t>& parameterSets = {},
              Landing landing = Landing::kAnywhere);
    // The latest VPS, SPS and PPS seen, in Annex-B form.
    std::vector<uint8_t> ParameterSets() const { return accessUnits_->ParameterSets(); }

    // What the session adds to the count of pictures opened since the start
    // or the last seek to give the tags access units carry: after a seek it
    // is known once the first key picture has come out. A caller that counts
    // the units' pictures itself finds their tags with it.
    int64_t TagShift() const { return tagShift_; }
    uint64_t Position() const { return position_; }
    // Counts since the session started or last sought.
    const LinkStatistics& Statistics() const { return statistics_; }
    bool Failed() const { return failed_; }
    const std::string& Error() const { return source_->Error(); }

private:
    struct SplitterHooks;

    void ResetLayers(int64_t firstTag);
    void Scan(const uint8_t* data, int32_t length, uint64_t start);
    void TakeFrame(const link_frames::Frame& frame, uint64_t end);
    void CountFrames();
    void TakeUnit(const uint8_t* unit, int32_t length);
    void TakeAccessUnit(AccessUnit&& unit);

    std::unique_ptr<ByteSource> source_;
    SessionEvents events_;
    uint64_t position_ = 0;
    bool resync_ = false;
    bool failed_ = false;
    LinkStatistics statistics_;
    std::vector<uint8_t> piece_;

    // Frames in sequence order, as every reader of a recording takes them.
    std::unique_ptr<OrderedLinkScan> link_;
    // Left uninitialised: the splitter reads only what it wrote, and a seek
    // needs no 8 MB cleared (units are copied before they go anywhere).
    std::unique_ptr<uint8_t[]> unitBuffer_;
    unit_splitter::State splitter_;
    std::unique_ptr<AccessUnitSplitter> accessUnits_;

    // Where the last two frames started, and where the unit now being
    // assembled can be met again.
    uint64_t frameStart_ = 0;
    uint64_t previousFrameStart_ = 0;
    uint64_t nextUnitSeek_ = 0;
    std::deque<uint64_t> fedUnitSeeks_;  // units in the access-unit parser, oldest first
    int64_t tag_ = 0;
    // After a seek: access units wait for a key picture, and tags move so
    // that it gets the one asked for.
    bool awaitingKey_ = false;
    int64_t firstTag_ = 1;
    int64_t tagShift_ = 0;
};
