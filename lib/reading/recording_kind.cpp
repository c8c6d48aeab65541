#include "lib/reading/recording_kind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/demux/link_frames.h"
#include "core/format/replay_pace.h"

namespace recording_kind {

namespace {

constexpr size_t kTsPacket = 188;
constexpr uint8_t kTsSync = 0x47;
constexpr size_t kTsPacketsToBeSure = 3;  // one 0x47 in 256 is chance; three in a row at 188 are not

// The player's own link scan, fed as the replay feeds it, decides: a sync
// pair alone is one in 65536 of any file's byte pairs, and only the scan
// knows which of them start a frame whose payload length it would take.
bool HoldsValidLinkFrame(const uint8_t* data, size_t size) {
    link_frames::Parser parser;
    bool valid = false;
    constexpr size_t kChunk = replay_pace::kChunkBytes;
    for (size_t pos = 0; pos < size && !valid; pos += kChunk) {
        parser.Feed(data + pos, static_cast<int32_t>(std::min(kChunk, size - pos)),
                    [&valid](const link_frames::Frame& frame) { valid = valid || frame.valid; });
    }
    return valid;
}

bool LooksLikeTransportStream(const uint8_t* data, size_t size) {
    const size_t packets = size / kTsPacket;
    if (packets < kTsPacketsToBeSure) return false;
    for (size_t i = 0; i < packets; ++i) {
        if (data[i * kTsPacket] != kTsSync) return false;
    }
    return true;
}

const char* Container(const uint8_t* data, size_t size) {
    static const uint8_t kEbml[] = {0x1A, 0x45, 0xDF, 0xA3};
    if (LooksLikeTransportStream(data, size)) return "an MPEG-TS file (0x47 every 188 bytes)";
    if (size >= 8 && std::memcmp(data + 4, "ftyp", 4) == 0) return "an MP4 file ('ftyp' at byte 4)";
    if (size >= 4 && std::memcmp(data, kEbml, 4) == 0) return "a Matroska file (1A 45 DF A3 at its start)";
    return nullptr;
}

}  // namespace

Look LookAt(const uint8_t* data, size_t size) {
    size = std::min(size, kHeadBytes);
    Look look;
    look.empty = size == 0;
    look.validLinkFrame = HoldsValidLinkFrame(data, size);
    look.container = Container(data, size);
    return look;
}

bool LookAtFile(const std::string& path, Look& look, std::string& error) {
    error.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read '" + path + "': " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    std::vector<uint8_t> head(kHeadBytes);
    size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = read(fd, head.data() + got, head.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = "cannot read '" + path + "': " + std::strerror(errno);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (!error.empty()) return false;
    look = LookAt(head.data(), got);
    return true;
}

bool IsRecording(const Look& look) { return look.validLinkFrame && look.container == nullptr; }

std::string Verdict(const Look& look) {
    if (IsRecording(look)) return "a downlink recording (valid link frames in its first megabyte)";
    std::string text = "not a downlink recording: ";
    if (look.empty) return text + "the file is empty";
    if (!look.validLinkFrame) text += "no valid link frame (sync bytes EB 90) in its first megabyte";
    if (look.container != nullptr) {
        text += look.validLinkFrame ? "it is " : "; it looks like ";
        text += look.container;
    }
    return text;
}

std::string ProblemReading(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return "cannot open '" + path + "': " + std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "'" + path + "' is a folder, not a recording";
    // Reading is the only true test of reading. A pipe is let through
    // unread: what was read of it here would be lost to the program.
    Look look;
    std::string error;
    if (!LookAtFile(path, look, error)) return error;
    if (!IsRecording(look)) return "'" + path + "' is " + Verdict(look);
    return {};
}

}  // namespace recording_kind
