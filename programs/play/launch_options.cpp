#include "programs/play/launch_options.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "programs/play/launch_status.h"
#include "core/format/replay_pace.h"

namespace launcher {

namespace {

LaunchRequest UsageError(std::string error) {
    LaunchRequest request;
    request.error = std::move(error);
    return request;
}

bool IsOption(const char* arg) { return arg[0] == '-' && arg[1] != '\0'; }

}  // namespace

LaunchRequest ParseLaunchArguments(int argc, const char* const* argv) {
    LaunchRequest request;
    bool optionsEnded = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            request.action = LaunchAction::kHelp;
            return request;
        } else if (!optionsEnded && std::strcmp(arg, "--version") == 0) {
            request.action = LaunchAction::kVersion;
            return request;
        } else if (!optionsEnded && IsOption(arg)) {
            return UsageError(std::string("unknown option '") + arg + "'");
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty()) return UsageError("no recording named");
    if (files.size() > 1) return UsageError("one recording at a time; got '" + files[1] + "' too");
    request.action = LaunchAction::kPlay;
    request.recording = files[0];
    return request;
}

void PrintLaunchUsage() {
    std::printf(
        "Usage: downlink-play [--] RECORDING\n"
        "Plays a downlink recording with downlink-player, which reads only its fixed\n"
        "path: the recording is linked to that path inside a private temporary folder,\n"
        "where the player runs with your environment. SIGINT (Ctrl+C) and SIGTERM are\n"
        "passed on to the player, which stops in order; the folder is removed whatever\n"
        "happens.\n"
        "\n"
        "A file that is not a downlink recording (no valid link frame in its first\n"
        "megabyte, or an MPEG-TS, MP4 or Matroska file) is refused with the reason.\n"
        "\n"
        "A recording that is still being written is read while the writer stays ahead\n"
        "of the replay (%d bytes every %d ms); the replay ends at the first moment\n"
        "without new bytes, and the player then waits to be stopped. For a link that\n"
        "is still arriving, use downlink-live.\n"
        "\n"
        "  -h, --help     this text\n"
        "      --version  the version\n"
        "\n"
        "Exit status: the player's (0 after an orderly stop); %d on a bad option;\n"
        "%d when RECORDING is missing, unreadable, a folder or not a recording; %d\n"
        "when the player cannot be started; 128+N when the player was ended by signal N.\n"
        "Example: downlink-play /usr/share/downlink-player/downlink-sample.dat\n",
        replay_pace::kChunkBytes, replay_pace::kPauseMs, kUsageStatus, kUnreadableStatus,
        kCannotStartStatus);
}

}  // namespace launcher
