#pragma once
// Standard error shared by the status line and the program's messages. On a
// terminal the status line is rewritten in place; a message first ends it,
// so that no message is torn or overwritten. Any thread may call.

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

private:
    std::mutex lock_;
    bool inPlace_;
    bool statusOpen_ = false;
};

}  // namespace live
