#pragma once
// A serial device as a raw byte source: no echo, no line editing, no
// translation of CR or LF, no flow-control characters eaten.

#include <string>

namespace live {

bool IsSupportedBaud(int baud);

// True for a character device that is a terminal line.
bool IsSerialDevice(const std::string& path);

// Opens `path` non-blocking in raw mode at `baud` (0 keeps the line's speed).
// Returns the descriptor, or -1 with `error` set.
int OpenSerialLine(const std::string& path, int baud, std::string& error);

}  // namespace live
