#include "app/launcher/recording_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace launcher {

std::string RecordingProblem(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return "cannot open '" + path + "': " + std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "'" + path + "' is a folder, not a recording";
    // Opening is the only true test of reading; O_NONBLOCK keeps a pipe
    // that has no writer yet from holding it up.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return "cannot read '" + path + "': " + std::strerror(errno);
    close(fd);
    return {};
}

}  // namespace launcher
