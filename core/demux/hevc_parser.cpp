#include "core/demux/hevc_parser.h"

#include <climits>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "core/ffmpeg/quiet_log.h"

namespace {
// Left in place by a call that read no slice header.
constexpr int kUnknownPoc = INT_MIN;
}  // namespace

HevcParser::~HevcParser() { Free(); }

bool HevcParser::Open() {
    Close();
    if (context_ == nullptr) {
        context_ = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_HEVC));
        if (context_ == nullptr) return false;
        context_->log_level_offset = quiet_log::kHeaderReaderOffset;
    }
    parser_ = av_parser_init(AV_CODEC_ID_HEVC);
    return parser_ != nullptr;
}

void HevcParser::Close() {
    if (parser_ != nullptr) av_parser_close(parser_);
    parser_ = nullptr;
    pendingBytes_ = 0;
}

void HevcParser::Free() {
    Close();
    avcodec_free_context(&context_);
}

// The parser reads the slice header of an access unit just before it gives
// that unit out, so the count it leaves belongs to the unit given out.
int HevcParser::ParseStep(const uint8_t* data, int size, Unit& out) {
    uint8_t* unit = nullptr;
    int unitSize = 0;
    parser_->output_picture_number = kUnknownPoc;
    const int used = av_parser_parse2(parser_, context_, &unit, &unitSize, data, size, AV_NOPTS_VALUE,
                                      AV_NOPTS_VALUE, 0);
    out = {unit, unitSize, parser_->output_picture_number != kUnknownPoc, parser_->output_picture_number};
    return used;
}

void HevcParser::Feed(const uint8_t* data, int size, const Sink& sink) {
    if (parser_ == nullptr) return;
    bool stalled = false;
    while (size > 0) {
        Unit unit{};
        const int used = ParseStep(data, size, unit);
        if (used < 0) break;
        data += used;
        size -= used;
        pendingBytes_ = unit.size > 0 ? 0 : pendingBytes_ + used;
        if (unit.size > 0) sink(unit);
        // A call may end a unit without taking input, never twice in a row.
        if (used == 0 && unit.size == 0) {
            if (stalled) break;
            stalled = true;
        } else {
            stalled = false;
        }
    }
}

void HevcParser::Flush(const Sink& sink) {
    if (parser_ == nullptr) return;
    Unit unit{};
    ParseStep(nullptr, 0, unit);
    if (unit.size > 0) sink(unit);
}
