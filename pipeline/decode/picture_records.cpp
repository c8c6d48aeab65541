// Each picture's own telemetry record, kept from the moment its first slice
// reaches the splitter until the decoder hands the picture out.

#include "pipeline/decode_data.h"

namespace {

// Tags are positive; a damaged time stamp may not be, and must not index.
size_t SlotOf(int64_t tag) {
    return static_cast<size_t>(static_cast<uint64_t>(tag) % PictureAssembly::kRememberedPictures);
}

}  // namespace

void DecodeData::RememberPictureRecord(int64_t tag) {
    PictureAssembly::TaggedRecord& slot = assembly.pictureRecords[SlotOf(tag)];
    slot.tag = tag;
    slot.record = telemetry;
}

// Without reordering a picture comes out while its own record is still
// current, so both answers agree; `current` stands in only for a picture
// whose slot has since gone to another.
const TelemetryRecord& DecodeData::RecordOfPicture(int64_t tag, const TelemetryRecord& current) const {
    if (tag <= 0) return current;
    const PictureAssembly::TaggedRecord& slot = assembly.pictureRecords[SlotOf(tag)];
    return slot.tag == tag ? slot.record : current;
}
