#pragma once
// FFmpeg's HEVC parser, the one place the project opens it. Fed units one
// after another, it draws the boundaries of access units and reads each
// one's picture order count from its slice header. It reads the headers
// through a context of its own, whose complaints about a stream cut by the
// link are lowered to debug level: they are not the decoder's.

#include <cstdint>
#include <functional>

extern "C" {
struct AVCodecParserContext;
struct AVCodecContext;
}

class HevcParser {
public:
    // One access unit as the parser gives it out: 3-byte start codes may
    // stand where the stream had 4-byte ones. Valid during the call only.
    struct Unit {
        const uint8_t* data;
        int size;
        bool pocKnown;
        int poc;
    };
    using Sink = std::function<void(const Unit& unit)>;

    HevcParser() = default;
    ~HevcParser();
    HevcParser(const HevcParser&) = delete;
    HevcParser& operator=(const HevcParser&) = delete;

    // Opens the parser, or opens it afresh: what the old one held is dropped.
    // False when FFmpeg cannot; the parser is then closed.
    bool Open();
    void Close();
    // Closes the parser and frees its header-reading context as well.
    void Free();
    bool IsOpen() const { return parser_ != nullptr; }

    // Feeds `data`, giving out every access unit it completes.
    void Feed(const uint8_t* data, int size, const Sink& sink);
    // Empty input makes the parser give out the unit it still holds.
    void Flush(const Sink& sink);
    // Bytes fed since the parser last gave out a unit.
    int64_t PendingBytes() const { return pendingBytes_; }

private:
    int ParseStep(const uint8_t* data, int size, Unit& out);

    AVCodecParserContext* parser_ = nullptr;
    AVCodecContext* context_ = nullptr;
    int64_t pendingBytes_ = 0;
};
