#pragma once
// A progress bar on standard error for reads that take more than a second:
// redrawn in place on a terminal, a line every 10 % otherwise.

#include <chrono>
#include <cstdint>
#include <cstdio>

class ProgressBar {
public:
    ProgressBar(uint64_t total, bool terminal, std::FILE* out = stderr);
    void Update(uint64_t done);
    // Ends the bar's line, if it drew one.
    void Finish();

private:
    void Draw(uint64_t done, double elapsed);

    using Clock = std::chrono::steady_clock;
    uint64_t total_;
    bool terminal_;
    std::FILE* out_;
    Clock::time_point start_ = Clock::now();
    double lastDraw_ = -1;
    int lastTenth_ = -1;
    bool drawn_ = false;
};
