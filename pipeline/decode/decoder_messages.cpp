// The decoder's messages, for a pipeline whose caller observes them.
//
// FFmpeg has one log callback for the whole process and gives it no say of
// which decoder is talking beyond the context, which belongs to FFmpeg. So
// this one callback is installed while any pipeline observes its messages,
// and finds the pipeline through the thread that logs: a pipeline observed
// here decodes on the thread that asked. Lines from any other thread (the
// player's own decoder, another library) go to FFmpeg's default as before.

#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include "pipeline/decode_data.h"

namespace {

thread_local DecodeData* messageTarget = nullptr;
std::mutex installLock;
int observing = 0;

void Install(void (*callback)(void*, int, const char*, va_list)) {
    std::lock_guard<std::mutex> lock(installLock);
    if (observing++ == 0) av_log_set_callback(callback);
}

void Uninstall() {
    std::lock_guard<std::mutex> lock(installLock);
    if (--observing == 0) av_log_set_callback(av_log_default_callback);
}

}  // namespace

void DecodeData::ObserveDecoderErrors(std::function<void(const char* text, int64_t tag)> observer) {
    StopObservingDecoderErrors();
    if (!observer) return;
    onDecoderError_ = std::move(observer);
    outerMessageTarget_ = messageTarget;
    messageTarget = this;
    Install(&DecodeData::RouteDecoderMessage);
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
    DecodeData* target = messageTarget;
    if (target == nullptr) {
        av_log_default_callback(context, level, format, args);
        return;
    }
    if (level > AV_LOG_ERROR) return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    target->onDecoderError_(text, target->assembly.decodingTag);
}
