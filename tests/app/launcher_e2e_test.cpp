// downlink-play as a user runs it: refusals before the player starts, any
// path played, signals passed on, a growing recording followed, and its
// temporary folder gone afterwards whatever ended the player.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/link_frames.h"
#include "tests/support/player_process.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/formats/telemetry_track.h"

namespace {

using namespace test_player;
namespace fs = std::filesystem;

constexpr milliseconds kBound{60000};  // against a hang only
constexpr char kDone[] = " \xb8\xf6\xb0\xfc\n";  // the end of " N 个包" in code page 936

// `chunks` replay chunks of link frames whose payloads are filler: 20 ms each.
Bytes FillerChunks(int chunks) { return test_link::FrameStream(Bytes(size_t(chunks) * 20 * 480, 0x21)); }

Bytes PictureRecording(int pictures) {
    PatternOptions pattern;
    pattern.width = 64;
    pattern.height = 64;
    pattern.frames = pictures;
    Bytes es;
    std::string error;
    EXPECT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
    std::vector<TelemetryRecord> records;
    for (const TelemetrySample& sample : GenerateFlightPath(pictures)) {
        records.emplace_back();
        EXPECT_TRUE(EncodeRecord(sample, records.back(), error)) << error;
    }
    return BuildRecording(es, records, RecordingOptions{});
}

void WriteFile(const fs::path& path, const Bytes& bytes, std::ios::openmode mode = std::ios::trunc) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::out | mode);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The launcher's own temporary folders in `tmp`; Qt may leave its runtime
// folder there too, which is no business of the launcher's.
int LauncherFolders(const fs::path& tmp) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(tmp)) {
        if (entry.path().filename().string().rfind("downlink-play-", 0) == 0) ++count;
    }
    return count;
}

// The player, once the launcher has started it and it handles its signals.
pid_t RunningPlayer(pid_t launcher) {
    const std::string list = "/proc/" + std::to_string(launcher) + "/task/" + std::to_string(launcher) + "/children";
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = ReadFile(list);
        const pid_t player = text.empty() ? 0 : static_cast<pid_t>(std::stol(text));
        const std::string status = ReadFile("/proc/" + std::to_string(player) + "/status");
        const size_t at = status.find("SigCgt:");
        const uint64_t wanted = (uint64_t{1} << (SIGINT - 1)) | (uint64_t{1} << (SIGTERM - 1));
        if (player > 0 && at != std::string::npos &&
            (std::strtoull(status.c_str() + at + 7, nullptr, 16) & wanted) == wanted) {
            return player;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return 0;
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Tmp()); }
    fs::path Tmp() const { return fs::path(folder.Path()) / "tmp"; }
    std::unique_ptr<PlayerProcess> Start(std::vector<std::string> arguments,
                                         std::vector<std::string> wrapper = {}) {
        PlayerOptions options;
        options.display = Display::kNone;
        options.wrapper = std::move(wrapper);
        options.arguments = std::move(arguments);
        options.environment = {"TMPDIR=" + Tmp().string()};
        return std::make_unique<PlayerProcess>(DLP_LAUNCHER_PATH, folder, options);
    }
    WorkFolder folder;  // the launcher's working folder, where relative paths start
};

