// The KLV PES stream id rewrite on single TS packets, and on a stream cut
// anywhere by the muxer's output buffer.

#include <gtest/gtest.h>

#include <vector>

#include "lib/export/klv_pes_rewrite.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kKlvPid = 0x101;

// One TS packet on `pid`; `adaptation` bytes of adaptation field (0: none)
// before a payload that starts with `payloadStart`.
Bytes Packet(int pid, bool unitStart, size_t adaptation, Bytes payloadStart) {
    Bytes p(ts_klv::kPacketSize, 0xFF);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0) | pid >> 8);
    p[2] = static_cast<uint8_t>(pid & 0xFF);
    p[3] = adaptation == 0 ? 0x10 : 0x30;
    size_t at = 4;
    if (adaptation > 0) {
        p[4] = static_cast<uint8_t>(adaptation - 1);
        at += adaptation;
    }
    std::copy(payloadStart.begin(), payloadStart.end(), p.begin() + static_cast<long>(at));
    return p;
}

const Bytes kMetadataPes = {0, 0, 1, 0xFC, 0, 30, 0x84, 0x80, 5};

TEST(KlvPesRewrite, OnlyTheKlvPesHeadersStreamIdChanges) {
    const struct {
        const char* name;
        Bytes packet;
        bool rewritten;
        size_t idAt;
    } cases[] = {
        {"no adaptation field", Packet(kKlvPid, true, 0, kMetadataPes), true, 7},
        {"adaptation field with PCR", Packet(kKlvPid, true, 8, kMetadataPes), true, 15},
        {"stuffed to the last bytes", Packet(kKlvPid, true, 180, {0, 0, 1, 0xFC}), true, 187},
        {"continuation of a PES", Packet(kKlvPid, false, 0, kMetadataPes), false, 7},
        {"another PID", Packet(0x100, true, 0, kMetadataPes), false, 7},
        {"another stream id", Packet(kKlvPid, true, 0, {0, 0, 1, 0xE0}), false, 7},
        {"no start code", Packet(kKlvPid, true, 0, {0, 1, 0xFC}), false, 6},
        {"header cut by the packet's end", Packet(kKlvPid, true, 182, {0, 0}), false, 186},
        {"adaptation field only", [] {
             Bytes p = Packet(kKlvPid, true, 0, {});
             p[3] = 0x20;
             p[4] = 183;
             return p;
         }(), false, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes packet = c.packet;
        EXPECT_EQ(ts_klv::RewritePesStreamId(packet.data(), kKlvPid), c.rewritten);
        Bytes expected = c.packet;
        if (c.rewritten) expected[c.idAt] = 0xBD;
        EXPECT_EQ(packet, expected);
    }
}

// However the muxer's buffer cuts the stream, the same bytes come out.
TEST(KlvPesRewrite, StreamCutAnywhereComesOutWholeAndRewritten) {
    Bytes stream, expected;
    for (int i = 0; i < 12; ++i) {
        const Bytes video = Packet(0x100, true, 0, {0, 0, 1, 0xE0});
        const Bytes klv = Packet(kKlvPid, i % 2 == 0, size_t(i) * 7, kMetadataPes);
        const Bytes klvOut = [&] {
            Bytes out = klv;
            if (i % 2 == 0) out[4 + size_t(i) * 7 + 3] = 0xBD;
            return out;
        }();
        for (const Bytes* p : {&video, &klv}) stream.insert(stream.end(), p->begin(), p->end());
        for (const Bytes* p : {&video, &klvOut}) expected.insert(expected.end(), p->begin(), p->end());
    }
    stream.insert(stream.end(), {0x47, 0x41});  // a packet the output ended in
    expected.insert(expected.end(), {0x47, 0x41});
    for (size_t cut : {1, 3, 187, 188, 189, 500, 4096}) {
        SCOPED_TRACE(cut);
        ts_klv::PesStreamIdRewriter rewriter;
        rewriter.SetPid(kKlvPid);
        Bytes out;
        for (size_t at = 0; at < stream.size(); at += cut) {
            const Bytes& ready = rewriter.Feed(stream.data() + at, std::min(cut, stream.size() - at));
            EXPECT_EQ(ready.size() % ts_klv::kPacketSize, 0u);
            out.insert(out.end(), ready.begin(), ready.end());
        }
        const Bytes& rest = rewriter.Rest();
        out.insert(out.end(), rest.begin(), rest.end());
        EXPECT_EQ(out, expected);
    }
}

}  // namespace
