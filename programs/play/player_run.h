#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>

namespace launcher {

// Runs the player and stays with it until it ends. SIGINT, SIGTERM and
// SIGHUP are held from construction on, so that none can end the launcher
// before it has removed its folder; while the player runs they are passed
// on to it.
class PlayerRun {
public:
    PlayerRun();
    PlayerRun(const PlayerRun&) = delete;
    PlayerRun& operator=(const PlayerRun&) = delete;

    // Runs `program` in `folder` with the caller's environment and returns
    // its exit status, or the launcher's status for a signal that ended it
    // or for a player that could not be started.
    int Run(const std::string& program, const std::string& folder);

private:
    pid_t Start(const std::string& program, const std::string& folder) const;
    int WaitPassingSignals(pid_t player) const;

    sigset_t held_;
    sigset_t callerMask_;
};

// downlink-player in the launcher's own folder: both are installed there.
std::string PlayerBesideLauncher();

}  // namespace launcher
