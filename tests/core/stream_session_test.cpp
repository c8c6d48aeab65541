// The stream session on a real recording: one pass finds what the player's
// own pipeline finds, and a seek to a key picture's offset, or to any byte,
// reads on from a key picture with the tags asked for.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/session/stream_session.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/reading/recording_reader.h"

namespace {

constexpr int kPictures = 16;
constexpr int kKeyInterval = 4;

struct Found {
    std::vector<uint8_t> stream;  // the units, joined
    std::vector<TelemetryRecord> records;
    struct Picture {
        int64_t tag;
        bool key;
        int poc;
        uint64_t seekOffset;
        size_t bytes;
    };
    std::vector<Picture> pictures;
};

const std::vector<uint8_t>& Recording() {
    static const std::vector<uint8_t> recording = [] {
        PatternOptions pattern;
        pattern.width = 320;
        pattern.height = 240;
        pattern.frames = kPictures;
        pattern.keyint = kKeyInterval;
        pattern.slices = 2;
        pattern.bframes = 2;
        std::vector<uint8_t> es;
        std::string error;
        EXPECT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
        std::vector<TelemetryRecord> records(kPictures);
        for (int i = 0; i < kPictures; ++i) records[static_cast<size_t>(i)].bytes[0] = static_cast<uint8_t>(i + 1);
        return BuildRecording(es, records, RecordingOptions{});
    }();
    return recording;
}

SessionEvents Collect(Found& found) {
    SessionEvents events;
    events.onUnit = [&found](const uint8_t* unit, int32_t length, uint64_t) {
        found.stream.insert(found.stream.end(), unit, unit + length);
    };
    events.onRecord = [&found](const TelemetryRecord& record) { found.records.push_back(record); };
    events.onAccessUnit = [&found](const AccessUnit& au, uint64_t seekOffset) {
        if (au.hasPicture) found.pictures.push_back({au.tag, au.key, au.poc, seekOffset, au.bytes.size()});
    };
    return events;
}

Found ReadFrom(uint64_t offset, int64_t firstTag, std::vector<uint8_t>* parameterSets = nullptr) {
    Found found;
    const std::vector<uint8_t>& recording = Recording();
    StreamSession session(std::make_unique<MemoryByteSource>(recording.data(), recording.size()), Collect(found));
    if (offset > 0) {
        EXPECT_TRUE(session.Seek(offset, firstTag, parameterSets != nullptr ? *parameterSets : std::vector<uint8_t>{}));
    }
    EXPECT_TRUE(session.ReadToEnd());
    if (offset == 0 && parameterSets != nullptr) *parameterSets = session.ParameterSets();
    return found;
}

TEST(StreamSession, OnePassFindsWhatThePlayersPipelineFinds) {
    const Found found = ReadFrom(0, 1);
    ReadOptions read;
    const RecordingReport report = ReadRecordingBytes(Recording(), read);
    EXPECT_EQ(found.stream, report.elementaryStream);
    ASSERT_EQ(found.records.size(), report.records.size());
    for (size_t i = 0; i < found.records.size(); ++i)
        EXPECT_EQ(found.records[i].bytes[0], report.records[i].bytes[0]) << "record " << i;
    ASSERT_EQ(found.pictures.size(), size_t{kPictures});
    int keys = 0;
    for (size_t i = 0; i < found.pictures.size(); ++i) {
        EXPECT_EQ(found.pictures[i].tag, static_cast<int64_t>(i + 1)) << "tags count first slices, in coding order";
        keys += found.pictures[i].key;
    }
    EXPECT_EQ(keys, kPictures / kKeyInterval);
}

TEST(StreamSession, SeekingReadsOnFromAKeyPictureWithTheTagsAskedFor) {
    std::vector<uint8_t> parameterSets;
    const Found whole = ReadFrom(0, 1, &parameterSets);
    ASSERT_FALSE(parameterSets.empty());
    const std::vector<uint8_t>& recording = Recording();
    std::vector<uint64_t> targets;  // every later key picture's own offset, then bytes anywhere
    for (const Found::Picture& p : whole.pictures)
        if (p.key && p.tag > 1) targets.push_back(p.seekOffset);
    for (uint64_t at = 777; at < recording.size() * 3 / 4; at += recording.size() / 5) targets.push_back(at);
    for (uint64_t at : targets) {
        const Found again = ReadFrom(at, 100, &parameterSets);
        ASSERT_FALSE(again.pictures.empty()) << "seek to " << at;
        // It reads on from a key picture met at or after the offset, to the end.
        ASSERT_LE(again.pictures.size(), whole.pictures.size());
        const size_t from = whole.pictures.size() - again.pictures.size();
        EXPECT_TRUE(whole.pictures[from].key) << "seek to " << at;
        EXPECT_GE(whole.pictures[from].seekOffset + link_frame::kFrameSize, at) << "no key picture skipped";
        for (size_t i = 0; i < again.pictures.size(); ++i) {
            const Found::Picture& was = whole.pictures[from + i];
            const Found::Picture& now = again.pictures[i];
            EXPECT_EQ(now.tag, was.tag - whole.pictures[from].tag + 100) << "seek to " << at;
            EXPECT_EQ(now.key, was.key);
            // The key picture itself may carry the parameter sets given to the seek.
            if (i > 0) {
                EXPECT_EQ(now.bytes, was.bytes);
                EXPECT_EQ(now.poc, was.poc) << "seek to " << at << ", picture " << i;
            }
        }
    }
}

}  // namespace
