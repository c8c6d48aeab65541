// The recorder on a real disk: every byte in order, files cut at link
// frames, nothing overwritten unless asked.

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <thread>

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
    ASSERT_TRUE(recorder.Start(settings, error)) << error;
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
    ASSERT_TRUE(recorder.Start(settings, error)) << error;
    const std::vector<uint8_t> bytes = LinkBytes(200);
    // Pieces that never start at a frame, so every cut has to find one.
    for (size_t pos = 0; pos < bytes.size(); pos += 700) {
        recorder.Keep(bytes.data() + pos, std::min<size_t>(700, bytes.size() - pos));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    recorder.Finish();
    std::string joined;
    unsigned files = 0;
    for (unsigned n = 1;; ++n) {
        struct stat info = {};
        if (stat(SplitFileName(settings.path, n).c_str(), &info) != 0) break;
        const std::string part = ReadFile(SplitFileName(settings.path, n));
        ASSERT_GE(part.size(), 2u);
        EXPECT_EQ(part.substr(0, 2), "\xEB\x90") << "file " << n;
        EXPECT_EQ(part.size() % 512, 0u) << "file " << n;
        joined += part;
        ++files;
    }
    EXPECT_GE(files, 3u);
    EXPECT_EQ(joined, std::string(bytes.begin(), bytes.end()));
}

TEST_F(RecorderTest, AnExistingFileIsKeptUnlessForced) {
    const std::string path = Path("rec.dat");
    std::ofstream(path) << "precious";
    RecorderSettings settings;
    settings.path = path;
    std::string error;
    EXPECT_FALSE(recorder.Start(settings, error));
    EXPECT_NE(error.find("--force"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(path), "precious");

    Recorder forced([](const std::string&) {});
    settings.force = true;
    ASSERT_TRUE(forced.Start(settings, error)) << error;
    forced.Keep(reinterpret_cast<const uint8_t*>("new"), 3);
    forced.Finish();
    EXPECT_EQ(ReadFile(path), "new");
}

}  // namespace
