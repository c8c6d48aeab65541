#include "lib/live/recording_files.h"

#include <cstdio>

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

}  // namespace live
