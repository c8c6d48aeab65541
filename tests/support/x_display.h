#pragma once
// The X display as a user's tools see it: which windows exist, and what they
// show. Used by the window tests under Xvfb.

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace test_x {

bool HaveDisplay();

// An Xvfb server of the test's own, so that no other test's windows cover
// the ones a screenshot looks at. While it lives, DISPLAY names it.
class PrivateServer {
public:
    PrivateServer();
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;
    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_;
    std::string previousDisplay_;
};

// Standard output of a shell command.
std::string Run(const std::string& command);

// Ids of the windows titled `name` whose owner process is `pid` (the
// _NET_WM_PID that Qt sets), from `xwininfo -root -tree`.
std::vector<std::string> WindowsNamed(const std::string& name, pid_t pid);

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // packed R, G, B rows
    const uint8_t* At(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

// What the window shows now, grabbed from the screen with ImageMagick's import.
std::optional<Image> Screenshot(const std::string& windowId);

}  // namespace test_x
