#pragma once
// Runs the built player as a user would: a fresh working folder holding the
// recording at the player's fixed input path, the console read line by line,
// and an orderly stop with SIGTERM at the end.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/robustness/support/hevc_pictures.h"

struct SessionOptions {
    // Put before the player's path, for example a valgrind command line.
    std::vector<std::string> wrapper;
    // Extra "NAME=value" entries for the player's environment.
    std::vector<std::string> environment;
    // Capacity of the pipe behind the player's standard output; 0 keeps the
    // system's default. A small one makes the console push back early.
    int stdoutPipeCapacity = 0;
};

using ConsoleLines = std::vector<std::string>;

class PlayerSession {
public:
    explicit PlayerSession(const Bytes& recording, SessionOptions options = {});
    ~PlayerSession();
    PlayerSession(const PlayerSession&) = delete;
    PlayerSession& operator=(const PlayerSession&) = delete;

    void Start();
    // Reads the console until `done` holds for the lines read so far, the
    // player ends, or `limit` has passed (a safeguard against a hung player,
    // not a measure of speed). Returns whether `done` held.
    bool ReadUntil(const std::function<bool(const ConsoleLines&)>& done,
                   std::chrono::seconds limit);
    bool StillRunning();
    // SIGTERM, then waits for the player: its exit status, or 128 + the
    // signal that ended it.
    int Stop();

    const ConsoleLines& Lines() const { return lines_; }
    std::string Errors() const;
    std::string RecordingPath() const;
    pid_t Pid() const { return pid_; }

private:
    void ReadAvailable(int timeoutMs);

    SessionOptions options_;
    std::string folder_;
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::string partial_;
    ConsoleLines lines_;
};

// The shapes a console line of the player may take: a telemetry line, the
// splitter's one diagnostic, the replay's completion line, the conversion's
// message.
bool IsWellFormedConsoleLine(const std::string& line);
bool IsTelemetryLine(const std::string& line);
bool IsCompletionLine(const std::string& line);
// The marker a test stream put into the record's height field, from the
// line's "H:" value; -1 when the line carries none.
int MarkerOf(const std::string& line);
// Telemetry lines whose marker lies in [first, last].
int CountMarkers(const ConsoleLines& lines, int first, int last);
