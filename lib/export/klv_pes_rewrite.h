#pragma once
// The KLV stream of a transport stream in the asynchronous form of MISB
// ST 1402: stream type 0x06 with a "KLVA" registration descriptor (as
// FFmpeg 5.1's muxer writes them) and PES packets on private_stream_1
// (0xBD). That muxer puts them on 0xFC, the metadata stream id of the
// synchronous form, and readers that tell the forms apart by that id then
// look for a metadata access-unit header that is not there. It cannot write
// the synchronous form either (no metadata descriptors, no access-unit
// header), so the one byte is rewritten on the way to the file and
// libavformat still does all the muxing.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ts_klv {

constexpr size_t kPacketSize = 188;
constexpr uint8_t kSyncByte = 0x47;
constexpr uint8_t kMetadataStreamId = 0xFC;  // the synchronous form's
constexpr uint8_t kPrivateStream1 = 0xBD;    // the asynchronous form's

// Rewrites the stream id of a PES packet that starts in `packet` (one
// whole TS packet) on `pid` from 0xFC to 0xBD; true when it did.
bool RewritePesStreamId(uint8_t* packet, int pid);

// Cuts whatever the muxer's output buffer hands over into whole TS
// packets, so that a PES header is never split between two calls, and
// rewrites the KLV PES headers among them.
class PesStreamIdRewriter {
public:
    // No PID until the muxer has chosen it; nothing is rewritten before.
    void SetPid(int pid) { pid_ = pid; }
    // The bytes ready to go on, in order: every whole packet so far.
    const std::vector<uint8_t>& Feed(const uint8_t* data, size_t size);
    // What is left of an unfinished packet, at the end of the output.
    const std::vector<uint8_t>& Rest();

private:
    int pid_ = -1;
    std::vector<uint8_t> pending_;
    std::vector<uint8_t> ready_;
};

}  // namespace ts_klv
