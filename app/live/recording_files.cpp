#include "app/live/recording_files.h"

#include <cstdio>

#include "pipeline/ingest/link_frame.h"

namespace live {

std::string SplitFileName(const std::string& path, unsigned n) {
    char number[16];
    std::snprintf(number, sizeof number, "-%04u", n);
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= nameStart) return path + number;
    return path.substr(0, dot) + number + path.substr(dot);
}

size_t FindFrameStart(const uint8_t* data, size_t size) {
    using namespace link_frame;
    auto syncAt = [&](size_t i) { return data[i] == kSync1 && data[i + 1] == kSync2; };
    for (size_t i = 0; i + 1 < size; ++i) {
        if (!syncAt(i)) continue;
        const size_t next = i + kFrameSize;
        if (next + 1 >= size || syncAt(next)) return i;
    }
    return size;
}

}  // namespace live
