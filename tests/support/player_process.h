#pragma once
// The built player run as a user runs it: in a working folder of its own
// that holds the recording at the fixed relative path, with its two output
// streams kept in files beside it.

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>

namespace test_player {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

constexpr char kRecordingPath[] = "E:/Morrigat/Vessik/Quillmar/1080vi1.dat";

// A fresh temporary folder, removed with everything in it.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::string& Path() const { return path_; }
    void WriteRecording(const Bytes& bytes) const;

private:
    std::string path_;
};

enum class Display {
    kInherited,  // whatever the test runs under (Xvfb in the test command)
    kNone,       // no X display and no Qt platform chosen
};

inline void PrintTo(Display display, std::ostream* os) {
    *os << (display == Display::kNone ? "no display" : "the X display");
}

class PlayerProcess {
public:
    PlayerProcess(const std::string& program, const WorkFolder& folder, Display display);
    ~PlayerProcess();  // kills a player still running
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    pid_t Pid() const { return pid_; }
    std::string Stdout() const;
    std::string Stderr() const;
    // Waits, at most `bound`, until the stream holds `text`.
    bool WaitForStdout(const std::string& text, milliseconds bound) const;
    bool WaitForStderr(const std::string& text, milliseconds bound) const;

    // Waits, at most `bound`, until the player has handlers for both signals
    // (SigCgt in /proc): only then does a signal reach its own handling.
    bool WaitUntilCatching(int signal1, int signal2, milliseconds bound) const;

    bool Running();
    void Signal(int signal) const;
    // The exit code, or nothing when the player has not exited normally
    // within `bound` (still running, or ended by a signal).
    std::optional<int> WaitForExit(milliseconds bound);
    bool EndedBySignal() const;

private:
    bool WaitForText(const std::string& file, const std::string& text, milliseconds bound) const;

    std::string stdoutPath_;
    std::string stderrPath_;
    pid_t pid_;
    bool reaped_;
    int status_;
};

std::string ReadFile(const std::string& path);

}  // namespace test_player
