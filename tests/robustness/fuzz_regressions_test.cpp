// Replays, through the fuzz targets' own harness code, every input that once
// made a target fail, the kept corpus the campaigns grew, and the seed inputs
// the fuzz run starts from.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/seeds/fuzz_seeds.h"

namespace fs = std::filesystem;

namespace {

using Harness = int (*)(const uint8_t*, size_t);

const std::string kTargets[] = {"link_parser", "nal_splitter",   "nal_overflow",  "unit_path",
                               "recording_reader", "export_path", "stream_session", "picture_seeker"};

Harness HarnessFor(const std::string& target) {
    if (target == "link_parser") return RunLinkParserInput;
    if (target == "nal_splitter") return RunNalSplitterInput;
    if (target == "nal_overflow") return RunNalOverflowInput;
    if (target == "recording_reader") return RunRecordingReaderInput;
    if (target == "export_path") return RunExportPathInput;
    if (target == "stream_session") return RunStreamSessionInput;
    if (target == "picture_seeker") return RunPictureSeekerInput;
    return RunUnitPathInput;
}

// The decoder and the reader's fresh 16 MB per input make these two slow
// outside the fuzzer; a fixed, spread-out subset keeps the suite well under
// a minute while every other target replays its whole corpus.
size_t CorpusReplayLimit(const std::string& target) {
    if (target == "unit_path") return 400;
    if (target == "recording_reader") return 400;
    if (target == "stream_session") return 400;
    if (target == "picture_seeker") return 400;
    return SIZE_MAX;
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code missing;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, missing)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every n-th file, so that a subset still spans the whole corpus.
std::vector<fs::path> Spread(const std::vector<fs::path>& files, size_t limit) {
    if (files.size() <= limit) return files;
    std::vector<fs::path> picked;
    for (size_t i = 0; i < limit; ++i) picked.push_back(files[i * files.size() / limit]);
    return picked;
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

TEST_P(FuzzRegressions, KeptCorpusRunsClean) {
    const std::vector<fs::path> files = FilesIn(fs::path(DLP_FUZZ_CORPUS_DIR) / GetParam());
    // The campaigns keep a corpus for every target; an empty folder means the
    // corpus was lost, and CI would start from the seeds alone again.
    ASSERT_FALSE(files.empty()) << "no kept corpus for " << GetParam();
    const std::vector<fs::path> replayed = Spread(files, CorpusReplayLimit(GetParam()));
    for (const fs::path& file : replayed) {
        SCOPED_TRACE(file.string());
        const Bytes input = ReadFile(file);
        EXPECT_EQ(HarnessFor(GetParam())(input.data(), input.size()), 0);
    }
    RecordProperty("replayed", static_cast<int>(replayed.size()));
}

TEST(FuzzCorpusSubset, SpreadsOverTheWholeCorpus) {
    std::vector<fs::path> files;
    for (int i = 0; i < 10; ++i) files.push_back("f" + std::to_string(i));
    EXPECT_EQ(Spread(files, 20), files);
    const std::vector<fs::path> picked = Spread(files, 4);
    ASSERT_EQ(picked.size(), 4u);
    EXPECT_EQ(picked.front(), "f0");
    EXPECT_EQ(picked.back(), "f7");
    EXPECT_TRUE(std::is_sorted(picked.begin(), picked.end()));
    EXPECT_EQ(std::adjacent_find(picked.begin(), picked.end()), picked.end());
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

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegressions, testing::ValuesIn(kTargets));

}  // namespace
