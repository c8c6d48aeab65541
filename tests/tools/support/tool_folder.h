#pragma once
// The tools run as a user runs them: in a private folder of the test's own,
// standard output and standard error caught in files there. Also the flight
// track the tools' tests give their recordings.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/format/telemetry_record.h"
#include "lib/formats/telemetry_track.h"

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class ToolFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/dlp-tools-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    ToolRun Execute(const std::string& program, const std::string& args) const {
        const std::string command =
            "cd '" + dir_.string() + "' && '" + program + "' " + args + " >stdout.txt 2>stderr.txt";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(Path("stdout.txt")), Slurp(Path("stderr.txt"))};
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void Write(const std::string& name, const std::string& text) const { std::ofstream(Path(name)) << text; }

    std::filesystem::path dir_;
};

// Records of make-recording's generated flight path, one per picture.
inline std::vector<TelemetryRecord> FlightTrack(size_t count) {
    std::vector<TelemetryRecord> records(count);
    const std::vector<TelemetrySample> path = GenerateFlightPath(static_cast<int>(count));
    std::string error;
    for (size_t i = 0; i < count; ++i) EXPECT_TRUE(EncodeRecord(path[i], records[i], error)) << error;
    return records;
}
