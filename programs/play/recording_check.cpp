#include "programs/play/recording_check.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "lib/reading/recording_kind.h"

namespace launcher {

std::string RecordingProblem(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return "cannot open '" + path + "': " + std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "'" + path + "' is a folder, not a recording";
    // Reading is the only true test of reading. A pipe is let through
    // unread: what the launcher read of it would be lost to the player.
    recording_kind::Look look;
    std::string error;
    if (!recording_kind::LookAtFile(path, look, error)) return error;
    if (!recording_kind::IsRecording(look)) return "'" + path + "' is " + recording_kind::Verdict(look);
    return {};
}

}  // namespace launcher
