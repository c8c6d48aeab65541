// The stream layer's splitter as every reader runs it: the same units
// wherever the stream is cut into payloads, a unit that outgrows its bound
// dropped without losing the start code behind it, and each hook called
// when the player's assembly needs it.

#include <gtest/gtest.h>

#include <vector>

#include "core/demux/unit_splitter.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Recorder {
    std::vector<Bytes> units;
    std::vector<uint8_t> announced;
    std::vector<Bytes> sliceHeaders;
    bool wantsSliceHeader = false;
    void FirstStartCode(uint8_t headerByte) { announced.push_back(headerByte); }
    bool WantsSliceHeaderByte() const { return wantsSliceHeader; }
    void SliceHeaderByte(const uint8_t* unit, int32_t length) { sliceHeaders.emplace_back(unit, unit + length); }
    void Unit(const uint8_t* unit, int32_t length) { units.emplace_back(unit, unit + length); }
};

class Splitter {
public:
    explicit Splitter(int32_t limit = 4096) : buffer_(static_cast<size_t>(limit) + 16), limit_(limit) {
        state_.nalBuf = buffer_.data();
    }
    void Feed(const Bytes& bytes, size_t from, size_t to) {
        unit_splitter::Split(state_, bytes.data() + from, static_cast<int32_t>(to - from), limit_, hooks);
    }
    Recorder hooks;

private:
    Bytes buffer_;
    unit_splitter::State state_;
    int32_t limit_;
};

Bytes Unit(uint8_t header, size_t bodySize, uint8_t fill) {
    Bytes unit = {0, 0, 0, 1, header};
    unit.resize(5 + bodySize, fill);
    return unit;
}

Bytes Join(const std::vector<Bytes>& units, const Bytes& before = {}) {
    Bytes all = before;
    for (const Bytes& u : units) all.insert(all.end(), u.begin(), u.end());
    return all;
}

TEST(UnitSplitter, TheSameUnitsWhereverTheStreamIsCut) {
    const std::vector<Bytes> units = {Unit(0x40, 20, 0x11), Unit(0x42, 3, 0x22), Unit(0x06, 900, 0x33),
                                      Unit(0x26, 5, 0x00 + 7), Unit(0x02, 40, 0x44)};
    // Noise and a stray fourth zero before the first start code belong to no unit.
    const Bytes stream = Join(units, {0x55, 0x00, 0x00, 0x00, 0x00, 0x07});
    const std::vector<Bytes> complete(units.begin(), units.end() - 1);  // the last waits for the next start code
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        Splitter splitter;
        splitter.Feed(stream, 0, cut);
        splitter.Feed(stream, cut, stream.size());
        ASSERT_EQ(splitter.hooks.units, complete) << "cut at " << cut;
        ASSERT_EQ(splitter.hooks.announced, Bytes{0x40}) << "cut at " << cut;
    }
    Splitter byteByByte;
    for (size_t i = 0; i < stream.size(); ++i) byteByByte.Feed(stream, i, i + 1);
    EXPECT_EQ(byteByByte.hooks.units, complete);
}

TEST(UnitSplitter, AnOversizedUnitIsDroppedAndTheStartCodeBehindItKept) {
    const Bytes small = Unit(0x40, 10, 0x11);
    const Bytes huge = Unit(0x26, 300, 0x22);  // outgrows a 128-byte bound
    const Bytes after = Unit(0x02, 10, 0x33);
    const Bytes closing = Unit(0x46, 2, 0x44);
    Splitter splitter(128);
    const Bytes stream = Join({small, huge, after, closing});
    splitter.Feed(stream, 0, stream.size());
    ASSERT_EQ(splitter.hooks.units.size(), 2u);
    EXPECT_EQ(splitter.hooks.units[0], small);
    EXPECT_EQ(splitter.hooks.units[1], after) << "the unit after the dropped one comes whole";
}

TEST(UnitSplitter, AHeldSliceHearsEachUnitsFirstSliceHeaderByte) {
    const std::vector<Bytes> units = {Unit(0x02, 30, 0x80), Unit(0x02, 30, 0x00), Unit(0x02, 30, 0x80)};
    Splitter splitter;
    splitter.hooks.wantsSliceHeader = true;
    const Bytes stream = Join(units);
    splitter.Feed(stream, 0, stream.size());
    // Once for each unit, as its seventh byte (its first slice-header byte)
    // arrives: the unit so far, at the front of the buffer.
    ASSERT_EQ(splitter.hooks.sliceHeaders.size(), 3u);
    const uint8_t firstSliceFlags[] = {0x80, 0x00, 0x80};
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(splitter.hooks.sliceHeaders[i].size(), 7u);
        EXPECT_EQ(splitter.hooks.sliceHeaders[i], Bytes(units[i].begin(), units[i].begin() + 7));
        EXPECT_EQ(splitter.hooks.sliceHeaders[i][6], firstSliceFlags[i]);
    }
}

}  // namespace
