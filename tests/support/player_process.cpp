#include "tests/support/player_process.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

void WorkFolder::WriteRecording(const Bytes& bytes) const {
    const fs::path file = fs::path(path_) / kRecordingPath;
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

[[noreturn]] void ExecPlayer(const std::string& program, const std::string& folder,
                             const std::string& out, const std::string& err, Display display) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    RedirectTo(out, STDOUT_FILENO);
    RedirectTo(err, STDERR_FILENO);
    if (display == Display::kNone) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
    }
    // The test runner may have blocked or ignored these; a user's shell has not.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

}  // namespace

PlayerProcess::PlayerProcess(const std::string& program, const WorkFolder& folder, Display display)
    : stdoutPath_(folder.Path() + "/stdout.txt"),
      stderrPath_(folder.Path() + "/stderr.txt"),
      pid_(-1),
      reaped_(false),
      status_(0) {
    std::ofstream(stdoutPath_).close();
    std::ofstream(stderrPath_).close();
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) ExecPlayer(program, folder.Path(), stdoutPath_, stderrPath_, display);
}

PlayerProcess::~PlayerProcess() {
    if (!Running()) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
}

std::string PlayerProcess::Stdout() const { return ReadFile(stdoutPath_); }
std::string PlayerProcess::Stderr() const { return ReadFile(stderrPath_); }

bool PlayerProcess::WaitForStdout(const std::string& text, milliseconds bound) const {
    return WaitForText(stdoutPath_, text, bound);
}

bool PlayerProcess::WaitForStderr(const std::string& text, milliseconds bound) const {
    return WaitForText(stderrPath_, text, bound);
}

bool PlayerProcess::WaitForText(const std::string& file, const std::string& text,
                                milliseconds bound) const {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (ReadFile(file).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

bool PlayerProcess::WaitUntilCatching(int signal1, int signal2, milliseconds bound) const {
    const uint64_t wanted = (uint64_t{1} << (signal1 - 1)) | (uint64_t{1} << (signal2 - 1));
    const std::string status = "/proc/" + std::to_string(pid_) + "/status";
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        const std::string text = ReadFile(status);
        const size_t at = text.find("SigCgt:");
        if (at != std::string::npos) {
            const uint64_t caught = std::strtoull(text.c_str() + at + 7, nullptr, 16);
            if ((caught & wanted) == wanted) return true;
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
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
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (Running()) {
        if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
        std::this_thread::sleep_for(milliseconds(10));
    }
    if (!WIFEXITED(status_)) return std::nullopt;
    return WEXITSTATUS(status_);
}

bool PlayerProcess::EndedBySignal() const { return reaped_ && WIFSIGNALED(status_); }

}  // namespace test_player
