#include "bench/micro/recorded_input.h"

#include <cstdio>
#include <cstdlib>
#include <string>

const BenchInput& RecordedInput() {
    static const BenchInput input = [] {
        BenchInput made;
        std::string error;
        if (!LoadOrMakeInput(kBenchWidth, kBenchHeight, kBenchPictures, made, error)) {
            std::fprintf(stderr, "no benchmark input: %s\n", error.c_str());
            std::exit(1);
        }
        return made;
    }();
    return input;
}
