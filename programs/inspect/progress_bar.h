#pragma once
// A progress bar on standard error for reads that take more than a second:
// redrawn in place on a terminal, a line every 10 % otherwise. A file read
// twice can have a bar for each pass (Begin), one after the other on a
// terminal's line.

#include <chrono>
#include <cstdint>
#include <cstdio>

class ProgressBar {
public:
    ProgressBar(uint64_t total, bool terminal, std::FILE* out = stderr);
    // A pass over the file starts: its bar is labelled `label` ("reading"
    // until told otherwise) and starts from 0.
    void Begin(const char* label);
    void Update(uint64_t done);
    // Ends the bar's line, if it drew one.
    void Finish();

private:
    void Draw(uint64_t done, double elapsed);

    using Clock = std::chrono::steady_clock;
    uint64_t total_;
    bool terminal_;
    std::FILE* out_;
    const char* label_ = "reading";
    Clock::time_point start_ = Clock::now();
    Clock::time_point passStart_ = start_;
    double lastDraw_ = -1;
    int lastTenth_ = -1;
    bool drawn_ = false;
};
