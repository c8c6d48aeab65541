// The built player on recordings made by the recording tools, with a known
// telemetry track: one line per picture, line n showing record n, also when
// the link adds noise, invalid-length frames and sequence jumps that cost no
// payload, and when each picture is coded in several slices.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <thread>

#include "tests/support/link_frames.h"
#include "tests/support/player_process.h"
#include "tests/support/x_display.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/formats/telemetry_track.h"

namespace {

using namespace test_player;
using std::chrono::milliseconds;

constexpr milliseconds kBound{60000};  // against a hang only

int32_t ReadS32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                uint32_t(p[3]) << 24);
}
int16_t ReadS16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

// The line for picture n, written from the record's bytes with the standard
// stream's default number format.
std::string ExpectedLine(int n, const TelemetryRecord& record) {
    const uint8_t* r = record.bytes;
    const float azimuth = static_cast<float>(double(ReadS16(r + 17)) * 360.0 / 65535.0);
    const float pitch = static_cast<float>(double(ReadS16(r + 19)) * 360.0 / 65535.0 + 90.0);
    std::ostringstream line;
    line.imbue(std::locale::classic());
    line << n << ",video:1,Az:" << azimuth << ",Pt:" << pitch << ",Lon:" << ReadS32(r + 98) * 1e-7
         << ",Lat:" << ReadS32(r + 102) * 1e-7 << ",H:" << ReadS32(r + 106) * 0.001;
    return line.str();
}

std::vector<std::string> TelemetryLines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(",video:") != std::string::npos) lines.push_back(line);
    }
    return lines;
}

struct Recording {
    Bytes bytes;
    std::vector<TelemetryRecord> records;
};

Recording MakeRecording(int width, int height, int pictures, int slices) {
    PatternOptions pattern;
    pattern.width = width;
    pattern.height = height;
    pattern.frames = pictures;
    pattern.slices = slices;
    Bytes es;
    std::string error;
    EXPECT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
    Recording recording;
    for (const TelemetrySample& sample : GenerateFlightPath(pictures)) {
        TelemetryRecord record;
        EXPECT_TRUE(EncodeRecord(sample, record, error)) << error;
        recording.records.push_back(record);
    }
    recording.bytes = BuildRecording(es, recording.records, RecordingOptions{});
    return recording;
}

// The same frames with what a noisy link adds around them: noise, extra
// frames whose length field is invalid, and numbering that jumps.
Bytes WithHarmlessImpairments(const Bytes& clean) {
    std::mt19937 random(7);
    Bytes out;
    uint16_t sequence = 1;
    for (size_t at = 0; at + 512 <= clean.size(); at += 512) {
        if (random() % 3 == 0) test_link::Append(out, test_link::Noise(1 + random() % 200, random()));
        if (random() % 4 == 0) {
            const uint16_t invalid = random() % 2 ? 0 : uint16_t(481 + random() % 60000);
            test_link::Append(out, test_link::Frame(sequence++, invalid, Bytes(480, 0x00)));
        }
        if (random() % 5 == 0) sequence = static_cast<uint16_t>(sequence + 2 + random() % 1000);
        Bytes frame(clean.begin() + at, clean.begin() + at + 512);
        frame[10] = static_cast<uint8_t>(sequence);
        frame[11] = static_cast<uint8_t>(sequence >> 8);
        ++sequence;
        test_link::Append(out, frame);
    }
    return out;
}

struct PlayCase {
    const char* name;
    int width;
    int height;
    int pictures;
    int slices;
    bool impaired;
    Display display;
};

void PrintTo(const PlayCase& c, std::ostream* os) { *os << c.name; }

class RecordingPlayback : public ::testing::TestWithParam<PlayCase> {
protected:
    void SetUp() override {
        if (GetParam().display == Display::kInherited && !test_x::HaveDisplay()) {
            GTEST_SKIP() << "no X display (DISPLAY unset)";
        }
    }
    WorkFolder folder;
};

TEST_P(RecordingPlayback, PrintsRecordNsValuesOnLineNForEveryPicture) {
    const PlayCase c = GetParam();
    const Recording recording = MakeRecording(c.width, c.height, c.pictures, c.slices);
    const Bytes bytes = c.impaired ? WithHarmlessImpairments(recording.bytes) : recording.bytes;
    ASSERT_EQ(recording.bytes.size() % 512, 0u);
    if (c.impaired) {
        ASSERT_GT(bytes.size(), recording.bytes.size() + 512 * 10);
    }
    folder.WriteRecording(bytes);

    PlayerProcess player(DLP_PLAYER_PATH, folder, c.display);
    const std::string last = std::to_string(c.pictures) + ",video:1,";
    ASSERT_TRUE(player.WaitForStdout(last, kBound)) << player.Stdout() << player.Stderr();
    std::this_thread::sleep_for(milliseconds(200));  // nothing more may come

    std::vector<std::string> expected;
    for (int n = 1; n <= c.pictures; ++n) expected.push_back(ExpectedLine(n, recording.records[n - 1]));
    EXPECT_EQ(TelemetryLines(player.Stdout()), expected);
    const std::string out = player.Stdout();
    const size_t announced = out.find("aabbccdd:");
    EXPECT_EQ(announced, 0u) << "announced before any picture";
    EXPECT_EQ(out.find("aabbccdd:", announced + 1), std::string::npos) << "and only once";
    // Every unit of these streams decodes; a slice sent apart from its
    // picture would draw the decoder's complaint.
    EXPECT_EQ(player.Stderr().find("[hevc"), std::string::npos) << player.Stderr();

    if (c.display == Display::kInherited) {
        EXPECT_EQ(test_x::WindowsNamed("RGB Image", player.Pid()).size(), 1u)
            << test_x::Run("xwininfo -root -tree");
    }
    player.Signal(SIGTERM);
    EXPECT_EQ(player.WaitForExit(kBound), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, RecordingPlayback,
    ::testing::Values(PlayCase{"SmallXvfb", 320, 240, 12, 1, false, Display::kInherited},
                      PlayCase{"SmallNoDisplay", 320, 240, 12, 1, false, Display::kNone},
                      PlayCase{"SmallImpairedXvfb", 320, 240, 12, 1, true, Display::kInherited},
                      PlayCase{"SmallImpairedNoDisplay", 320, 240, 12, 1, true, Display::kNone},
                      PlayCase{"FullHdXvfb", 1920, 1080, 5, 1, false, Display::kInherited},
                      PlayCase{"FourSlicesXvfb", 640, 360, 12, 4, false, Display::kInherited},
                      PlayCase{"FourSlicesImpairedNoDisplay", 640, 360, 12, 4, true, Display::kNone}),
    [](const ::testing::TestParamInfo<PlayCase>& info) { return std::string(info.param.name); });

}  // namespace
