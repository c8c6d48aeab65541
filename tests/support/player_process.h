#pragma once
// The built player run as a user runs it: in a working folder of its own
// that holds the recording at the fixed relative path, with its error stream
// kept in a file beside it and its console in a file or in a pipe that is
// read only when the test reads it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <csignal>
#include <optional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>

namespace test_player {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

constexpr char kRecordingPath[] = "E:/Morrigat/Vessik/Quillmar/1080vi1.dat";
// A stop takes well under a second; this is room for sanitizers, not a
// measure, so that a hang is reported long before the test's own timeout.
constexpr std::chrono::milliseconds kStopBound{60000};

// A fresh temporary folder, removed with everything in it.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string RecordingPath() const;
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

using ConsoleLines = std::vector<std::string>;

// A wait's bound counted from the last sign of progress rather than from
// its start, so that a process slowed by a sanitizer on a busy machine is
// given the time it needs while one that hangs is still found after
// `bound`. Ten bounds in all is the last resort against one that spins.
class ProgressDeadline {
public:
    // `progress` only grows while there is progress: bytes written, CPU
    // time used, pictures shown.
    ProgressDeadline(std::function<uint64_t()> progress, milliseconds bound);
    // True once `bound` has passed without progress, or the last resort.
    bool Passed();

    static constexpr int kLastResortBounds = 10;

private:
    std::function<uint64_t()> progress_;
    milliseconds bound_;
    uint64_t lastProgress_;
    std::chrono::steady_clock::time_point moved_;
    std::chrono::steady_clock::time_point lastResort_;
};

struct PlayerOptions {
    Display display = Display::kInherited;
    // Put before the player's path, for example a valgrind command line.
    std::vector<std::string> wrapper;
    // Put after the player's path: a launcher's command line.
    std::vector<std::string> arguments;
    // Extra "NAME=value" entries for the player's environment.
    std::vector<std::string> environment;
    // The console in a pipe rather than a file: a player writing to it waits
    // whenever the test has not read what came before.
    bool consolePipe = false;
    // The pipe's capacity; 0 keeps the system's default. A small one makes
    // the console push back early.
    int consolePipeCapacity = 0;
};

class PlayerProcess {
public:
    PlayerProcess(const std::string& program, const WorkFolder& folder, Display display);
    PlayerProcess(const std::string& program, const WorkFolder& folder, const PlayerOptions& options);
    ~PlayerProcess();  // kills a player still running
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // With a console pipe: what has been read from it, after reading what
    // is there now.
    std::string Stdout() const;
    // The console's complete lines.
    ConsoleLines Lines() const;
    std::string Stderr() const;
    // The waits below are bounded by the process's progress: `bound` (or
    // `limit`) counts from the last byte it wrote to either stream or the
    // last CPU time it used, never more than ten times over in all.

    // Waits until the stream holds `text`.
    bool WaitForStdout(const std::string& text, milliseconds bound) const;
    bool WaitForStderr(const std::string& text, milliseconds bound) const;

    // Waits until the player has handlers for both signals
    // (SigCgt in /proc): only then does a signal reach its own handling.
    bool WaitUntilCatching(int signal1, int signal2, milliseconds bound) const;

    bool Running();
    void Signal(int signal) const;
    // The exit code, or nothing when the player has not exited normally
    // within `bound` (still running, or ended by a signal).
    std::optional<int> WaitForExit(milliseconds bound);
    bool EndedBySignal() const;

    // Reads the console until `done` holds for its lines, the player ends, or
    // `limit` has passed (a safeguard against a hung player, not a measure
    // of speed). Returns whether `done` held.
    bool ReadUntil(const std::function<bool(const ConsoleLines&)>& done, milliseconds limit);
    // SIGTERM (or `signal`), then waits for the player, reading its console
    // meanwhile so that its last lines do not hold it up: its exit status,
    // or 128 + the signal that ended it. A player still running after
    // `bound` fails the test with every thread's stack (its own and its
    // children's) and is killed.
    int Stop(milliseconds bound = kStopBound) { return StopWith(SIGTERM, bound); }
    int StopWith(int signal, milliseconds bound = kStopBound);
    // A bound counted from the process's last output or CPU time, for a
    // test's own waits on what the process shows.
    ProgressDeadline Deadline(milliseconds bound) const;

private:
    bool WaitForText(const std::function<std::string()>& read, const std::string& text,
                     milliseconds bound) const;
    bool ReadConsolePipe(int timeoutMs) const;
    int KillHung(int signal, milliseconds bound);

    std::string stdoutPath_;
    std::string stderrPath_;
    pid_t pid_;
    bool reaped_;
    int status_;
    int consoleFd_ = -1;
    mutable std::string consoleRead_;
};

std::string ReadFile(const std::string& path);

}  // namespace test_player
