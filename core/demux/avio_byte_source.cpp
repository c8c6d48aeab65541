#include "core/demux/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include "core/ffmpeg/error_text.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

std::unique_ptr<AvioByteSource> AvioByteSource::Open(const std::string& url, std::string& error) {
    AVIOContext* io = nullptr;
    const int opened = avio_open2(&io, url.c_str(), AVIO_FLAG_READ, nullptr, nullptr);
    if (opened < 0) {
        error = ErrorText(opened);
        return nullptr;
    }
    return std::unique_ptr<AvioByteSource>(new AvioByteSource(io));
}

AvioByteSource::~AvioByteSource() { avio_closep(&io_); }

int64_t AvioByteSource::Read(uint8_t* buffer, size_t size) {
    // The layer remembers its end and would not ask the protocol again; a
    // file may have grown since, and a stream at its end just says so again.
    io_->eof_reached = 0;
    const int n = avio_read(io_, buffer, static_cast<int>(std::min<size_t>(size, INT_MAX)));
    if (n == AVERROR_EOF) return 0;
    if (n < 0) {
        Fail(ErrorText(n));
        return -1;
    }
    return n;
}

bool AvioByteSource::Seek(uint64_t offset) {
    if (!(io_->seekable & AVIO_SEEKABLE_NORMAL)) {
        return offset == Position() || Fail(ErrorText(AVERROR(ESPIPE)));
    }
    if (!WithinSize(offset, Size())) return false;
    if (offset > static_cast<uint64_t>(INT64_MAX)) return Fail(ErrorText(AVERROR(EOVERFLOW)));
    const int64_t landed = avio_seek(io_, static_cast<int64_t>(offset), SEEK_SET);
    return landed >= 0 || Fail(ErrorText(static_cast<int>(landed)));
}

int64_t AvioByteSource::Size() {
    const int64_t size = avio_size(io_);
    return size < 0 ? -1 : size;
}

uint64_t AvioByteSource::Position() const { return static_cast<uint64_t>(avio_tell(io_)); }
