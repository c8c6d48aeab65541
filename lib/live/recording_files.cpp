#include "lib/live/recording_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/cli/reason_text.h"

namespace live {

namespace {

std::string SystemReason(const std::string& path) { return path + ": " + AsReason(std::strerror(errno)); }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ExistingProblem(const std::string& path, const struct stat& info, bool force) {
    if (S_ISDIR(info.st_mode)) return path + " is a folder";
    if (!force) return path + " already exists (--force overwrites it)";
    return access(path.c_str(), W_OK) == 0 ? std::string() : SystemReason(path);
}

std::string FolderProblem(const std::string& path) {
    const std::string folder = FolderOf(path);
    struct stat info = {};
    if (stat(folder.c_str(), &info) != 0) {
        return errno == ENOENT ? path + ": its folder " + folder + " does not exist" : SystemReason(folder);
    }
    if (!S_ISDIR(info.st_mode)) return path + ": " + folder + " is not a folder";
    return access(folder.c_str(), W_OK | X_OK) == 0 ? std::string() : SystemReason(folder);
}

}  // namespace

std::string SplitFileName(const std::string& path, unsigned n) {
    char number[16];
    std::snprintf(number, sizeof number, "-%04u", n);
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= nameStart) return path + number;
    return path.substr(0, dot) + number + path.substr(dot);
}

std::string RecordingPathProblem(const std::string& path, bool force) {
    struct stat info = {};
    if (stat(path.c_str(), &info) == 0) return ExistingProblem(path, info, force);
    if (errno != ENOENT) return SystemReason(path);
    return FolderProblem(path);
}

}  // namespace live
