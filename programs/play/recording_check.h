#pragma once

#include <string>

namespace launcher {

// Empty when the player can read `path` and it is a downlink recording (or
// a pipe, which cannot be looked at without taking its bytes); otherwise
// why not, in one line. Checked before the player starts, which would only
// replay a wrong file silently and then wait to be stopped.
std::string RecordingProblem(const std::string& path);

}  // namespace launcher
