#pragma once
// Standard error shared by the status line and the program's messages, and
// standard output's telemetry lines. On a terminal the status line is
// rewritten in place; a message first ends it, and a telemetry line first
// clears it and then draws it again below, so that nothing is torn or
// overwritten when both streams show on one terminal. Any thread may call.

#include <cstddef>
#include <mutex>
#include <string>

namespace live {

class Console {
public:
    explicit Console(bool statusInPlace);
    // Ends a status line left open on the terminal.
    ~Console();
    void Message(const std::string& text);
    void Status(const std::string& text);
    // One telemetry line, newline included, to standard output.
    void Line(const char* text, size_t length);

private:
    std::mutex lock_;
    bool inPlace_;
    bool statusOpen_ = false;
    std::string status_;
};

}  // namespace live
