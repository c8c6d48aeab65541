// The built player, run as a user runs it in a working folder: the replay's
// messages, its chunk count, its pace. Each case runs under the X display of
// the test command and once with no display at all.

#include <gtest/gtest.h>

#include <chrono>
#include <iconv.h>
#include <thread>

#include "tests/support/link_frames.h"
#include "tests/support/player_process.h"
#include "tests/support/x_display.h"

namespace {

using namespace test_player;
using std::chrono::milliseconds;

constexpr milliseconds kBound{30000};  // against a hang only
const std::string kNoDisplayLine = "no display found";

// The console text the ground station expects, in code page 936.
std::string Gbk(const std::string& utf8) {
    iconv_t convert = iconv_open("GBK", "UTF-8");
    if (convert == reinterpret_cast<iconv_t>(-1)) return "<no GBK converter>";
    std::string in = utf8;
    std::string out(in.size() * 2 + 8, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    size_t inLeft = in.size();
    size_t outLeft = out.size();
    iconv(convert, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(convert);
    out.resize(out.size() - outLeft);
    return out;
}

std::string CompletionLine(int chunks) {
    return Gbk("文件处理完成，共处理 ") + std::to_string(chunks) + Gbk(" 个包") + "\n";
}

class Replay : public ::testing::TestWithParam<Display> {
protected:
    void SetUp() override {
        if (GetParam() == Display::kInherited && !test_x::HaveDisplay()) {
            GTEST_SKIP() << "no X display (DISPLAY unset)";
        }
    }
    std::unique_ptr<PlayerProcess> Start() {
        return std::make_unique<PlayerProcess>(DLP_PLAYER_PATH, folder, GetParam());
    }
    // After its replay the player waits for a signal; SIGTERM ends it in order.
    void ExpectStillRunningThenStops(PlayerProcess& player) {
        std::this_thread::sleep_for(milliseconds(300));
        EXPECT_TRUE(player.Running()) << "the player must wait after its replay";
        player.Signal(SIGTERM);
        EXPECT_EQ(player.WaitForExit(kBound), 0);
    }
    void ExpectDisplayReport(const PlayerProcess& player) {
        const bool reported = player.Stderr().find(kNoDisplayLine) != std::string::npos;
        EXPECT_EQ(reported, GetParam() == Display::kNone) << player.Stderr();
    }

    WorkFolder folder;
};

TEST_P(Replay, MissingRecordingIsReportedInGbkAndThePlayerWaits) {
    auto player = Start();
    ASSERT_TRUE(player->WaitForStdout(CompletionLine(0), kBound)) << player->Stdout();
    const std::string openError =
        Gbk("无法打开文件: ") + "E:/Morrigat/Vessik/Quillmar/1080vi1.dat\n";
    EXPECT_EQ(openError.substr(0, 14), "\xce\xde\xb7\xa8\xb4\xf2\xbf\xaa\xce\xc4\xbc\xfe\x3a\x20");
    EXPECT_NE(player->Stderr().find(openError), std::string::npos) << player->Stderr();
    EXPECT_EQ(player->Stdout(), CompletionLine(0));
    ExpectDisplayReport(*player);
    ExpectStillRunningThenStops(*player);
}

TEST_P(Replay, EmptyRecordingCountsNoChunk) {
    folder.WriteRecording({});
    auto player = Start();
    ASSERT_TRUE(player->WaitForStdout(CompletionLine(0), kBound)) << player->Stdout();
    EXPECT_EQ(player->Stderr().find(Gbk("无法打开文件")), std::string::npos);
    ExpectDisplayReport(*player);
    ExpectStillRunningThenStops(*player);
}

TEST_P(Replay, OneByteOverAChunkMakesTwoChunks) {
    folder.WriteRecording(Bytes(10241, 0x00));
    auto player = Start();
    ASSERT_TRUE(player->WaitForStdout(CompletionLine(2), kBound)) << player->Stdout();
    EXPECT_EQ(player->Stdout(), CompletionLine(2));
    ExpectStillRunningThenStops(*player);
}

// Each chunk is followed by a 20 ms pause, so N chunks cannot be done in
// less than N x 20 ms, however fast the machine.
TEST_P(Replay, KeepsAtMostOneChunkPer20Milliseconds) {
    constexpr int kChunks = 40;
    folder.WriteRecording(test_link::FrameStream(Bytes(kChunks * 20 * 480 - 100, 0x21)));
    const auto start = std::chrono::steady_clock::now();
    auto player = Start();
    ASSERT_TRUE(player->WaitForStdout(CompletionLine(kChunks), kBound)) << player->Stdout();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, milliseconds(kChunks * 20));
    ExpectStillRunningThenStops(*player);
}

INSTANTIATE_TEST_SUITE_P(Displays, Replay,
                         ::testing::Values(Display::kInherited, Display::kNone),
                         [](const ::testing::TestParamInfo<Display>& info) {
                             return info.param == Display::kNone ? "NoDisplay" : "Xvfb";
                         });

}  // namespace
