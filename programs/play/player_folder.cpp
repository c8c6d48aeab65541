#include "programs/play/player_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/input_path.h"

namespace launcher {

namespace fs = std::filesystem;

namespace {

fs::path TemporaryBase() {
    const char* tmpdir = std::getenv("TMPDIR");
    return (tmpdir != nullptr && tmpdir[0] != '\0') ? fs::path(tmpdir) : fs::path("/tmp");
}

}  // namespace

PlayerFolder::~PlayerFolder() {
    if (path_.empty()) return;
    // remove_all takes a symbolic link away without following it.
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

bool PlayerFolder::Prepare(const std::string& recording, std::string& error) {
    std::string pattern = (TemporaryBase() / "downlink-play-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a temporary folder in " + TemporaryBase().string() + ": " + std::strerror(errno);
        return false;
    }
    path_ = pattern;
    std::error_code failure;
    // Made absolute here, since the player runs in another folder.
    const fs::path target = fs::absolute(recording, failure);
    const fs::path link = fs::path(path_) / kFixedInputPath;
    if (!failure) fs::create_directories(link.parent_path(), failure);
    if (!failure) fs::create_symlink(target, link, failure);
    if (failure) error = "cannot link the recording in " + path_ + ": " + failure.message();
    return !failure;
}

}  // namespace launcher
