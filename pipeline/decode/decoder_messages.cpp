// The decoder's messages, for a pipeline whose caller observes them.

#include "pipeline/decode_data.h"

void DecodeData::ObserveDecoderErrors(std::function<void(const char* text, int64_t tag)> observer) {
    messageRoute_.Start(std::move(observer), &decoding.decodingTag);
}

void DecodeData::StopObservingDecoderErrors() { messageRoute_.Stop(); }
