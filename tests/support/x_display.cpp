#include "tests/support/x_display.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/player_process.h"

namespace test_x {

bool HaveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && display[0] != '\0';
}

namespace {

// Xvfb on display `number`; the pid once it serves there, or -1 when it
// could not (for example another server holds the number).
pid_t StartXvfb(int number) {
    const std::string display = ":" + std::to_string(number);
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1920x1200x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    // The server is up once its lock file names it and its socket exists.
    const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    for (int tries = 0; tries < 1000; ++tries) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return -1;
        const bool ours = std::atol(test_player::ReadFile(lock).c_str()) == pid;
        if (ours && access(socket.c_str(), F_OK) == 0) return pid;
        usleep(10000);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return -1;
}

}  // namespace

PrivateServer::PrivateServer() : pid_(-1) {
    const char* display = std::getenv("DISPLAY");
    if (display != nullptr) previousDisplay_ = display;
    // Far above the numbers xvfb-run -a takes, and spread by our pid.
    const int base = 200 + static_cast<int>(getpid() % 500);
    for (int number = base; number < base + 20 && pid_ <= 0; ++number) {
        pid_ = StartXvfb(number);
        if (pid_ > 0) setenv("DISPLAY", (":" + std::to_string(number)).c_str(), 1);
    }
}

PrivateServer::~PrivateServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    if (previousDisplay_.empty()) {
        unsetenv("DISPLAY");
    } else {
        setenv("DISPLAY", previousDisplay_.c_str(), 1);
    }
}

std::string Run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) out.append(chunk.data(), n);
    pclose(pipe);
    return out;
}

namespace {

// A tree line reads: `     0x400007 "RGB Image": ("downlink-player" ...)  1280x1024+0+0  +0+0`.
std::optional<std::string> IdOfLineNamed(const std::string& line, const std::string& name) {
    const std::string quoted = " \"" + name + "\":";
    const size_t at = line.find(quoted);
    if (at == std::string::npos) return std::nullopt;
    std::istringstream words(line.substr(0, at));
    std::string id;
    words >> id;
    return id;
}

bool OwnedBy(const std::string& windowId, pid_t pid) {
    const std::string answer = Run("xprop -id " + windowId + " _NET_WM_PID 2>/dev/null");
    const size_t equals = answer.find('=');
    return equals != std::string::npos && std::atol(answer.c_str() + equals + 1) == pid;
}

}  // namespace

std::vector<std::string> WindowsNamed(const std::string& name, pid_t pid) {
    std::vector<std::string> ids;
    std::istringstream tree(Run("xwininfo -root -tree 2>/dev/null"));
    std::string line;
    while (std::getline(tree, line)) {
        const auto id = IdOfLineNamed(line, name);
        if (id && OwnedBy(*id, pid)) ids.push_back(*id);
    }
    return ids;
}

std::optional<Image> Screenshot(const std::string& windowId) {
    char path[] = "/tmp/dlp-shot-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return std::nullopt;
    close(fd);
    Run("import -window " + windowId + " -depth 8 ppm:" + path + " 2>/dev/null");
    const std::string ppm = test_player::ReadFile(path);
    unlink(path);

    Image image;
    std::istringstream header(ppm);
    std::string magic;
    int maxValue = 0;
    header >> magic >> image.width >> image.height >> maxValue;
    if (magic != "P6" || maxValue != 255 || image.width <= 0 || image.height <= 0) return std::nullopt;
    const size_t start = static_cast<size_t>(header.tellg()) + 1;  // one blank ends the header
    const size_t size = size_t(image.width) * image.height * 3;
    if (ppm.size() < start + size) return std::nullopt;
    image.rgb.assign(ppm.begin() + start, ppm.begin() + start + size);
    return image;
}

}  // namespace test_x
