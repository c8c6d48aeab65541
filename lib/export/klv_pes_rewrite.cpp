#include "lib/export/klv_pes_rewrite.h"

#include <algorithm>

namespace ts_klv {

namespace {

constexpr uint8_t kPayloadUnitStart = 0x40;
constexpr int kHeaderSize = 4;

int Pid(const uint8_t* packet) { return (packet[1] & 0x1F) << 8 | packet[2]; }

// Where the payload starts, or kPacketSize when the packet carries none.
size_t PayloadOffset(const uint8_t* packet) {
    const int control = (packet[3] >> 4) & 0x3;
    if ((control & 0x1) == 0) return kPacketSize;
    if ((control & 0x2) == 0) return kHeaderSize;
    return kHeaderSize + 1 + size_t{packet[kHeaderSize]};  // adaptation_field_length, then the field
}

}  // namespace

bool RewritePesStreamId(uint8_t* packet, int pid) {
    if (packet[0] != kSyncByte || (packet[1] & kPayloadUnitStart) == 0 || Pid(packet) != pid) return false;
    const size_t at = PayloadOffset(packet);
    // packet_start_code_prefix 00 00 01, then stream_id.
    if (at + 4 > kPacketSize) return false;
    uint8_t* pes = packet + at;
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || pes[3] != kMetadataStreamId) return false;
    pes[3] = kPrivateStream1;
    return true;
}

const std::vector<uint8_t>& PesStreamIdRewriter::Feed(const uint8_t* data, size_t size) {
    ready_.clear();
    pending_.insert(pending_.end(), data, data + size);
    const size_t whole = pending_.size() / kPacketSize * kPacketSize;
    for (size_t at = 0; at < whole; at += kPacketSize) RewritePesStreamId(pending_.data() + at, pid_);
    ready_.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(whole));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(whole));
    return ready_;
}

const std::vector<uint8_t>& PesStreamIdRewriter::Rest() {
    ready_.swap(pending_);
    pending_.clear();
    return ready_;
}

}  // namespace ts_klv
