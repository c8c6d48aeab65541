// SIGINT and SIGTERM end the player in order, with status 0, whether they
// come during the replay or while it waits after it.

#include <gtest/gtest.h>

#include <csignal>
#include <cctype>
#include <thread>

#include "tests/support/link_frames.h"
#include "tests/support/player_process.h"
#include "tests/support/x_display.h"

namespace {

using namespace test_player;
using std::chrono::milliseconds;

constexpr milliseconds kBound{30000};  // against a hang only

// `chunks` chunks of link frames whose payloads are filler.
Bytes Recording(int chunks) {
    return test_link::FrameStream(Bytes(size_t(chunks) * 20 * 480, 0x21));
}

// The count in the completion line "...共处理 N 个包".
int CompletedChunks(const std::string& out) {
    const size_t end = out.find(" \xb8\xf6\xb0\xfc");  // " 个包"
    if (end == std::string::npos) return -1;
    size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(out[begin - 1]))) --begin;
    return begin == end ? -1 : std::stoi(out.substr(begin, end - begin));
}

struct StopCase {
    int signal;
    bool duringReplay;
    Display display;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << "signal " << c.signal << (c.duringReplay ? " during" : " after") << " the replay";
}

class OrderlyStop : public ::testing::TestWithParam<StopCase> {
protected:
    void SetUp() override {
        if (GetParam().display == Display::kInherited && !test_x::HaveDisplay()) {
            GTEST_SKIP() << "no X display (DISPLAY unset)";
        }
    }
    WorkFolder folder;
};

TEST_P(OrderlyStop, EndsWithStatusZero) {
    const StopCase c = GetParam();
    const int chunks = c.duringReplay ? 250 : 2;  // 250 chunks take at least 5 s
    folder.WriteRecording(Recording(chunks));
    PlayerProcess player(DLP_PLAYER_PATH, folder, c.display);
    ASSERT_TRUE(player.WaitUntilCatching(SIGINT, SIGTERM, kBound));
    if (!c.duringReplay) {
        ASSERT_TRUE(player.WaitForStdout(" \xb8\xf6\xb0\xfc\n", kBound));
    }

    player.Signal(c.signal);
    EXPECT_EQ(player.WaitForExit(kBound), 0) << "ended by a signal: " << player.EndedBySignal();
    const int done = CompletedChunks(player.Stdout());
    if (c.duringReplay) {
        EXPECT_GE(done, 1) << player.Stdout();
        EXPECT_LT(done, chunks) << "the replay must end early";
    } else {
        EXPECT_EQ(done, chunks);
    }
}

std::vector<StopCase> AllCases() {
    std::vector<StopCase> cases;
    for (int signal : {SIGINT, SIGTERM}) {
        for (bool during : {true, false}) {
            for (Display display : {Display::kInherited, Display::kNone}) {
                cases.push_back({signal, during, display});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Signals, OrderlyStop, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<StopCase>& info) {
                             const StopCase& c = info.param;
                             return std::string(c.signal == SIGINT ? "Sigint" : "Sigterm") +
                                    (c.duringReplay ? "DuringReplay" : "AfterReplay") +
                                    (c.display == Display::kNone ? "NoDisplay" : "Xvfb");
                         });

}  // namespace
