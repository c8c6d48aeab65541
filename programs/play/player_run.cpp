#include "programs/play/player_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "programs/play/launch_status.h"

namespace launcher {

namespace {

constexpr char kPlayerName[] = "downlink-player";

int StatusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return kSignalStatusBase + WTERMSIG(waitStatus);
    return kCannotStartStatus;
}

}  // namespace

PlayerRun::PlayerRun() {
    // The caller may have left SIGCHLD ignored, which would reap the player
    // before its status could be read.
    signal(SIGCHLD, SIG_DFL);
    sigemptyset(&held_);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&held_, sig);
    sigprocmask(SIG_BLOCK, &held_, &callerMask_);
}

int PlayerRun::Run(const std::string& program, const std::string& folder) {
    const pid_t player = Start(program, folder);
    if (player < 0) {
        std::fprintf(stderr, "downlink-play: cannot start the player: %s\n", std::strerror(errno));
        return kCannotStartStatus;
    }
    return StatusOf(WaitPassingSignals(player));
}

pid_t PlayerRun::Start(const std::string& program, const std::string& folder) const {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    sigprocmask(SIG_SETMASK, &callerMask_, nullptr);
    if (chdir(folder.c_str()) == 0) {
        execl(program.c_str(), kPlayerName, static_cast<char*>(nullptr));
    }
    std::fprintf(stderr, "downlink-play: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
    _exit(kCannotStartStatus);
}

int PlayerRun::WaitPassingSignals(pid_t player) const {
    for (;;) {
        siginfo_t info{};
        const int sig = sigwaitinfo(&held_, &info);
        if (sig < 0) continue;  // interrupted; nothing has happened to the player
        if (sig == SIGCHLD) {
            int status = 0;
            if (waitpid(player, &status, WNOHANG) == player) return status;
            continue;  // stopped or continued, not ended
        }
        // A terminal's Ctrl+C or hang-up reaches the player directly, as it
        // shares the launcher's process group; only a signal sent to the
        // launcher alone is the launcher's to pass on.
        if (info.si_code != SI_KERNEL) kill(player, sig);
    }
}

std::string PlayerBesideLauncher() {
    std::error_code failure;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failure);
    if (failure) return kPlayerName;
    return (self.parent_path() / kPlayerName).string();
}

}  // namespace launcher
