#include "core/session/payload_decoder.h"

extern "C" {
#include <libavcodec/defs.h>
}

#include "core/decode/decode_steps.h"
#include "core/decode/decoder_messages.h"
#include "core/decode/picture_trust.h"
#include "core/decode/rgb_conversion.h"
#include "core/decode/video_decoder.h"
#include "core/demux/picture_assembler.h"
#include "core/demux/telemetry_units.h"
#include "core/format/nal_unit.h"
#include "core/present/channel_crop.h"
#include "core/present/picture_window.h"
#include "core/present/show_steps.h"
#include "core/session/payload_steps.h"

// The fields the steps work on, named as the steps name them: the options'
// own (videoType, windowTitle, decoderThreads, smallPictureBox and the
// observers) and those below.
struct PayloadDecoder::State : PayloadDecoderOptions, RgbConversionFields {
    explicit State(PayloadDecoderOptions o)
        : PayloadDecoderOptions(std::move(o)),
          nalStorage(nal_unit::kAssemblyBufferSize, 0),
          nalBuf(nalStorage.data()),
          firstUnitAnnounced(!firstUnitLine),
          assembly([this](const uint8_t* data, int32_t size, const TelemetryRecord& record, int64_t tag) {
              decode_steps::SendPacket(*this, data, size, record, tag);
          }),
          linePrinted(lines),
          windowEnabled(showWindow) {
        if (videoType == 0) {
            cropStorage.resize(channel_crop::kCropBytes);
            cropBuf = cropStorage.data();
        }
        RouteDecoderMessages();
        if (decode) video_decoder::Open(decoderThreads, codec, codecCtx, packet, frame);
    }

    // What the decoder says while it is freed still goes to the observer.
    ~State() {
        video_decoder::Free(codecCtx, packet, frame);
        assembly.Free();
        rgb_conversion::Free(*this);
        decoding.small.Free();
        messageRoute.Stop();
    }

    // A complaint marks its picture untrusted. Without an observer the
    // decoder's lines are left to FFmpeg, as they stand.
    void RouteDecoderMessages() {
        if (!onDecoderError) return;
        messageRoute.Start(
            [this](const char* text, int64_t tag) {
                trust.DecoderComplained(tag);
                onDecoderError(text, tag);
            },
            &decoding.decodingTag);
    }

    bool CaptureTelemetry(const uint8_t* unit, int32_t length) {
        return telemetry_units::ReadRecord(unit, length, telemetry);
    }
    void HandleNal(const uint8_t* unit, int32_t length) { payload_steps::HandleUnit(*this, unit, length); }
    void ShowFrame(const uint8_t* picture, const TelemetryRecord& record) {
        show_steps::ShowPicture(*this, picture, record);
    }

    // The splitter.
    std::vector<uint8_t> nalStorage;
    uint8_t* nalBuf;
    int32_t nalLen = 0;
    int32_t nalState = 0;
    bool firstUnitAnnounced;
    TelemetryRecord telemetry{};
    PictureAssembler assembly;
    PictureTrust trust;
    // The decoder.
    DecodeBookkeeping decoding;
    const AVCodec* codec = nullptr;
    AVCodecContext* codecCtx = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    // What is shown.
    int32_t frameCount = 0;
    bool linePrinted;
    bool windowEnabled;
    PictureWindow window;
    std::vector<uint8_t> cropStorage;
    uint8_t* cropBuf = nullptr;
    DecoderMessageRoute messageRoute;
};

namespace {

// The decoder borrows units in place and may read this far past their end,
// so the assembled unit stays that far from the end of the buffer.
constexpr int32_t kUnitLimit = nal_unit::kAssemblyBufferSize - AV_INPUT_BUFFER_PADDING_SIZE;

}  // namespace

PayloadDecoder::PayloadDecoder(PayloadDecoderOptions options)
    : state_(std::make_unique<State>(std::move(options))) {}

PayloadDecoder::~PayloadDecoder() = default;

void PayloadDecoder::Split(const uint8_t* payload, int32_t length) {
    payload_steps::Split(*state_, payload, length, kUnitLimit);
}

void PayloadDecoder::BytesLost() { state_->trust.BytesLost(); }

bool PayloadDecoder::WaitingForKey() const { return state_->trust.WaitingForKey(); }

void PayloadDecoder::Finish() { decode_steps::FinishDecoding(*state_); }

std::vector<uint8_t> PayloadDecoder::OpenUnit() const {
    if (state_->nalLen < nal_unit::kPrefixSize) return {};
    return {state_->nalBuf, state_->nalBuf + state_->nalLen};
}

int32_t PayloadDecoder::Pictures() const { return state_->frameCount; }

bool PayloadDecoder::ShowsWindow() const { return state_->windowEnabled; }
