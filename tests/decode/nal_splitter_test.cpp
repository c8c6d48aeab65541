// The start-code splitter: rebuilding NAL units from payloads cut anywhere.

#include <gtest/gtest.h>

#include "tests/support/pipeline_harness.h"

namespace {

using test_pipeline::Bytes;
using test_pipeline::Unit;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class NalSplitter : public ::testing::Test {
protected:
    std::unique_ptr<DecodeData> pipeline = test_pipeline::Bare();
    test_pipeline::UnitLog log{*pipeline};

    std::string SplitCapturingStdout(const Bytes& stream, size_t pieceSize) {
        CaptureStdout();
        test_pipeline::Split(*pipeline, stream, pieceSize);
        return GetCapturedStdout();
    }
};

TEST_F(NalSplitter, HandsOverTheUnitBeforeEachNewStartCode) {
    const Bytes stream{0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x0C, 0x00, 0x00, 0x00, 0x01, 0x42};
    EXPECT_EQ(SplitCapturingStdout(stream, stream.size()), "aabbccdd:64,\n");
    ASSERT_EQ(log.units.size(), 1u);
    EXPECT_EQ(log.units[0], (Bytes{0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x0C}));
    ASSERT_EQ(pipeline->nalLen, 5);
    EXPECT_EQ(Bytes(pipeline->nalBuf, pipeline->nalBuf + 5), (Bytes{0x00, 0x00, 0x00, 0x01, 0x42}));
}

// Units of all shapes: the shortest (start code and header only), one with
// a 3-byte start code inside, one with long zero runs, one of many payloads.
const std::vector<Bytes>& SampleUnits() {
    static const std::vector<Bytes> units = [] {
        Bytes long_unit = Unit({0x26, 0x01});
        for (int i = 0; i < 2000; ++i) long_unit.push_back(static_cast<uint8_t>(i % 251 + 2));
        return std::vector<Bytes>{
            Unit({0x40, 0x01, 0x0C, 0x01}),
            Unit({0x42}),
            Unit({0x44, 0x01, 0x00, 0x00, 0x01, 0xBB, 0x00, 0x00, 0x02}),
            Unit({0x4E, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x05}),
            long_unit,
            Unit({0x02, 0x01, 0xD0}),
        };
    }();
    return units;
}

TEST_F(NalSplitter, SplitsTheSameUnitsWhereverThePayloadsAreCut) {
    const auto& units = SampleUnits();
    // The last unit is still open at the end: only its successor's start code
    // and header byte would close it.
    const Bytes stream = Join({Bytes{0x17, 0x33, 0x01}, Join(units), Unit({0x40})});
    const std::vector<Bytes> expected(units.begin(), units.end());
    for (size_t piece : {size_t(1), size_t(2), size_t(3), size_t(4), size_t(5), size_t(7),
                         size_t(480), stream.size()}) {
        auto fresh = test_pipeline::Bare();
        test_pipeline::UnitLog freshLog(*fresh);
        CaptureStdout();
        test_pipeline::Split(*fresh, stream, piece);
        EXPECT_EQ(GetCapturedStdout(), "aabbccdd:64,\n") << "pieces of " << piece;
        EXPECT_EQ(freshLog.units, expected) << "pieces of " << piece;
    }
}

TEST_F(NalSplitter, StartCodeSplitAtEveryPositionAcrossTwoPayloads) {
    const Bytes stream = Join({Unit({0x40, 0x01}), Unit({0x42, 0x07}), Unit({0x44})});
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        auto fresh = test_pipeline::Bare();
        test_pipeline::UnitLog freshLog(*fresh);
        CaptureStdout();
        fresh->SplitNal(stream.data(), static_cast<int32_t>(cut));
        fresh->SplitNal(stream.data() + cut, static_cast<int32_t>(stream.size() - cut));
        GetCapturedStdout();
        EXPECT_EQ(freshLog.units, (std::vector<Bytes>{Unit({0x40, 0x01}), Unit({0x42, 0x07})}))
            << "cut at " << cut;
    }
}

