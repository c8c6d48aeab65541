#pragma once
// downlink-play's command line.

#include <string>

namespace launcher {

enum class LaunchAction { kPlay, kHelp, kVersion, kUsageError };

struct LaunchRequest {
    LaunchAction action = LaunchAction::kUsageError;
    std::string recording;  // kPlay: the file as the user named it
    std::string error;      // kUsageError: what was wrong
};

LaunchRequest ParseLaunchArguments(int argc, const char* const* argv);
void PrintLaunchUsage();

}  // namespace launcher
