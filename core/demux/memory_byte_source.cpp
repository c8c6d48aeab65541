#include "core/demux/byte_source.h"

#include <algorithm>
#include <cstring>

int64_t MemoryByteSource::Read(uint8_t* buffer, size_t size) {
    const size_t take = std::min(size, size_ - position_);
    if (take > 0) std::memcpy(buffer, data_ + position_, take);
    position_ += take;
    return static_cast<int64_t>(take);
}

bool MemoryByteSource::Seek(uint64_t offset) {
    if (!WithinSize(offset, Size())) return false;
    position_ = static_cast<size_t>(offset);
    return true;
}