// A fourth zero in a row is no start of a start code: 00 00 00 00 01 does
// not lock, so the first unit found is the one after the next clean code.
TEST_F(NalSplitter, FourZerosBeforeOneDoNotMakeAStartCode) {
    const Bytes stream{0x00, 0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x00, 0x00, 0x00, 0x01, 0x42,
                       0x05, 0x00, 0x00, 0x00, 0x01, 0x44};
    EXPECT_EQ(SplitCapturingStdout(stream, stream.size()), "aabbccdd:66,\n");
    EXPECT_EQ(log.units, (std::vector<Bytes>{Unit({0x42, 0x05})}));
}

TEST_F(NalSplitter, AnnouncesOnlyTheFirstUnitInTheObjectsLife) {
    const Bytes stream = Join({Unit({0x40}), Unit({0x42}), Unit({0x44})});
    std::string out = SplitCapturingStdout(stream, stream.size());
    out += SplitCapturingStdout(Join({Unit({0x26, 0x01}), Unit({0x02})}), 3);
    EXPECT_EQ(out, "aabbccdd:64,\n");
    EXPECT_EQ(log.units.size(), 4u);
}

// nalBuf is 8294400 bytes. A unit that would not fit, with the decoder's
// read padding behind it, is dropped; the splitter finds the next start code
// and hands over the units after it.
struct OverflowCase {
    int fillerPastBuffer;  // moves the next start code across the limit
    bool oversizedUnitFits;
};

void PrintTo(const OverflowCase& c, std::ostream* os) { *os << "filler " << c.fillerPastBuffer; }

class NalSplitterOverflow : public ::testing::TestWithParam<OverflowCase> {};

TEST_P(NalSplitterOverflow, DropsTheOversizedUnitAndKeepsTheUnitsAfterIt) {
    auto pipeline = test_pipeline::Bare();
    std::vector<size_t> lengths;
    std::vector<Bytes> heads;
    pipeline->onNal = [&](const uint8_t* unit, int32_t length) {
        lengths.push_back(size_t(length));
        heads.emplace_back(unit, unit + std::min(length, 7));
    };
    const size_t filler = size_t(DecodeData::kNalBufSize + GetParam().fillerPastBuffer);
    Bytes stream = Unit({0x40});
    stream.resize(stream.size() + filler, 0x55);
    const Bytes after = Join({Unit({0x42, 0x01}), Unit({0x44, 0x02}), Unit({0x46})});
    stream.insert(stream.end(), after.begin(), after.end());

    CaptureStdout();
    test_pipeline::Split(*pipeline, stream, 480);
    EXPECT_EQ(GetCapturedStdout(), "aabbccdd:64,\n");

    std::vector<Bytes> expected{Unit({0x42, 0x01}), Unit({0x44, 0x02})};
    if (GetParam().oversizedUnitFits) {
        ASSERT_FALSE(lengths.empty());
        EXPECT_EQ(lengths[0], filler + 5);
        lengths.erase(lengths.begin());
        heads.erase(heads.begin());
    }
    EXPECT_EQ(heads, expected);
    // The decoder may read this far past the unit it borrows.
    for (size_t length : lengths) EXPECT_LE(length + 64, size_t(DecodeData::kNalBufSize));
}

INSTANTIATE_TEST_SUITE_P(AroundTheBufferEnd, NalSplitterOverflow,
                         ::testing::Values(OverflowCase{-74, true}, OverflowCase{-73, false},
                                           OverflowCase{-72, false}, OverflowCase{-71, false},
                                           OverflowCase{-70, false}, OverflowCase{-69, false},
                                           OverflowCase{-68, false}, OverflowCase{0, false},
                                           OverflowCase{1000, false}),
                         [](const ::testing::TestParamInfo<OverflowCase>& info) {
                             const int past = info.param.fillerPastBuffer;
                             return (past < 0 ? "FillerMinus" : "FillerPlus") +
                                    std::to_string(past < 0 ? -past : past);
                         });

}  // namespace
