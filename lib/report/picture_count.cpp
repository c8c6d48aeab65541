#include "lib/report/picture_count.h"

#include "core/demux/access_units.h"
#include "core/demux/telemetry_units.h"
#include "core/format/nal_unit.h"

namespace {

// The read's options for a first pass that feeds `splitter`.
ReadOptions Counting(const ReadOptions& like, AccessUnitSplitter& splitter) {
    ReadOptions counting;
    counting.decode = false;
    counting.keepStream = false;
    counting.keepLists = false;
    counting.chunkSize = like.chunkSize;
    counting.reorderMs = like.reorderMs;
    counting.onProgress = like.onProgress;
    // The units the decoder would be given: every one but the telemetry
    // the capture takes out (a marker unit it cannot read goes on). Filler,
    // which the splitter drops anyway, is most of a padded recording's bytes.
    counting.onUnit = [&splitter](const uint8_t* unit, int32_t length) {
        const bool filler = length >= nal_unit::kPrefixSize &&
                            nal_unit::TypeOf(unit[nal_unit::kStartCodeSize]) == nal_unit::kFillerData;
        if (filler) return;
        TelemetryRecord ignored;
        if (!telemetry_units::ReadRecord(unit, length, ignored)) splitter.Packet(unit, length, 0);
    };
    return counting;
}

AccessUnitSplitter::Sink CountInto(uint64_t& pictures) {
    pictures = 0;
    return [&pictures](AccessUnit&& au) { pictures += au.hasPicture ? 1 : 0; };
}

}  // namespace

uint64_t CountPictures(const std::vector<uint8_t>& recording, const ReadOptions& like) {
    uint64_t pictures = 0;
    AccessUnitSplitter splitter(CountInto(pictures));
    ReadRecordingBytes(recording, Counting(like, splitter));
    splitter.Finish();
    return pictures;
}

bool CountPicturesInFile(const std::string& path, const ReadOptions& like, uint64_t& pictures, std::string& error) {
    uint64_t counted = 0;
    AccessUnitSplitter splitter(CountInto(counted));
    RecordingReport unused;
    if (!ReadRecordingFile(path, Counting(like, splitter), unused, error)) return false;
    splitter.Finish();
    pictures = counted;
    return true;
}

std::future<uint64_t> CountPicturesBeside(const std::string& path, const ReadOptions& like) {
    ReadOptions options;
    options.chunkSize = like.chunkSize;
    options.reorderMs = like.reorderMs;
    return std::async(std::launch::async, [path, options] {
        uint64_t pictures = 0;
        std::string error;  // the read beside it says what is wrong with the file
        return CountPicturesInFile(path, options, pictures, error) ? pictures : 0;
    });
}
