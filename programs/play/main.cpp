// downlink-play: plays any recording with downlink-player, which reads
// only its fixed path.

#include <cstdio>
#include <string>

#include "lib/reading/recording_kind.h"
#include "programs/play/launch_options.h"
#include "programs/play/launch_status.h"
#include "programs/play/player_folder.h"
#include "programs/play/player_run.h"
#include "project_version.h"

namespace {

int Play(const std::string& recording) {
    const std::string problem = recording_kind::ProblemReading(recording);
    if (!problem.empty()) {
        std::fprintf(stderr, "downlink-play: %s\n", problem.c_str());
        return launcher::kUnreadableStatus;
    }
    // Signals are held before the folder exists, so that it is always removed.
    launcher::PlayerRun run;
    launcher::PlayerFolder folder;
    std::string error;
    if (!folder.Prepare(recording, error)) {
        std::fprintf(stderr, "downlink-play: %s\n", error.c_str());
        return launcher::kCannotStartStatus;
    }
    return run.Run(launcher::PlayerBesideLauncher(), folder.Path());
}

}  // namespace

int main(int argc, char** argv) {
    const launcher::LaunchRequest request = launcher::ParseLaunchArguments(argc, argv);
    switch (request.action) {
        case launcher::LaunchAction::kHelp: launcher::PrintLaunchUsage(); return 0;
        case launcher::LaunchAction::kVersion: std::printf("downlink-play %s\n", kProjectVersion); return 0;
        case launcher::LaunchAction::kUsageError:
            std::fprintf(stderr, "downlink-play: %s\nTry 'downlink-play --help'.\n", request.error.c_str());
            return launcher::kUsageStatus;
        case launcher::LaunchAction::kPlay: break;
    }
    return Play(request.recording);
}
