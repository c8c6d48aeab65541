#pragma once
// A reader of MPEG transport streams written from ISO/IEC 13818-1 alone,
// for the tests: the program map of the first program and every PES packet
// whole, with its stream id and PTS. Not FFmpeg's demuxer, so that it sees
// the bytes as any other reader does.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

namespace ts_reader {

using Bytes = std::vector<uint8_t>;

constexpr size_t kPacket = 188;
constexpr uint8_t kRegistrationDescriptor = 0x05;

struct ElementaryStream {
    int streamType = 0;
    std::vector<std::pair<int, Bytes>> descriptors;  // tag, contents
};

struct PesPacket {
    int pid = 0;
    uint8_t streamId = 0;
    bool hasPts = false;
    int64_t pts = 0;
    Bytes payload;
};

struct TransportStream {
    std::map<int, ElementaryStream> streams;  // by PID
    std::vector<PesPacket> pes;               // in file order
};

inline int Pid(const uint8_t* p) { return (p[1] & 0x1F) << 8 | p[2]; }
inline int U16(const uint8_t* p) { return p[0] << 8 | p[1]; }

// The packet's payload, empty when it has none.
inline Bytes Payload(const uint8_t* p) {
    const int control = (p[3] >> 4) & 3;
    if ((control & 1) == 0) return {};
    const size_t at = control == 3 ? 5 + size_t{p[4]} : 4;
    return at < kPacket ? Bytes(p + at, p + kPacket) : Bytes{};
}

// A section that starts in this payload: after the pointer field.
inline Bytes Section(const Bytes& payload) {
    if (payload.empty() || size_t{payload[0]} + 1 >= payload.size()) return {};
    Bytes s(payload.begin() + 1 + payload[0], payload.end());
    if (s.size() < 3) return {};
    const size_t length = 3 + (U16(&s[1]) & 0x0FFF);
    if (length > s.size()) return {};
    s.resize(length);
    return s;
}

inline int FirstProgramMapPid(const Bytes& pat) {
    for (size_t at = 8; at + 4 + 4 <= pat.size(); at += 4) {
        if (U16(&pat[at]) != 0) return U16(&pat[at + 2]) & 0x1FFF;
    }
    return -1;
}

inline std::map<int, ElementaryStream> ReadProgramMap(const Bytes& pmt) {
    std::map<int, ElementaryStream> streams;
    if (pmt.size() < 12 + 4 || pmt[0] != 0x02) return streams;
    const size_t end = pmt.size() - 4;  // CRC_32
    for (size_t at = 12 + (U16(&pmt[10]) & 0x0FFF); at + 5 <= end;) {
        ElementaryStream es;
        es.streamType = pmt[at];
        const int pid = U16(&pmt[at + 1]) & 0x1FFF;
        const size_t infoEnd = at + 5 + (U16(&pmt[at + 3]) & 0x0FFF);
        for (size_t d = at + 5; d + 2 <= infoEnd && d + 2 + pmt[d + 1] <= infoEnd; d += 2 + pmt[d + 1]) {
            es.descriptors.emplace_back(pmt[d], Bytes(pmt.begin() + d + 2, pmt.begin() + d + 2 + pmt[d + 1]));
        }
        streams[pid] = es;
        at = infoEnd;
    }
    return streams;
}

// The 33-bit time stamp in its five bytes with marker bits.
inline int64_t TimeStamp(const uint8_t* p) {
    return (int64_t{p[0]} >> 1 & 7) << 30 | int64_t{U16(p + 1) >> 1} << 15 | int64_t{U16(p + 3) >> 1};
}

inline PesPacket StartPes(int pid, const Bytes& payload) {
    PesPacket pes;
    pes.pid = pid;
    EXPECT_TRUE(payload.size() >= 9 && payload[0] == 0 && payload[1] == 0 && payload[2] == 1)
        << "PES start code on PID " << pid;
    if (payload.size() < 9) return pes;
    pes.streamId = payload[3];
    pes.hasPts = (payload[7] & 0x80) != 0;
    if (pes.hasPts && payload.size() >= 14) pes.pts = TimeStamp(&payload[9]);
    const size_t at = 9 + size_t{payload[8]};
    if (at <= payload.size()) pes.payload.assign(payload.begin() + at, payload.end());
    return pes;
}

inline TransportStream Read(const Bytes& file) {
    TransportStream ts;
    EXPECT_EQ(file.size() % kPacket, 0u);
    int pmtPid = -1;
    std::map<int, size_t> open;  // PID to its PES being gathered
    for (size_t at = 0; at + kPacket <= file.size(); at += kPacket) {
        const uint8_t* p = &file[at];
        EXPECT_EQ(p[0], 0x47) << "sync at " << at;
        const int pid = Pid(p);
        const bool start = (p[1] & 0x40) != 0;
        const Bytes payload = Payload(p);
        if (pid == 0 && start) {
            pmtPid = FirstProgramMapPid(Section(payload));
        } else if (pid == pmtPid && start) {
            ts.streams = ReadProgramMap(Section(payload));
        } else if (ts.streams.count(pid) != 0 && start) {
            open[pid] = ts.pes.size();
            ts.pes.push_back(StartPes(pid, payload));
        } else if (open.count(pid) != 0) {
            Bytes& to = ts.pes[open[pid]].payload;
            to.insert(to.end(), payload.begin(), payload.end());
        }
    }
    return ts;
}

}  // namespace ts_reader
