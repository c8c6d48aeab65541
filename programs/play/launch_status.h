#pragma once
// downlink-play's own exit statuses; otherwise it exits with the player's.

namespace launcher {

constexpr int kUsageStatus = 1;
constexpr int kUnreadableStatus = 2;
constexpr int kCannotStartStatus = 126;  // as a shell says of a program it cannot run
constexpr int kSignalStatusBase = 128;   // plus the signal that ended the player, as a shell says

}  // namespace launcher
