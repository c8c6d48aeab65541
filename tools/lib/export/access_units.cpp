// The parser draws the access-unit boundaries, as the player's picture
// assembly lets it do; the tags come from the packets, so a unit the player
// dropped or a picture that lost its first slice never shifts them.

#include "tools/lib/export/access_units.h"

#include <climits>
#include <cstring>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "pipeline/decode/nal_unit.h"
#include "tools/lib/formats/annex_b.h"

namespace {

// The parser reads slice headers for the picture order count; a stream cut
// anywhere makes it complain, and those complaints are not the decoder's.
constexpr int kParserLogOffset = AV_LOG_DEBUG - AV_LOG_ERROR;
constexpr int kUnknownPoc = INT_MIN;

}  // namespace

AccessUnitSplitter::AccessUnitSplitter(Sink sink) : sink_(std::move(sink)) {
    parser_ = av_parser_init(AV_CODEC_ID_HEVC);
    context_ = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_HEVC));
    if (context_ != nullptr) context_->log_level_offset = kParserLogOffset;
}

AccessUnitSplitter::~AccessUnitSplitter() {
    if (parser_ != nullptr) av_parser_close(parser_);
    avcodec_free_context(&context_);
}

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
        Feed(unit, length);
    });
}

void AccessUnitSplitter::Feed(const uint8_t* data, size_t size) {
    while (size > 0) {
        uint8_t* out = nullptr;
        int outSize = 0;
        parser_->output_picture_number = kUnknownPoc;
        const int used = av_parser_parse2(parser_, context_, &out, &outSize, data, static_cast<int>(size),
                                          AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0) return;
        data += used;
        size -= static_cast<size_t>(used);
        if (outSize > 0) Emit(out, outSize);
        if (used == 0 && outSize == 0) return;
    }
}

// Empty input makes the parser give out what it holds.
void AccessUnitSplitter::Finish() {
    if (!Ready()) return;
    uint8_t* out = nullptr;
    int outSize = 0;
    parser_->output_picture_number = kUnknownPoc;
    av_parser_parse2(parser_, context_, &out, &outSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (outSize > 0) Emit(out, outSize);
}

// The parser read the slice header of this access unit just before giving it out.
void AccessUnitSplitter::Emit(const uint8_t* data, int size) {
    AccessUnit au;
    au.bytes = ToFourByteStartCodes(data, static_cast<size_t>(size));
    au.pocKnown = parser_->output_picture_number != kUnknownPoc;
    au.poc = parser_->output_picture_number;
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
