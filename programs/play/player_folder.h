#pragma once

#include <string>

namespace launcher {

// A private temporary folder (under $TMPDIR, else /tmp) in which the
// player's fixed input path is a symbolic link to the recording, so that a
// large recording is not copied and a growing one is read as it grows.
// Removed with the destructor; the recording itself is never touched.
class PlayerFolder {
public:
    PlayerFolder() = default;
    ~PlayerFolder();
    PlayerFolder(const PlayerFolder&) = delete;
    PlayerFolder& operator=(const PlayerFolder&) = delete;

    // False, with the reason in `error`, when the folder or link cannot be made.
    bool Prepare(const std::string& recording, std::string& error);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace launcher
