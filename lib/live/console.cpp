#include "lib/live/console.h"

#include <cstdio>

namespace live {

namespace {
constexpr char kProgram[] = "downlink-live: ";
}

Console::Console(bool statusInPlace) : inPlace_(statusInPlace) {}

Console::~Console() {
    std::lock_guard<std::mutex> hold(lock_);
    if (statusOpen_) std::fputs("\n", stderr);
}

void Console::Message(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    // One write per line: the pipeline's own messages go to the same stream.
    const std::string line = (statusOpen_ ? "\r\033[K" : "") + std::string(kProgram) + text + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    statusOpen_ = false;
}

void Console::Status(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    const std::string line = inPlace_ ? "\r" + text + "\033[K" : text + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    statusOpen_ = inPlace_;
    status_ = text;
}

void Console::Line(const char* text, size_t length) {
    std::lock_guard<std::mutex> hold(lock_);
    if (statusOpen_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
    if (statusOpen_) {
        std::fputs(("\r" + status_ + "\033[K").c_str(), stderr);
        std::fflush(stderr);
    }
}

}  // namespace live