struct Refusal {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    const char* says;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class Refuses : public Launcher, public ::testing::WithParamInterface<Refusal> {};

// Files a user may pick by mistake. The transport stream's packets carry
// valid link frames, which its format still outweighs.
void WriteWrongFiles(const fs::path& dir) {
    const Bytes frames = FillerChunks(1);
    Bytes ts;
    for (size_t at = 0; at < frames.size(); at += 184) {
        ts.insert(ts.end(), {0x47, 0x01, 0x01, 0x10});
        ts.insert(ts.end(), frames.begin() + at, frames.begin() + std::min(at + 184, frames.size()));
        ts.resize((ts.size() + 187) / 188 * 188, 0xFF);
    }
    WriteFile(dir / "export.ts", ts);
    Bytes mp4 = {0, 0, 0, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'};
    mp4.resize(4096);
    WriteFile(dir / "clip.mp4", mp4);
    Bytes mkv = {0x1A, 0x45, 0xDF, 0xA3, 0x9F, 0x42, 0x86, 0x81, 0x01};
    mkv.resize(4096);
    WriteFile(dir / "clip.mkv", mkv);
    const std::string text = "1,90,116,39,100\n";
    WriteFile(dir / "track.csv", Bytes(text.begin(), text.end()));
    WriteFile(dir / "empty.dat", {});
    Bytes late(size_t{1} << 20, 0);  // the first valid frame just past the first megabyte
    test_link::Append(late, FillerChunks(1));
    WriteFile(dir / "late.dat", late);
    Bytes invalid;  // frames, every one with a payload length the player drops
    for (uint16_t seq = 1; seq <= 100; ++seq) test_link::Append(invalid, test_link::Frame(seq, 481, {}));
    WriteFile(dir / "invalid.dat", invalid);
}

TEST_P(Refuses, BeforeThePlayerStarts) {
    const Refusal& r = GetParam();
    fs::create_directories(fs::path(folder.Path()) / "a folder");
    WriteWrongFiles(folder.Path());
    WriteFile(fs::path(folder.Path()) / "locked.dat", FillerChunks(1));
    fs::permissions(fs::path(folder.Path()) / "locked.dat", fs::perms::none);
    std::vector<std::string> wrapper;
    if (r.status == 2 && geteuid() == 0) {
        // Root reads any file: the launcher runs as nobody, who may enter
        // the folders but not read the locked file.
        wrapper = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        const std::string probe = "setpriv --reuid=65534 --regid=65534 --clear-groups test -x '" +
                                  std::string(DLP_LAUNCHER_PATH) + "'";
        if (std::system(probe.c_str()) != 0) GTEST_SKIP() << "nobody cannot run the launcher where it was built";
        fs::permissions(folder.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        fs::permissions(Tmp(), fs::perms::all);
    }
    auto launcher = Start(r.arguments, wrapper);
    EXPECT_EQ(launcher->WaitForExit(kBound), r.status);
    const std::string err = launcher->Stderr();
    EXPECT_EQ(err.rfind("downlink-play: ", 0), 0u) << err;
    EXPECT_NE(err.find(r.says), std::string::npos) << err;
    const size_t lines = std::count(err.begin(), err.end(), '\n');
    EXPECT_EQ(lines, r.status == 2 ? 1u : 2u) << err;  // a usage error adds where help is
    EXPECT_EQ(launcher->Stdout(), "");
    // The player would have left Qt's runtime folder here.
    EXPECT_TRUE(fs::is_empty(Tmp())) << "the player must not start";
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, Refuses,
    ::testing::Values(Refusal{"Nothing", {}, 1, "no recording named"},
                      Refusal{"UnknownOption", {"--loop", "x.dat"}, 1, "unknown option '--loop'"},
                      Refusal{"TwoRecordings", {"a.dat", "b.dat"}, 1, "one recording at a time"},
                      Refusal{"Missing", {"missing.dat"}, 2, "cannot open 'missing.dat': No such file"},
                      Refusal{"MissingAfterDashes", {"--", "-missing.dat"}, 2, "cannot open '-missing.dat'"},
                      Refusal{"Folder", {"a folder"}, 2, "'a folder' is a folder, not a recording"},
                      Refusal{"Unreadable", {"locked.dat"}, 2, "cannot read 'locked.dat': Permission denied"},
                      Refusal{"TransportStream", {"export.ts"}, 2,
                              "'export.ts' is not a downlink recording: it is an MPEG-TS file (0x47 every 188 bytes)"},
                      Refusal{"Mp4", {"clip.mp4"}, 2,
                              "'clip.mp4' is not a downlink recording: no valid link frame (sync bytes EB 90) in "
                              "its first megabyte; it looks like an MP4 file ('ftyp' at byte 4)"},
                      Refusal{"Matroska", {"clip.mkv"}, 2, "it looks like a Matroska file (1A 45 DF A3 at its start)"},
                      Refusal{"Text", {"track.csv"}, 2,
                              "'track.csv' is not a downlink recording: no valid link frame (sync bytes EB 90) in "
                              "its first megabyte\n"},
                      Refusal{"Empty", {"empty.dat"}, 2, "'empty.dat' is not a downlink recording: the file is empty"},
                      Refusal{"FirstFrameTooLate", {"late.dat"}, 2, "no valid link frame"},
                      Refusal{"OnlyInvalidFrames", {"invalid.dat"}, 2, "no valid link frame"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

struct PathCase {
    const char* name;
    const char* relative;
    bool absolute;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class Plays : public Launcher, public ::testing::WithParamInterface<PathCase> {};

TEST_P(Plays, AnyPathThroughTheFixedOne) {
    constexpr int kPictures = 3;
    const fs::path file = fs::path(folder.Path()) / GetParam().relative;
    WriteFile(file, PictureRecording(kPictures));
    auto launcher = Start({GetParam().absolute ? file.string() : std::string(GetParam().relative)});
    ASSERT_TRUE(launcher->WaitForStdout(std::to_string(kPictures) + ",video:1,", kBound)) << launcher->Stderr();
    EXPECT_NE(launcher->Stdout().find("1,video:1,"), std::string::npos);
    EXPECT_EQ(LauncherFolders(Tmp()), 1);
    EXPECT_EQ(launcher->Stop(), 0);
    EXPECT_EQ(LauncherFolders(Tmp()), 0);
    EXPECT_TRUE(fs::exists(file)) << "the recording itself stays";
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Plays,
    ::testing::Values(PathCase{"Relative", "flight.dat", false},
                      PathCase{"RelativeWithSpacesAndNonAscii", "vol 2/Flug über Köln 飞行.dat", false},
                      PathCase{"AbsoluteWithSpacesAndNonAscii", "vol 2/Flug über Köln 飞行.dat", true}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return info.param.name; });

struct SignalCase {
    const char* name;
    int signal;
    bool toPlayer;  // sent to the player itself rather than to the launcher
    int status;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class Signals : public Launcher, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(Signals, EndThePlayerAndTheFolder) {
    const SignalCase& c = GetParam();
    constexpr int kChunks = 250;  // at least 5 s of replay
    WriteFile(fs::path(folder.Path()) / "long.dat", FillerChunks(kChunks));
    auto launcher = Start({"long.dat"});
    const pid_t player = RunningPlayer(launcher->Pid());
    ASSERT_GT(player, 0);
    kill(c.toPlayer ? player : launcher->Pid(), c.signal);
    EXPECT_EQ(launcher->WaitForExit(kBound), c.status) << launcher->Stderr();
    EXPECT_EQ(launcher->Stdout().find(std::to_string(kChunks) + kDone), std::string::npos) << "ended early";
    EXPECT_EQ(LauncherFolders(Tmp()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sent, Signals,
    ::testing::Values(SignalCase{"SigintStopsInOrder", SIGINT, false, 0},
                      SignalCase{"SigtermStopsInOrder", SIGTERM, false, 0},
                      SignalCase{"SighupEndsThePlayer", SIGHUP, false, 128 + SIGHUP},
                      SignalCase{"PlayerKilled", SIGKILL, true, 128 + SIGKILL}),
    [](const ::testing::TestParamInfo<SignalCase>& info) { return info.param.name; });

TEST_F(Launcher, FollowsARecordingThatGrows) {
    constexpr int kFirst = 100;  // 2 s of replay to append in
    constexpr int kMore = 50;
    const fs::path file = fs::path(folder.Path()) / "growing.dat";
    WriteFile(file, FillerChunks(kFirst));
    auto launcher = Start({"growing.dat"});
    ASSERT_GT(RunningPlayer(launcher->Pid()), 0);
    WriteFile(file, FillerChunks(kMore), std::ios::app);
    EXPECT_TRUE(launcher->WaitForStdout(" " + std::to_string(kFirst + kMore) + kDone, kBound))
        << launcher->Stdout();
    EXPECT_EQ(launcher->Stop(), 0);
}

}  // namespace
