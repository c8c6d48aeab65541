#pragma once
// A broken invariant must stop the fuzzer at the spot, with a stack trace:
// the sanitizers report the trap like any other fault.

#include <cstdio>

#define FUZZ_INVARIANT(condition)                                                    \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__, \
                         __LINE__);                                                  \
            __builtin_trap();                                                        \
        }                                                                            \
    } while (0)
