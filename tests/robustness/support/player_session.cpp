#include "tests/robustness/support/player_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "pipeline/ingest/replay_messages.h"

namespace fs = std::filesystem;

namespace {

const char kInputPath[] = "E:/Morrigat/Vessik/Quillmar/1080vi1.dat";

std::string MakeFolder() {
    std::string pattern = (fs::temp_directory_path() / "dlp-robust-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

[[noreturn]] void ExecPlayer(const SessionOptions& options, const std::string& folder,
                             int stdoutFd) {
    dup2(stdoutFd, STDOUT_FILENO);
    const int errFd = open((folder + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(errFd, STDERR_FILENO);
    if (chdir(folder.c_str()) != 0) _exit(126);
    for (const std::string& entry : options.environment) {
        const size_t equals = entry.find('=');
        setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
    std::vector<std::string> args = options.wrapper;
    args.push_back(DLP_PLAYER_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

}  // namespace

PlayerSession::PlayerSession(const Bytes& recording, SessionOptions options)
    : options_(std::move(options)), folder_(MakeFolder()) {
    const fs::path input = fs::path(folder_) / kInputPath;
    fs::create_directories(input.parent_path());
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(recording.data()),
               static_cast<std::streamsize>(recording.size()));
}

PlayerSession::~PlayerSession() {
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stdoutFd_ >= 0) close(stdoutFd_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string PlayerSession::RecordingPath() const { return (fs::path(folder_) / kInputPath).string(); }

void PlayerSession::Start() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (options_.stdoutPipeCapacity > 0) fcntl(fds[1], F_SETPIPE_SZ, options_.stdoutPipeCapacity);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) ExecPlayer(options_, folder_, fds[1]);
    close(fds[1]);
    stdoutFd_ = fds[0];
}

void PlayerSession::ReadAvailable(int timeoutMs) {
    pollfd p{stdoutFd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return;
    char buffer[4096];
    const ssize_t n = read(stdoutFd_, buffer, sizeof buffer);
    if (n <= 0) return;
    partial_.append(buffer, static_cast<size_t>(n));
    size_t end;
    while ((end = partial_.find('\n')) != std::string::npos) {
        lines_.push_back(partial_.substr(0, end));
        partial_.erase(0, end + 1);
    }
}

bool PlayerSession::ReadUntil(const std::function<bool(const ConsoleLines&)>& done,
                              std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done(lines_)) {
        if (std::chrono::steady_clock::now() > deadline || !StillRunning()) return done(lines_);
        ReadAvailable(100);
    }
    return true;
}

bool PlayerSession::StillRunning() {
    if (ended_) return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
    return !ended_;
}

int PlayerSession::Stop() {
    if (StillRunning()) {
        kill(pid_, SIGTERM);
        // Keep draining the console so that a player writing its last lines
        // is not held up by a full pipe.
        while (waitpid(pid_, &status_, WNOHANG) == 0) ReadAvailable(20);
        ended_ = true;
    }
    ReadAvailable(0);
    if (WIFEXITED(status_)) return WEXITSTATUS(status_);
    return 128 + WTERMSIG(status_);
}

std::string PlayerSession::Errors() const {
    std::ifstream in(fs::path(folder_) / "stderr.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

bool AllDigits(const std::string& text, size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// A number as %g writes it: -12, 3.5, 2.14748e+06.
bool IsGeneralNumber(const std::string& text) {
    size_t pos = text[0] == '-' ? 1 : 0;
    size_t end = text.find_first_not_of("0123456789", pos);
    if (end == pos) return false;
    if (end == std::string::npos) return true;
    if (text[end] == '.') {
        pos = end + 1;
        end = text.find_first_not_of("0123456789", pos);
        if (end == pos) return false;
        if (end == std::string::npos) return true;
    }
    if (text[end] != 'e' || end + 2 >= text.size()) return false;
    if (text[end + 1] != '+' && text[end + 1] != '-') return false;
    return AllDigits(text, end + 2, text.size());
}

std::vector<std::string> SplitAtCommas(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ',')) fields.push_back(field);
    return fields;
}

bool HasLabelledNumber(const std::string& field, const std::string& label) {
    return field.size() > label.size() && field.compare(0, label.size(), label) == 0 &&
           IsGeneralNumber(field.substr(label.size()));
}

bool EndsWithLiteral(const std::string& line, size_t from, const char* literal) {
    return line.compare(from, std::string::npos, literal) == 0;
}

}  // namespace

bool IsTelemetryLine(const std::string& line) {
    static const char* const kLabels[] = {"Az:", "Pt:", "Lon:", "Lat:", "H:"};
    const std::vector<std::string> fields = SplitAtCommas(line);
    if (line.empty() || line.back() == ',' || fields.size() != 7) return false;
    if (!AllDigits(fields[0], 0, fields[0].size()) || fields[1] != "video:1") return false;
    for (size_t i = 0; i < 5; ++i) {
        if (!HasLabelledNumber(fields[i + 2], kLabels[i])) return false;
    }
    return true;
}

bool IsCompletionLine(const std::string& line) {
    const std::string before = replay_message::kDoneBefore;
    if (line.compare(0, before.size(), before) != 0) return false;
    const size_t digitsEnd = line.find_first_not_of("0123456789", before.size());
    return digitsEnd != std::string::npos && AllDigits(line, before.size(), digitsEnd) &&
           EndsWithLiteral(line, digitsEnd, replay_message::kDoneAfter);
}

bool IsWellFormedConsoleLine(const std::string& line) {
    const std::string diagnostic = "aabbccdd:";
    const bool isDiagnostic = line.compare(0, diagnostic.size(), diagnostic) == 0 &&
                              line.back() == ',' &&
                              AllDigits(line, diagnostic.size(), line.size() - 1);
    return IsTelemetryLine(line) || IsCompletionLine(line) || isDiagnostic ||
           line == "sws_getContext failed";
}

int MarkerOf(const std::string& line) {
    const size_t at = line.rfind(",H:");
    if (at == std::string::npos || !IsTelemetryLine(line)) return -1;
    const std::string value = line.substr(at + 3);
    if (value.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::atoi(value.c_str());
}

int CountMarkers(const ConsoleLines& lines, int first, int last) {
    int count = 0;
    for (const std::string& line : lines) {
        const int marker = MarkerOf(line);
        if (marker >= first && marker <= last) ++count;
    }
    return count;
}
