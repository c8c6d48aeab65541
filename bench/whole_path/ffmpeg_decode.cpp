#include "bench/whole_path/ffmpeg_decode.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sys/wait.h>

namespace {

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string DecodeCommand(const std::string& path, int threads) {
    std::string command = "ffmpeg -hide_banner -nostdin -nostats -benchmark";
    if (threads > 0) command += " -threads " + std::to_string(threads);
    command += " -f hevc -i " + ShellQuoted(path) + " -pix_fmt rgb24 -f null - 2>&1";
    return command;
}

bool RunCapturing(const std::string& command, std::string& output) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    char block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, pipe)) > 0) output.append(block, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// With -nostats the summary still ends with the final "frame=" count, and
// -benchmark adds "bench: utime=..s stime=..s rtime=..s".
void ParseSummary(const std::string& output, FfmpegRun& run) {
    std::smatch match;
    const std::regex frames(R"(frame=\s*(\d+))");
    for (auto it = std::sregex_iterator(output.begin(), output.end(), frames);
         it != std::sregex_iterator(); ++it) {
        run.pictures = std::atol((*it)[1].str().c_str());
    }
    const std::regex times(R"(utime=([0-9.]+)s stime=([0-9.]+)s rtime=([0-9.]+)s)");
    if (std::regex_search(output, match, times)) {
        run.cpuSeconds = std::atof(match[1].str().c_str()) + std::atof(match[2].str().c_str());
        run.seconds = std::atof(match[3].str().c_str());
    }
}

}  // namespace

FfmpegRun RunFfmpegDecode(const std::string& elementaryStreamPath, int threads) {
    FfmpegRun run;
    std::string output;
    const auto start = std::chrono::steady_clock::now();
    const bool exited = RunCapturing(DecodeCommand(elementaryStreamPath, threads), output);
    run.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ParseSummary(output, run);
    run.ok = exited && run.pictures > 0 && run.seconds > 0;
    if (!run.ok) run.error = output.size() > 400 ? output.substr(output.size() - 400) : output;
    return run;
}
