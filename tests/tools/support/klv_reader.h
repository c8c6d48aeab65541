#pragma once
// A reader of MISB ST 0601 UAS Datalink Local Sets written from the standard
// alone, for the tests: key, BER lengths, BER-OID tags and the checksum.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace klv_reader {

using Bytes = std::vector<uint8_t>;

inline const Bytes kKey = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x0B, 0x01, 0x01,
                    0x0E, 0x01, 0x03, 0x01, 0x01, 0x00, 0x00, 0x00};
// BER length: short form, or 0x80 | n followed by n big-endian bytes.
inline bool ReadLength(const Bytes& b, size_t& pos, size_t& length) {
    if (pos >= b.size()) return false;
    const uint8_t first = b[pos++];
    const size_t count = first < 0x80 ? 0 : first & 0x7F;
    length = first < 0x80 ? first : 0;
    if (count > 4 || pos + count > b.size()) return false;
    for (size_t i = 0; i < count; ++i) length = length << 8 | b[pos++];
    return true;
}

// BER-OID tag: 7 bits a byte, high bit set on all but the last.
inline bool ReadTag(const Bytes& b, size_t& pos, uint32_t& tag) {
    for (tag = 0; pos < b.size() && tag < (1u << 24); ++pos) {
        tag = tag << 7 | (b[pos] & 0x7F);
        if (b[pos] < 0x80) return ++pos, true;
    }
    return false;
}

struct LocalSet {
    std::vector<uint32_t> order;
    std::map<uint32_t, Bytes> items;
};

// Fails the test on a malformed set; a tag that appears twice fails too.
inline LocalSet Read(const Bytes& b) {
    LocalSet set;
    EXPECT_TRUE(b.size() > kKey.size() && std::equal(kKey.begin(), kKey.end(), b.begin())) << "key";
    size_t pos = kKey.size(), length = 0;
    EXPECT_TRUE(ReadLength(b, pos, length));
    EXPECT_EQ(pos + length, b.size()) << "declared length covers exactly the items";
    while (pos < b.size()) {
        uint32_t tag = 0;
        size_t size = 0;
        if (!ReadTag(b, pos, tag) || !ReadLength(b, pos, size) || pos + size > b.size()) {
            ADD_FAILURE() << "item runs past the end at " << pos;
            break;
        }
        EXPECT_EQ(set.items.count(tag), 0u) << "tag " << tag << " twice";
        set.order.push_back(tag);
        set.items[tag] = Bytes(b.begin() + static_cast<long>(pos), b.begin() + static_cast<long>(pos + size));
        pos += size;
    }
    return set;
}

inline uint64_t Unsigned(const Bytes& value) {
    uint64_t v = 0;
    for (uint8_t byte : value) v = v << 8 | byte;
    return v;
}

// The running sum of 16-bit words over the set up to the checksum's value.
inline uint16_t Checksum(const Bytes& b) {
    uint16_t sum = 0;
    for (size_t i = 0; i + 2 < b.size(); ++i) sum = static_cast<uint16_t>(sum + (b[i] << (8 * ((i + 1) % 2))));
    return sum;
}

}  // namespace klv_reader
