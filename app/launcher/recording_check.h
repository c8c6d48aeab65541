#pragma once

#include <string>

namespace launcher {

// Empty when the player can read `path`; otherwise why not, in one line.
// Checked before the player starts, which would only report an empty replay.
std::string RecordingProblem(const std::string& path);

}  // namespace launcher
