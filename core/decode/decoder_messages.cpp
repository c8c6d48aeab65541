#include "core/decode/decoder_messages.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

namespace {

thread_local DecoderMessageRoute* threadRoute = nullptr;
std::mutex installLock;
int started = 0;
// The one route started, while there is exactly one.
std::atomic<DecoderMessageRoute*> soleRoute{nullptr};

// The tag video_decoder::Send put into the codec context's `opaque`, which
// FFmpeg copies into the context of the thread that decodes the packet; -1
// when the message does not come from a codec context.
int64_t TagOfContext(void* context) {
    if (context == nullptr) return -1;
    const AVClass* cls = *static_cast<const AVClass* const*>(context);
    if (cls == nullptr || std::strcmp(cls->class_name, "AVCodecContext") != 0) return -1;
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(static_cast<AVCodecContext*>(context)->opaque));
}

void Install(void (*callback)(void*, int, const char*, va_list), DecoderMessageRoute* route) {
    std::lock_guard<std::mutex> lock(installLock);
    if (started++ == 0) av_log_set_callback(callback);
    soleRoute = started == 1 ? route : nullptr;
}

void Uninstall() {
    std::lock_guard<std::mutex> lock(installLock);
    if (--started == 0) av_log_set_callback(av_log_default_callback);
    soleRoute = nullptr;
}

}  // namespace

void DecoderMessageRoute::Start(Observer observer, const int64_t* decodingTag) {
    Stop();
    if (!observer) return;
    observer_ = std::move(observer);
    decodingTag_ = decodingTag;
    outer_ = threadRoute;
    threadRoute = this;
    Install(&DecoderMessageRoute::Route, this);
}

void DecoderMessageRoute::Stop() {
    if (!observer_) return;
    threadRoute = outer_;
    outer_ = nullptr;
    observer_ = nullptr;
    Uninstall();
}

void DecoderMessageRoute::Route(void* context, int level, const char* format, va_list args) {
    DecoderMessageRoute* const own = threadRoute;
    int64_t tag = TagOfContext(context);
    // From another thread only a decoder's own messages: FFmpeg's frame
    // threads are a decoder's; a network protocol's are not.
    DecoderMessageRoute* const target = own != nullptr ? own : tag >= 0 ? soleRoute.load() : nullptr;
    if (target == nullptr) {
        av_log_default_callback(context, level, format, args);
        return;
    }
    if (level > AV_LOG_ERROR) return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    // Only the decoding thread itself may read the decoding tag.
    if (tag < 0) tag = own != nullptr && own->decodingTag_ != nullptr ? *own->decodingTag_ : 0;
    target->observer_(text, tag);
}
