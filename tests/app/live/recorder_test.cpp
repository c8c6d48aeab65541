// The recorder on a real disk: every byte in order, files cut at link
// frames, nothing made before the input opens, nothing overwritten unless
// asked.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "lib/live/recorder.h"
#include "lib/live/recording_files.h"
#include "tests/support/player_process.h"

namespace {

using namespace live;
using test_player::ReadFile;

std::vector<uint8_t> LinkBytes(size_t frames) {
    std::vector<uint8_t> bytes(frames * 512);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    for (size_t f = 0; f < frames; ++f) {
        bytes[f * 512] = 0xEB;
        bytes[f * 512 + 1] = 0x90;
    }
    return bytes;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Pieces that never start at a frame, so every cut has to find one, fed
// 3 ms apart: whatever the machine's load, a cut every 50 ms makes several
// files.
void FeedSlowly(Recorder& recorder, const std::vector<uint8_t>& bytes) {
    for (size_t pos = 0; pos < bytes.size(); pos += 700) {
        recorder.Keep(bytes.data() + pos, std::min<size_t>(700, bytes.size() - pos));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

// The split files from the first on, joined, leaving out the numbers in
// `others`; checks that each starts at a frame.
std::string JoinSplitFiles(const std::string& path, const std::set<unsigned>& others, unsigned& files) {
    std::string joined;
    files = 0;
    for (unsigned n = 1; Exists(SplitFileName(path, n)); ++n) {
        if (others.count(n) != 0) continue;
        const std::string part = ReadFile(SplitFileName(path, n));
        EXPECT_EQ(part.substr(0, 2), "\xEB\x90") << "file " << n;
        EXPECT_EQ(part.size() % 512, 0u) << "file " << n;
        joined += part;
        ++files;
    }
    return joined;
}

class RecorderTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return folder.Path() + "/" + name; }
    test_player::WorkFolder folder;
    std::vector<std::string> reports;
    Recorder recorder{[this](const std::string& text) { reports.push_back(text); }};
};

TEST_F(RecorderTest, KeepsEveryByteInOrderWhateverThePieces) {
    RecorderSettings settings;
    settings.path = Path("rec.dat");
    std::string error;
    ASSERT_TRUE(recorder.Prepare(settings, error)) << error;
    EXPECT_FALSE(Exists(settings.path)) << "made only once the input opens";
    recorder.Start();
    const std::vector<uint8_t> bytes = LinkBytes(300);
    for (size_t pos = 0, piece = 1; pos < bytes.size(); pos += piece, piece = piece * 3 % 1999 + 1) {
        recorder.Keep(bytes.data() + pos, std::min(piece, bytes.size() - pos));
    }
    recorder.Finish();
    EXPECT_EQ(ReadFile(settings.path), std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(recorder.Recorded(), bytes.size());
    EXPECT_EQ(recorder.Lost(), 0u);
    EXPECT_TRUE(reports.empty());
}

TEST_F(RecorderTest, SplitFilesStartAtFramesAndJoinToTheWhole) {
    RecorderSettings settings;
    settings.path = Path("rec.dat");
    settings.splitMinutes = 0.05 / 60;  // every 50 ms
    std::string error;
    ASSERT_TRUE(recorder.Prepare(settings, error)) << error;
    recorder.Start();
    const std::vector<uint8_t> bytes = LinkBytes(200);
    FeedSlowly(recorder, bytes);
    recorder.Finish();
    unsigned files = 0;
    EXPECT_EQ(JoinSplitFiles(settings.path, {}, files), std::string(bytes.begin(), bytes.end()));
    EXPECT_GE(files, 3u);
}

// A cut onto numbered files that are already there (an earlier run's):
// they are kept and the recording goes on in the next free number, said
// once; --force overwrites them as it does every other file.
TEST_F(RecorderTest, SplitGoesOnPastExistingNumberedFiles) {
    for (const bool force : {false, true}) {
        test_player::WorkFolder here;
        const std::string path = here.Path() + "/rec.dat";
        std::ofstream(SplitFileName(path, 2)) << "earlier";
        std::ofstream(SplitFileName(path, 3)) << "earlier";
        std::vector<std::string> said;
        Recorder split([&said](const std::string& text) { said.push_back(text); });
        RecorderSettings settings;
        settings.path = path;
        settings.splitMinutes = 0.05 / 60;
        settings.force = force;
        std::string error;
        ASSERT_TRUE(split.Prepare(settings, error)) << error;
        split.Start();
        const std::vector<uint8_t> bytes = LinkBytes(200);
        FeedSlowly(split, bytes);
        split.Finish();
        unsigned files = 0;
        const std::set<unsigned> kept = force ? std::set<unsigned>{} : std::set<unsigned>{2, 3};
        EXPECT_EQ(JoinSplitFiles(path, kept, files), std::string(bytes.begin(), bytes.end())) << force;
        EXPECT_GE(files, 3u) << force;
        EXPECT_EQ(split.Lost(), 0u) << force;
        if (force) {
            EXPECT_TRUE(said.empty()) << said.front();
        } else {
            EXPECT_EQ(ReadFile(SplitFileName(path, 2)), "earlier");
            EXPECT_EQ(ReadFile(SplitFileName(path, 3)), "earlier");
            ASSERT_EQ(said.size(), 1u);
            EXPECT_EQ(said[0], SplitFileName(path, 2) + " exists; the recording goes on in " + SplitFileName(path, 4));
        }
    }
}

TEST_F(RecorderTest, AnExistingFileIsKeptUnlessForced) {
    const std::string path = Path("rec.dat");
    std::ofstream(path) << "precious";
    RecorderSettings settings;
    settings.path = path;
    std::string error;
    EXPECT_FALSE(recorder.Prepare(settings, error));
    EXPECT_NE(error.find("--force"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(path), "precious");

    Recorder forced([](const std::string&) {});
    settings.force = true;
    ASSERT_TRUE(forced.Prepare(settings, error)) << error;
    EXPECT_EQ(ReadFile(path), "precious") << "not emptied before the input opens";
    forced.Start();
    forced.Keep(reinterpret_cast<const uint8_t*>("new"), 3);
    forced.Finish();
    EXPECT_EQ(ReadFile(path), "new");
}

}  // namespace
