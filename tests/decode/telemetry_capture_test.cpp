// Telemetry capture: which units are taken, where their payload starts, and
// how it is de-escaped into the record.

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/pipeline_harness.h"

namespace {

using test_pipeline::Bytes;
using test_pipeline::Unit;

Bytes TelemetryUnit(const Bytes& sizeBytes, const Bytes& payload, uint8_t marker = 0x06) {
    Bytes unit = Unit({marker, 0x05});
    unit.insert(unit.end(), sizeBytes.begin(), sizeBytes.end());
    unit.insert(unit.end(), payload.begin(), payload.end());
    return unit;
}

// Payload bytes 1, 2, 3, ... with no zero, so no escape is met by chance.
Bytes Counting(size_t count) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i % 250 + 1);
    return bytes;
}

Bytes RecordBytes(const TelemetryRecord& record, size_t count = kTelemetryRecordSize) {
    return Bytes(record.bytes, record.bytes + count);
}

// The unit sits in a larger buffer whose bytes behind it are 0xAA, so that a
// read past the unit's end would show in the record.
class TelemetryCapture : public ::testing::Test {
protected:
    std::unique_ptr<DecodeData> pipeline = test_pipeline::Bare();

    bool Capture(const Bytes& unit) {
        Bytes buffer = unit;
        buffer.resize(unit.size() + 4096, 0xAA);
        return pipeline->CaptureTelemetry(buffer.data(), static_cast<int32_t>(unit.size()));
    }
    void MarkRecord() { std::memset(pipeline->telemetry.bytes, 0x77, kTelemetryRecordSize); }
    bool RecordUnchanged() const {
        return RecordBytes(pipeline->telemetry) == Bytes(kTelemetryRecordSize, 0x77);
    }
};

TEST_F(TelemetryCapture, PayloadStartsAfterTheLastSizeByte) {
    for (const Bytes& sizeBytes : {Bytes{0xFF, 0xFF, 0x0A},  // 520
                                   Bytes{0x81},              // 129
                                   Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x04},  // 1024
                                   Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x09},  // 2049
                                   Bytes{0xFF, 0x00}}) {     // 255
        const Bytes payload = Counting(900);
        ASSERT_TRUE(Capture(TelemetryUnit(sizeBytes, payload))) << sizeBytes.size() << " size bytes";
        EXPECT_EQ(RecordBytes(pipeline->telemetry), Bytes(payload.begin(), payload.begin() + 782))
            << sizeBytes.size() << " size bytes";
    }
}

TEST_F(TelemetryCapture, UnitsDeclaring128BytesOrLessAreLeftToTheDecoder) {
    MarkRecord();
    EXPECT_FALSE(Capture(TelemetryUnit({0x80}, Counting(900))));
    EXPECT_FALSE(Capture(TelemetryUnit({0x00}, Counting(900))));
    EXPECT_FALSE(Capture(TelemetryUnit({0x7F}, Counting(900))));
    EXPECT_TRUE(RecordUnchanged());
}

TEST_F(TelemetryCapture, OnlyTheTelemetryMarkerIsCaptured) {
    MarkRecord();
    for (uint8_t marker : {0x4E, 0x50, 0x07, 0x0C, 0x26, 0x02}) {
        EXPECT_FALSE(Capture(TelemetryUnit({0xFF, 0xFF, 0x0A}, Counting(900), marker)))
            << "header byte " << int(marker);
    }
    Bytes longStartCode{0x00};  // 00 00 00 00 01 06: the unit does not begin 00 00 00 01 06
    const Bytes unit = TelemetryUnit({0x81}, Counting(900));
    longStartCode.insert(longStartCode.end(), unit.begin(), unit.end());
    EXPECT_FALSE(Capture(longStartCode));
    EXPECT_TRUE(RecordUnchanged());
}

struct EscapeCase {
    Bytes escaped;
    Bytes plain;
};

TEST_F(TelemetryCapture, RemovesEmulationPreventionBytes) {
    const std::vector<EscapeCase> cases{
        {{0x00, 0x00, 0x03, 0x01}, {0x00, 0x00, 0x01}},
        {{0x00, 0x00, 0x03, 0x03}, {0x00, 0x00, 0x03}},
        {{0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x01}, {0x00, 0x00, 0x00, 0x00, 0x01}},
        // A skipped 0x03 still counts as the byte before the next one.
        {{0x00, 0x00, 0x03, 0x00, 0x03, 0x05}, {0x00, 0x00, 0x00, 0x03, 0x05}},
        {{0x00, 0x03, 0x00, 0x03}, {0x00, 0x03, 0x00, 0x03}},
    };
    for (const EscapeCase& c : cases) {
        Bytes payload{0x11, 0x22};
        payload.insert(payload.end(), c.escaped.begin(), c.escaped.end());
        const Bytes tail = Counting(800);
        payload.insert(payload.end(), tail.begin(), tail.end());
        ASSERT_TRUE(Capture(TelemetryUnit({0xFF, 0x10}, payload)));

        Bytes expected{0x11, 0x22};
        expected.insert(expected.end(), c.plain.begin(), c.plain.end());
        expected.insert(expected.end(), tail.begin(), tail.end());
        expected.resize(782);
        EXPECT_EQ(RecordBytes(pipeline->telemetry), expected) << "case " << (&c - &cases[0]);
    }
}

// Whatever the declared size, nothing past the unit's own bytes is read: a
// payload that ends early leaves the rest of the record zero.
TEST_F(TelemetryCapture, ShortUnitsFillTheRestOfTheRecordWithZeros) {
    MarkRecord();
    ASSERT_TRUE(Capture(TelemetryUnit({0xFF, 0x10}, {})));  // ends right after its size bytes
    EXPECT_EQ(RecordBytes(pipeline->telemetry), Bytes(782, 0x00));

    MarkRecord();
    ASSERT_TRUE(Capture(TelemetryUnit({0xFF, 0xFF}, {})));  // ends inside its size bytes
    EXPECT_EQ(RecordBytes(pipeline->telemetry), Bytes(782, 0x00));

    const Bytes payload = Counting(300);
    ASSERT_TRUE(Capture(TelemetryUnit({0x81}, payload)));
    Bytes expected = payload;
    expected.resize(782, 0x00);
    EXPECT_EQ(RecordBytes(pipeline->telemetry), expected);
}

// Through the splitter: the latest unit wins, and every unit it takes is
// offered to capture before anything else.
TEST_F(TelemetryCapture, TheLatestOfSeveralTelemetryUnitsIsKept) {
    Bytes first = Counting(782);
    Bytes second(782, 0x5C);
    int captured = 0;
    pipeline->onTelemetry = [&](const TelemetryRecord&) { ++captured; };
    Bytes stream = TelemetryUnit({0xFF, 0xFF, 0xFF, 0xFF, 0x04}, first);
    const Bytes next = TelemetryUnit({0xFF, 0xFF, 0xFF, 0xFF, 0x04}, second);
    stream.insert(stream.end(), next.begin(), next.end());
    const Bytes closing = Unit({0x40, 0x01});
    stream.insert(stream.end(), closing.begin(), closing.end());

    ::testing::internal::CaptureStdout();
    test_pipeline::Split(*pipeline, stream, 480);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(captured, 2);
    EXPECT_EQ(RecordBytes(pipeline->telemetry), second);
}

}  // namespace
