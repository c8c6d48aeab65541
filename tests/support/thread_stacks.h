#pragma once
// What a hung process is doing: every thread's stack, from gdb, of it and of
// every process it started (a launcher's player, valgrind's guest).

#include <string>
#include <sys/types.h>

namespace test_player {

// gdb's "thread apply all bt" for `pid` and its descendants, or gdb's own
// words when it cannot attach.
std::string ThreadStacks(pid_t pid);

}  // namespace test_player
