#include "tests/support/thread_stacks.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "tests/support/player_process.h"

namespace test_player {

namespace {

// gdb itself is bounded: a hang report must not hang too.
constexpr int kGdbSeconds = 60;

std::vector<pid_t> WithDescendants(pid_t pid) {
    std::vector<pid_t> all{pid};
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string id = std::to_string(all[i]);
        std::istringstream children(ReadFile("/proc/" + id + "/task/" + id + "/children"));
        for (pid_t child = 0; children >> child;) all.push_back(child);
    }
    return all;
}

std::string Run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run: " + command + "\n";
    char buffer[4096];
    for (size_t n = 0; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

}  // namespace

std::string ThreadStacks(pid_t pid) {
    std::string stacks;
    for (pid_t each : WithDescendants(pid)) {
        const std::string id = std::to_string(each);
        stacks += "---- process " + id + ": " + ReadFile("/proc/" + id + "/cmdline").c_str() + "\n";
        stacks += Run("timeout " + std::to_string(kGdbSeconds) + " gdb -nx -batch -p " + id +
                      " -ex 'thread apply all bt' 2>&1 </dev/null");
    }
    return stacks;
}

}  // namespace test_player
