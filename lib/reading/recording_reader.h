#pragma once
// Reads a recording through the steps the player's pipeline runs: the link
// scan, the start-code splitter, telemetry capture and, when asked, the HEVC
// decoder and the conversion (core/session's PayloadDecoder). No worker
// thread, no pacing, no window.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/demux/frame_order.h"
#include "core/demux/link_frames.h"
#include "core/format/replay_pace.h"
#include "core/format/telemetry_record.h"
#include "core/session/link_statistics.h"
#include "core/present/shown_picture.h"

struct ReadOptions {
    bool decode = false;       // open the decoder and count pictures
    // The decoder's threads (0: FFmpeg's choice). More than one changes
    // nothing the read reports, only when each picture reaches onPicture:
    // a few packets after its own.
    int decoderThreads = 1;
    size_t chunkSize = replay_pace::kChunkBytes;  // bytes scanned at a time, as the replay reads
    // How long a gap in the frames' sequence numbers waits for its frame, at
    // the link's pace (FrameOrder); 0 reads the frames in the order stored.
    int64_t reorderMs = FrameOrder::kDefaultWindowMs;
    bool keepStream = true;    // collect the rebuilt elementary stream
    // Called for every decoded picture, with the record shown with it and its
    // tag, which matches the packets below; on the reader's own thread.
    std::function<void(const ShownPicture& picture)> onPicture;
    // Whether onPicture will look at the next picture's pixels; unset, it
    // always does. Pictures nobody looks at are not converted to RGB, and
    // onPicture then gets rgb == nullptr.
    std::function<bool()> pixelsWanted;
    // When not empty, onPicture gets each picture it looks at also scaled to
    // fit this box (ShownPicture::smallRgb), and the whole one not at all.
    PictureBox smallPictureBox;
    // Each packet exactly as the decoder is given it, with its picture's tag.
    std::function<void(const uint8_t* data, int32_t size, int64_t tag)> onPacket;
    // With this set the parser is fed frame by frame: each frame's event comes
    // first, then the units, records and pictures its payload completed, so a
    // caller can place everything at the frame that completed it.
    std::function<void(const LinkFrameEvent& frame)> onLinkFrame;
    // Each unit the splitter hands over, and each telemetry record captured.
    std::function<void(const uint8_t* unit, int32_t length)> onUnit;
    std::function<void(const TelemetryRecord& record)> onRecord;
    // Called by ReadRecordingFile after each piece it reads, with the bytes read so far.
    std::function<void(uint64_t bytesRead)> onProgress;
    // Off: records, shown tags and repeated picture sizes are not kept (and
    // pictures shown whole are not counted), so memory does not grow with the
    // recording; `recordCount` still counts the records.
    bool keepLists = true;
};

struct PictureSize {
    int width;
    int height;
    bool operator==(const PictureSize& o) const { return width == o.width && height == o.height; }
};

// The link's counts (`bytes` are the recording's), then what the stream held.
struct RecordingReport : LinkStatistics {
    uint64_t units = 0;
    std::map<int, uint64_t> unitsByType;   // H.265 type; telemetry-marker units not included
    uint64_t telemetryMarkerUnits = 0;     // units starting 00 00 00 01 06
    std::vector<TelemetryRecord> records;  // captured, in stream order
    uint64_t recordCount = 0;              // the same records, counted even when not kept
    // `pictures` counts only with ReadOptions::decode, as do these.
    std::vector<PictureSize> pictureSizes;
    // Also only with ReadOptions::decode. The decoder's messages of error
    // level or worse, by text; the tag of each picture shown (the number of
    // the first slice that opened it, from 1); and how many of those drew no
    // error while the decoder worked on their units.
    std::map<std::string, uint64_t> decoderErrors;
    std::vector<int64_t> shownTags;
    uint64_t wholePictures = 0;
    // From the units handed over, decoded or not: pictures by their number of
    // slices, and continuation slices with no picture open to take them.
    std::map<int, uint64_t> slicesPerPicture;
    uint64_t orphanSlices = 0;
    // The units handed over, concatenated; the unit still open at the end,
    // which the splitter never hands over, is in `openTail`.
    std::vector<uint8_t> elementaryStream;
    std::vector<uint8_t> openTail;
};

RecordingReport ReadRecordingBytes(const std::vector<uint8_t>& recording, const ReadOptions& options);
bool ReadRecordingFile(const std::string& path, const ReadOptions& options, RecordingReport& report,
                       std::string& error);
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
