#include "pipeline/decode_data.h"

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "core/decode/decode_steps.h"
#include "core/decode/rgb_conversion.h"
#include "core/decode/video_decoder.h"

DecodeData::DecodeData()
    : videoType(1),
      frameCount(0),
      picWidth(0),
      picHeight(0),
      linkBuf(nullptr),
      linkLen(0),
      linkState(0),
      payloadLen(0),
      linkWord(0),
      lastSeq(0),
      lostCount(0),
      nalBuf(nullptr),
      nalLen(0),
      nalState(0),
      codecOptions(nullptr),
      formatOptions(nullptr),
      formatCtx(nullptr),
      codecCtx(nullptr),
      packet(nullptr),
      frame(nullptr),
      codec(nullptr),
      srcFormat(0),
      dstFormat(0),
      swsCtx(nullptr),
      dstData{},
      dstLinesize{},
      telemetry{},
      libRegistered(false),
      rgbBuf(nullptr),
      cropBuf(nullptr),
      running(false),
      worker(nullptr),
      stopRequested(false),
      workerDone(false),
      windowEnabled(true),
      linePrinted(true),
      linkFrameCount(0),
      invalidFrameCount(0),
      firstUnitAnnounced(false),
      assembly([this](const uint8_t* data, int32_t size, const TelemetryRecord& record, int64_t tag) {
          decode_steps::SendPacket(*this, data, size, record, tag);
      }) {}

// The player itself never destroys its pipeline; tools and tests do, and
// then nothing of it may outlive the object.
DecodeData::~DecodeData() {
    StopWorker();
    Release();
    delete[] linkBuf;
    DiscardQueue();
    StopObservingDecoderErrors();
}

void DecodeData::Init() {
    AllocateBuffers();
    OpenDecoder();
    StartWorker();
}

void DecodeData::AllocateBuffers() {
    rgbBuf = nullptr;
    frameCount = 0;
    linkBuf = new uint8_t[kLinkBufSize];
    std::memset(linkBuf, 0, kLinkBufSize);
    // Cleared once: the decoder's packet borrows units in place and may look
    // past a unit's end, which must then find defined bytes.
    nalBuf = new uint8_t[kNalBufSize];
    std::memset(nalBuf, 0, kNalBufSize);
    cropBuf = new uint8_t[kCropBufSize];
}

void DecodeData::StartWorker() {
    running = true;
    workerDone = false;
    worker = new std::thread(&DecodeData::ThreadEntry, &DecodeData::DecodeLoop,
                             static_cast<void*>(this));
}

void DecodeData::ThreadEntry(void (DecodeData::*member)(), void* object) {
    if (object == nullptr) return;
    (static_cast<DecodeData*>(object)->*member)();
}

void DecodeData::StopWorker(const std::function<void()>& serviceEvents) {
    running = false;
    if (worker == nullptr) return;
    if (serviceEvents) {
        while (!workerDone) serviceEvents();
    }
    worker->join();
    delete worker;
    worker = nullptr;
}

void DecodeData::Release() {
    if (codecOptions) {
        av_dict_free(&codecOptions);
        codecOptions = nullptr;
    }
    if (formatOptions) {
        av_dict_free(&formatOptions);
        formatOptions = nullptr;
    }
    video_decoder::Free(codecCtx, packet, frame);
    if (formatCtx) avformat_close_input(&formatCtx);
    assembly.Free();
    rgb_conversion::Free(*this);
    decoding.small.Free();
    delete[] nalBuf;
    nalBuf = nullptr;
    delete[] cropBuf;
    cropBuf = nullptr;
}
