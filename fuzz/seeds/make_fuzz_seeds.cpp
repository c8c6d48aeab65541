// make_fuzz_seeds <folder>: writes <folder>/<target>/seed-N for each target.

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fuzz/seeds/fuzz_seeds.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds <folder>\n");
        return 2;
    }
    for (const SeedSet& set : MakeFuzzSeeds()) {
        const std::filesystem::path folder = std::filesystem::path(argv[1]) / set.target;
        std::filesystem::create_directories(folder);
        for (size_t i = 0; i < set.inputs.size(); ++i) {
            std::ofstream out(folder / ("seed-" + std::to_string(i)), std::ios::binary);
            out.write(reinterpret_cast<const char*>(set.inputs[i].data()),
                      static_cast<std::streamsize>(set.inputs[i].size()));
        }
    }
    return 0;
}
