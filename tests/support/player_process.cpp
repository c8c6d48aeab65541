#include "tests/support/player_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/thread_stacks.h"

namespace test_player {

namespace fs = std::filesystem;

WorkFolder::WorkFolder() {
    std::string pattern = (fs::temp_directory_path() / "dlp-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

WorkFolder::~WorkFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string WorkFolder::RecordingPath() const { return (fs::path(path_) / kRecordingPath).string(); }

void WorkFolder::WriteRecording(const Bytes& bytes) const {
    const fs::path file = RecordingPath();
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

void RedirectTo(const std::string& path, int fd) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0) _exit(126);
    dup2(file, fd);
    close(file);
}

void ApplyEnvironment(const PlayerOptions& options) {
    if (options.display == Display::kNone) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
    }
    for (const std::string& entry : options.environment) {
        const size_t equals = entry.find('=');
        setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
}

// `consoleFd` is the pipe's write end, or -1 for the console file.
[[noreturn]] void ExecPlayer(const std::string& program, const std::string& folder,
                             const std::string& out, const std::string& err,
                             const PlayerOptions& options, int consoleFd) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    if (consoleFd >= 0) {
        dup2(consoleFd, STDOUT_FILENO);
    } else {
        RedirectTo(out, STDOUT_FILENO);
    }
    RedirectTo(err, STDERR_FILENO);
    ApplyEnvironment(options);
    // The test runner may have blocked or ignored these; a user's shell has not.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    std::vector<std::string> args = options.wrapper;
    args.push_back(program);
    args.insert(args.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// CPU time, in clock ticks, that the process and the children it has
// reaped have used; 0 once it is gone.
uint64_t CpuTicks(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    // The name in parentheses may hold spaces; the fields after it do not.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    uint64_t ticks = 0;
    // State is field 3; utime, stime, cutime and cstime are fields 14 to 17.
    for (int number = 3; number <= 17 && fields >> field; ++number) {
        if (number >= 14) ticks += std::strtoull(field.c_str(), nullptr, 10);
    }
    return ticks;
}

uint64_t FileSize(const std::string& path) {
    std::error_code ignored;
    const auto size = fs::file_size(path, ignored);
    return ignored ? 0 : static_cast<uint64_t>(size);
}

PlayerOptions WithDisplay(Display display) {
    PlayerOptions options;
    options.display = display;
    return options;
}

}  // namespace

PlayerProcess::PlayerProcess(const std::string& program, const WorkFolder& folder, Display display)
    : PlayerProcess(program, folder, WithDisplay(display)) {}

PlayerProcess::PlayerProcess(const std::string& program, const WorkFolder& folder,
                             const PlayerOptions& options)
    : stdoutPath_(folder.Path() + "/stdout.txt"),
      stderrPath_(folder.Path() + "/stderr.txt"),
      pid_(-1),
      reaped_(false),
      status_(0) {
    std::ofstream(stdoutPath_).close();
    std::ofstream(stderrPath_).close();
    int pipeEnds[2] = {-1, -1};
    if (options.consolePipe) {
        if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        if (options.consolePipeCapacity > 0) fcntl(pipeEnds[1], F_SETPIPE_SZ, options.consolePipeCapacity);
    }
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) ExecPlayer(program, folder.Path(), stdoutPath_, stderrPath_, options, pipeEnds[1]);
    if (options.consolePipe) {
        close(pipeEnds[1]);
        consoleFd_ = pipeEnds[0];
    }
}

PlayerProcess::~PlayerProcess() {
    if (Running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    if (consoleFd_ >= 0) close(consoleFd_);
}

std::string PlayerProcess::Stdout() const {
    if (consoleFd_ < 0) return ReadFile(stdoutPath_);
    while (ReadConsolePipe(0)) {
    }
    return consoleRead_;
}

std::string PlayerProcess::Stderr() const { return ReadFile(stderrPath_); }

ConsoleLines PlayerProcess::Lines() const {
    const std::string text = Stdout();
    ConsoleLines lines;
    size_t from = 0;
    for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
        lines.push_back(text.substr(from, end - from));
    }
    return lines;
}

// Reads what the pipe holds, waiting at most `timeoutMs` for it; false when
// nothing came.
bool PlayerProcess::ReadConsolePipe(int timeoutMs) const {
    pollfd ready{consoleFd_, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(consoleFd_, buffer, sizeof buffer);
    if (n <= 0) return false;
    consoleRead_.append(buffer, static_cast<size_t>(n));
    return true;
}

ProgressDeadline::ProgressDeadline(std::function<uint64_t()> progress, milliseconds bound)
    : progress_(std::move(progress)),
      bound_(bound),
      lastProgress_(progress_()),
      moved_(std::chrono::steady_clock::now()),
      lastResort_(moved_ + kLastResortBounds * bound) {}

bool ProgressDeadline::Passed() {
    const auto now = std::chrono::steady_clock::now();
    const uint64_t progress = progress_();
    if (progress != lastProgress_) {
        lastProgress_ = progress;
        moved_ = now;
    }
    return now - moved_ > bound_ || now > lastResort_;
}

// Bytes written to either stream and CPU time used only ever grow, so
// their sum changes whenever any of them does.
ProgressDeadline PlayerProcess::Deadline(milliseconds bound) const {
    return ProgressDeadline(
        [this] {
            const uint64_t console = consoleFd_ < 0 ? FileSize(stdoutPath_) : consoleRead_.size();
            return console + FileSize(stderrPath_) + (reaped_ ? 0 : CpuTicks(pid_));
        },
        bound);
}

bool PlayerProcess::WaitForStdout(const std::string& text, milliseconds bound) const {
    return WaitForText(std::function<std::string()>([this] { return Stdout(); }), text, bound);
}

bool PlayerProcess::WaitForStderr(const std::string& text, milliseconds bound) const {
    return WaitForText(std::function<std::string()>([this] { return Stderr(); }), text, bound);
}

bool PlayerProcess::WaitForText(const std::function<std::string()>& read, const std::string& text,
                                milliseconds bound) const {
    ProgressDeadline deadline = Deadline(bound);
    while (read().find(text) == std::string::npos) {
        if (deadline.Passed()) return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

bool PlayerProcess::WaitUntilCatching(int signal1, int signal2, milliseconds bound) const {
    const uint64_t wanted = (uint64_t{1} << (signal1 - 1)) | (uint64_t{1} << (signal2 - 1));
    const std::string status = "/proc/" + std::to_string(pid_) + "/status";
    ProgressDeadline deadline = Deadline(bound);
    for (;;) {
        const std::string text = ReadFile(status);
        const size_t at = text.find("SigCgt:");
        if (at != std::string::npos) {
            const uint64_t caught = std::strtoull(text.c_str() + at + 7, nullptr, 16);
            if ((caught & wanted) == wanted) return true;
        }
        if (deadline.Passed()) return false;
        std::this_thread::sleep_for(milliseconds(5));
    }
}

bool PlayerProcess::Running() {
    if (reaped_) return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    return !reaped_;
}

void PlayerProcess::Signal(int signal) const {
    if (!reaped_) kill(pid_, signal);
}

std::optional<int> PlayerProcess::WaitForExit(milliseconds bound) {
    ProgressDeadline deadline = Deadline(bound);
    while (Running()) {
        if (deadline.Passed()) return std::nullopt;
        std::this_thread::sleep_for(milliseconds(10));
    }
    if (!WIFEXITED(status_)) return std::nullopt;
    return WEXITSTATUS(status_);
}

bool PlayerProcess::EndedBySignal() const { return reaped_ && WIFSIGNALED(status_); }

bool PlayerProcess::ReadUntil(const std::function<bool(const ConsoleLines&)>& done, milliseconds limit) {
    ProgressDeadline deadline = Deadline(limit);
    while (!done(Lines())) {
        if (deadline.Passed() || !Running()) return done(Lines());
        if (consoleFd_ < 0) {
            std::this_thread::sleep_for(milliseconds(10));
        } else {
            ReadConsolePipe(100);
        }
    }
    return true;
}

int PlayerProcess::StopWith(int signal, milliseconds bound) {
    Signal(signal);
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (Running()) {
        if (std::chrono::steady_clock::now() > deadline) return KillHung(signal, bound);
        if (consoleFd_ < 0 || !ReadConsolePipe(20)) std::this_thread::sleep_for(milliseconds(1));
    }
    Stdout();
    if (WIFEXITED(status_)) return WEXITSTATUS(status_);
    return 128 + WTERMSIG(status_);
}

// The stacks are taken before the kill, while the threads still stand
// where they wait.
int PlayerProcess::KillHung(int signal, milliseconds bound) {
    const std::string stacks = ThreadStacks(pid_);
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    reaped_ = true;
    Stdout();
    ADD_FAILURE() << "process " << pid_ << " still running " << bound.count() << " ms after signal " << signal
                  << "; killed. Its threads:\n"
                  << stacks << "\nstandard error:\n"
                  << Stderr();
    return 128 + SIGKILL;
}

}  // namespace test_player
