#pragma once
// The exit statuses of export-recording; --help lists them.

namespace export_status {
constexpr int kOk = 0;
constexpr int kUsage = 1;         // bad option, unknown extension, no output
constexpr int kUnreadable = 2;    // the recording cannot be opened or read
constexpr int kWriteFailed = 3;   // an output cannot be created or written
constexpr int kNoPicture = 4;     // the player would show no picture
constexpr int kUnsupported = 5;   // a format cannot hold the recording (size change)
}  // namespace export_status
