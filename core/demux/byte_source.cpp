#include "core/demux/byte_source.h"

#include <algorithm>
#include <cctype>

extern "C" {
#include <libavformat/avio.h>
}

namespace {

// RFC 3986's scheme: a letter, then letters, digits, '+', '-' or '.'.
std::string SchemeOf(const std::string& name) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(name[0])))
        return {};
    const bool valid = std::all_of(name.begin(), name.begin() + static_cast<long>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
    return valid ? name.substr(0, colon) : std::string();
}

bool IsInputProtocol(const std::string& scheme) {
    void* opaque = nullptr;
    while (const char* name = avio_enum_protocols(&opaque, 0)) {
        if (scheme == name) return true;
    }
    return false;
}

}  // namespace

bool ByteSource::Fail(std::string reason) {
    error_ = std::move(reason);
    return false;
}

bool ByteSource::WithinSize(uint64_t offset, int64_t size) {
    if (size < 0 || offset <= static_cast<uint64_t>(size)) return true;
    return Fail("offset " + std::to_string(offset) + " is past the end (" + std::to_string(size) + " bytes)");
}

std::unique_ptr<ByteSource> OpenByteSource(const std::string& pathOrUrl, std::string& error) {
    const std::string scheme = SchemeOf(pathOrUrl);
    if (!scheme.empty() && IsInputProtocol(scheme)) return AvioByteSource::Open(pathOrUrl, error);
    return FileByteSource::Open(pathOrUrl, error);
}
