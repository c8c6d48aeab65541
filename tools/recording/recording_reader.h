#pragma once
// Reads a recording with the player's own pipeline code: its link parser,
// payload queue, start-code splitter, telemetry capture and, when asked, its
// HEVC decoder and conversion. No worker thread, no pacing, no window.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pipeline/present/telemetry_record.h"

struct ReadOptions {
    bool decode = false;       // open the decoder and count pictures
    size_t chunkSize = 10240;  // bytes per ParseLink call, as the replay reads
    bool keepStream = true;    // collect the rebuilt elementary stream
    // Called for every decoded picture, with the record shown with it.
    std::function<void(const uint8_t* rgb, int width, int height, const TelemetryRecord& record)> onPicture;
    // The same picture with its tag (the number of the first slice that opened
    // it, from 1), for callers that match pictures to the packets below.
    std::function<void(int64_t tag, int width, int height, const TelemetryRecord& record)> onTaggedPicture;
    // Each packet exactly as the decoder is given it, with its picture's tag.
    std::function<void(const uint8_t* data, int32_t size, int64_t tag)> onPacket;
};

struct PictureSize {
    int width;
    int height;
    bool operator==(const PictureSize& o) const { return width == o.width && height == o.height; }
};

struct RecordingReport {
    uint64_t fileBytes = 0;
    uint64_t linkFrames = 0;
    uint64_t invalidFrames = 0;
    uint64_t sequenceBreaks = 0;
    uint64_t payloads = 0;
    uint64_t payloadBytes = 0;
    uint64_t units = 0;
    std::map<int, uint64_t> unitsByType;   // H.265 type; telemetry-marker units not included
    uint64_t telemetryMarkerUnits = 0;     // units starting 00 00 00 01 06
    std::vector<TelemetryRecord> records;  // captured, in stream order
    uint64_t pictures = 0;                 // only with ReadOptions::decode
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
