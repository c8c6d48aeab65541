// The decoder's messages, for a pipeline whose caller observes them.
//
// FFmpeg has one log callback for the whole process and gives it no say of
// which decoder is talking beyond the context, which belongs to FFmpeg. So
// this one callback is installed while any pipeline observes its messages,
// and finds the pipeline through the thread that logs: a pipeline observed
// here decodes on the thread that asked. Lines from any other thread (the
// player's own decoder, another library) go to FFmpeg's default as before.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "pipeline/decode_data.h"

namespace {

thread_local DecodeData* messageTarget = nullptr;
std::mutex installLock;
int observing = 0;
// The one pipeline observing, while there is exactly one: FFmpeg's own
// frame threads log from threads that no pipeline has registered.
std::atomic<DecodeData*> soleTarget{nullptr};

// The tag SendPacket put into the codec context's `opaque`, which FFmpeg
// copies into the context of the thread that decodes the packet; -1 when
// the message does not come from a codec context.
int64_t TagOfContext(void* context) {
    if (context == nullptr) return -1;
    const AVClass* cls = *static_cast<const AVClass* const*>(context);
    if (cls == nullptr || std::strcmp(cls->class_name, "AVCodecContext") != 0) return -1;
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(static_cast<AVCodecContext*>(context)->opaque));
}

void Install(void (*callback)(void*, int, const char*, va_list), DecodeData* pipeline) {
    std::lock_guard<std::mutex> lock(installLock);
    if (observing++ == 0) av_log_set_callback(callback);
    soleTarget = observing == 1 ? pipeline : nullptr;
}

void Uninstall() {
    std::lock_guard<std::mutex> lock(installLock);
    if (--observing == 0) av_log_set_callback(av_log_default_callback);
    soleTarget = nullptr;
}

}  // namespace

void DecodeData::ObserveDecoderErrors(std::function<void(const char* text, int64_t tag)> observer) {
    StopObservingDecoderErrors();
    if (!observer) return;
    onDecoderError_ = std::move(observer);
    outerMessageTarget_ = messageTarget;
    messageTarget = this;
    Install(&DecodeData::RouteDecoderMessage, this);
}

// Observers stack: a pipeline made while another is observed on the same
// thread hands the thread back to it when it stops.
void DecodeData::StopObservingDecoderErrors() {
    if (!onDecoderError_) return;
    messageTarget = outerMessageTarget_;
    outerMessageTarget_ = nullptr;
    onDecoderError_ = nullptr;
    Uninstall();
}

void DecodeData::RouteDecoderMessage(void* context, int level, const char* format, va_list args) {
    DecodeData* const own = messageTarget;
    DecodeData* const target = own != nullptr ? own : soleTarget.load();
    if (target == nullptr) {
        av_log_default_callback(context, level, format, args);
        return;
    }
    if (level > AV_LOG_ERROR) return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    // Only the decoding thread itself may read the assembly's tag.
    int64_t tag = TagOfContext(context);
    if (tag < 0) tag = own != nullptr ? own->assembly.decodingTag : 0;
    target->onDecoderError_(text, tag);
}
