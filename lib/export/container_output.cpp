#include "lib/export/container_output.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {
// A whole number of TS packets, so that the callback mostly gets whole ones.
constexpr int kFrontBufferSize = 188 * 256;
}  // namespace

int ContainerOutput::Open(const std::string& path, bool rewriteKlv) {
    const int opened = avio_open(&file_, path.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0 || !rewriteKlv) return opened;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kFrontBufferSize));
    if (buffer != nullptr) front_ = avio_alloc_context(buffer, kFrontBufferSize, 1, this, nullptr, WritePacket, nullptr);
    if (front_ == nullptr) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    return 0;
}

int ContainerOutput::WritePacket(void* opaque, uint8_t* buf, int size) {
    auto* self = static_cast<ContainerOutput*>(opaque);
    const std::vector<uint8_t>& ready = self->rewriter_.Feed(buf, static_cast<size_t>(size));
    if (!ready.empty()) avio_write(self->file_, ready.data(), static_cast<int>(ready.size()));
    return self->file_->error < 0 ? self->file_->error : size;
}

int ContainerOutput::Close() {
    int status = 0;
    if (front_ != nullptr) {
        avio_flush(front_);
        if (front_->error < 0) status = front_->error;
        const std::vector<uint8_t>& rest = rewriter_.Rest();
        if (!rest.empty() && file_ != nullptr) avio_write(file_, rest.data(), static_cast<int>(rest.size()));
        FreeFront();
    }
    if (file_ != nullptr) {
        avio_flush(file_);
        if (status == 0 && file_->error < 0) status = file_->error;
        if (avio_closep(&file_) < 0 && status == 0) status = AVERROR(EIO);
    }
    return status;
}

void ContainerOutput::Abandon() {
    FreeFront();
    if (file_ != nullptr) avio_closep(&file_);
}

void ContainerOutput::FreeFront() {
    if (front_ == nullptr) return;
    av_freep(&front_->buffer);
    avio_context_free(&front_);
}
