// Replays, through the fuzz targets' own harness code, every input that once
// made a target fail, and the seed inputs the fuzz run starts from.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/seeds/fuzz_seeds.h"

namespace fs = std::filesystem;

namespace {

using Harness = int (*)(const uint8_t*, size_t);

Harness HarnessFor(const std::string& target) {
    if (target == "link_parser") return RunLinkParserInput;
    if (target == "nal_splitter") return RunNalSplitterInput;
    return RunUnitPathInput;
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class FuzzRegressions : public testing::TestWithParam<std::string> {};

TEST_P(FuzzRegressions, EveryKeptFindingRunsClean) {
    // A target that never failed has no folder.
    const fs::path folder = fs::path(DLP_FUZZ_REGRESSIONS_DIR) / GetParam();
    int replayed = 0;
    std::error_code missing;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, missing)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().string());
        const Bytes input = ReadFile(entry.path());
        EXPECT_EQ(HarnessFor(GetParam())(input.data(), input.size()), 0);
        ++replayed;
    }
    RecordProperty("replayed", replayed);
}

TEST_P(FuzzRegressions, SeedInputsRunClean) {
    for (const SeedSet& set : MakeFuzzSeeds()) {
        if (set.target != GetParam()) continue;
        ASSERT_FALSE(set.inputs.empty());
        for (const Bytes& input : set.inputs) {
            EXPECT_EQ(HarnessFor(set.target)(input.data(), input.size()), 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegressions,
                         testing::Values("link_parser", "nal_splitter", "unit_path"));

}  // namespace
