// The parser draws the access-unit boundaries, as the player's picture
// assembly lets it do; the tags come from the packets, so a unit the player
// dropped or a picture that lost its first slice never shifts them.

#include "core/demux/access_units.h"

#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "core/demux/annex_b.h"
#include "core/format/nal_unit.h"

AccessUnitSplitter::AccessUnitSplitter(Sink sink) : sink_(std::move(sink)) { parser_.Open(); }

// Filler never reaches the export; every other unit goes on in order. The
// parser cuts access units between a 4-byte start code's first zero and the
// rest, so its packets start with a 3-byte code; each is cut as the sending
// side writes units.
void AccessUnitSplitter::Packet(const uint8_t* data, int32_t size, int64_t tag) {
    if (!Ready() || size <= 0) return;
    std::vector<uint8_t> units = ToFourByteStartCodes(data, static_cast<size_t>(size));
    const size_t unitsSize = units.size();
    // The parser copies this far past the end of what it is given.
    units.resize(unitsSize + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    nal_unit::ForEachUnit(units.data(), unitsSize, [this, tag](const uint8_t* unit, size_t length) {
        if (nal_unit::TypeOf(unit[nal_unit::kStartCodeSize]) == nal_unit::kFillerData) return;
        if (nal_unit::OpensPicture(unit, static_cast<int32_t>(length))) firstSliceTags_.push_back(tag);
        parser_.Feed(unit, static_cast<int>(length), [this](const HevcParser::Unit& au) { Emit(au); });
    });
}

void AccessUnitSplitter::Finish() {
    parser_.Flush([this](const HevcParser::Unit& au) { Emit(au); });
}

void AccessUnitSplitter::Emit(const HevcParser::Unit& unit) {
    AccessUnit au;
    au.bytes = ToFourByteStartCodes(unit.data, static_cast<size_t>(unit.size));
    au.pocKnown = unit.pocKnown;
    au.poc = unit.poc;
    nal_unit::ForEachUnit(au.bytes.data(), au.bytes.size(), [this, &au](const uint8_t* unit, size_t length) {
        const int type = nal_unit::TypeOf(unit[nal_unit::kStartCodeSize]);
        if (nal_unit::IsParameterSetType(type)) {
            au.hasParameterSets = true;
            Remember(unit, length);
        }
        if (!nal_unit::OpensPicture(unit, static_cast<int32_t>(length)) || firstSliceTags_.empty()) return;
        // A second first slice in one unit cannot happen with the parser's
        // boundaries; if it did, the first one names the picture.
        if (!au.hasPicture) {
            au.hasPicture = true;
            au.tag = firstSliceTags_.front();
            au.key = nal_unit::IsRandomAccessType(type);
            au.idr = nal_unit::IsIdrType(type);
        }
        firstSliceTags_.pop_front();
    });
    sink_(std::move(au));
}

void AccessUnitSplitter::Remember(const uint8_t* unit, size_t size) {
    const int type = nal_unit::TypeOf(unit[nal_unit::kStartCodeSize]);
    parameterSets_[type - nal_unit::kVps].assign(unit, unit + size);
}

std::vector<uint8_t> AccessUnitSplitter::ParameterSets() const {
    std::vector<uint8_t> all;
    for (const auto& set : parameterSets_) all.insert(all.end(), set.begin(), set.end());
    return all;
}
