// make-recording and inspect-recording run as a user runs them, in a
// temporary folder, with real files.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/tools/support/tool_folder.h"
#include "lib/formats/telemetry_track.h"

namespace fs = std::filesystem;

namespace {

class ToolsCommandLine : public ToolFolderTest {};

}  // namespace

TEST_F(ToolsCommandLine, HelpDescribesEveryImpairmentAndExitsZero) {
    const ToolRun make = Execute(MAKE_RECORDING, "--help");
    EXPECT_EQ(make.status, 0);
    for (const char* option : {"--output", "--input", "--size", "--frames", "--fps", "--telemetry", "--seed",
                               "--noise", "--drop-rate", "--invalid-length-rate", "--jump-rate",
                               "--repeat-rate", "--bit-flip-rate", "--truncate", "--pad-rate"}) {
        EXPECT_NE(make.out.find(option), std::string::npos) << option;
    }
    const ToolRun inspect = Execute(INSPECT_RECORDING, "--help");
    EXPECT_EQ(inspect.status, 0);
    for (const char* option : {"--csv", "--decode"}) EXPECT_NE(inspect.out.find(option), std::string::npos);
    const ToolRun exported = Execute(EXPORT_RECORDING, "--help");
    EXPECT_EQ(exported.status, 0);
    for (const char* option : {"--output", "--fps", "--start-time", "--from", "--to", "1:23.5", "key picture"}) {
        EXPECT_NE(exported.out.find(option), std::string::npos) << option;
    }
}

TEST_F(ToolsCommandLine, BadUsageIsRefusedWithAReason) {
    const struct {
        const char* program;
        const char* args;
        int status;
        const char* says;
    } cases[] = {
        {MAKE_RECORDING, "--frames 5", 1, "--output FILE is required"},
        {MAKE_RECORDING, "-o x.dat --frames 0", 1, "invalid value '0' for --frames"},
        {MAKE_RECORDING, "-o x.dat --size 100x", 1, "invalid value '100x' for --size"},
        {MAKE_RECORDING, "-o x.dat --drop-rate 1.5", 1, "a probability from 0 to 1"},
        {MAKE_RECORDING, "-o x.dat --payload-size 481", 1, "from 1 to 480"},
        {MAKE_RECORDING, "-o x.dat --colour red", 1, "unknown option '--colour'"},
        {MAKE_RECORDING, "-o x.dat --input missing.h265", 2, "cannot open missing.h265"},
        {MAKE_RECORDING, "-o x.dat --input track.csv", 2, "no H.265 pictures found"},
        {MAKE_RECORDING, "-o x.dat -s 64x64 -n 3 --telemetry short.csv", 2,
         "2 telemetry rows for 3 pictures"},
        {MAKE_RECORDING, "-o x.dat -s 64x64 -n 2 --telemetry far.csv", 2, "telemetry row 2: latitude 300"},
        {INSPECT_RECORDING, "", 1, "expected one recording FILE"},
        {INSPECT_RECORDING, "missing.dat", 2, "cannot open missing.dat"},
        {INSPECT_RECORDING, "track.csv", 3,
         "track.csv: not a downlink recording: no valid link frame (sync bytes EB 90) in its first megabyte\n"},
    };
    Write("track.csv", "1,90,116,39,100\n");
    Write("short.csv", "1,90,116,39,100\n2,90,116,39,100\n");
    Write("far.csv", "1,90,116,39,100\n2,90,116,300,100\n");
    for (const auto& c : cases) {
        const ToolRun r = Execute(c.program, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(Path("x.dat")));
}

// A user's session: a track of their own in, the same values out of the
// inspector, every picture decoded.
TEST_F(ToolsCommandLine, MadeRecordingInspectsToTheTrackAndPicturesPutIn) {
    Write("track.csv",
          "azimuth,pitch,longitude,latitude,height\n"
          "10.5,80,116.391,39.9042,1500\n-45,95.5,116.392,39.9043,1500.5\n"
          "179.9,-10,-70.6693,-33.4489,12\n0,90,0,0,-5\n");
    const ToolRun make =
        Execute(MAKE_RECORDING, "-o rec.dat -s 320x240 -n 4 -t track.csv --es-output rec.es");
    ASSERT_EQ(make.status, 0) << make.err;

    const ToolRun csv = Execute(INSPECT_RECORDING, "--csv rec.dat");
    ASSERT_EQ(csv.status, 0) << csv.err;
    std::istringstream track(Slurp(Path("track.csv")));
    std::vector<TelemetrySample> samples;
    std::string error;
    ASSERT_TRUE(ParseTelemetryCsv(track, samples, error));
    std::string expected = std::string(kTelemetryCsvHeader) + "\n";
    for (size_t i = 0; i < samples.size(); ++i) {
        TelemetryRecord record;
        ASSERT_TRUE(EncodeRecord(samples[i], record, error));
        expected += TelemetryCsvRow(static_cast<int>(i + 1), record) + "\n";
    }
    EXPECT_EQ(csv.out, expected);
    EXPECT_NE(csv.out.find("\n3,179.898,-9.99908,-70.6693,-33.4489,12\n"), std::string::npos) << csv.out;

    const ToolRun summary = Execute(INSPECT_RECORDING, "--decode rec.dat");
    ASSERT_EQ(summary.status, 0) << summary.err;
    EXPECT_NE(summary.out.find("telemetry records: 4\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("pictures:         4 (320x240)\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("sequence breaks:  0\n"), std::string::npos);

    // The inspector's CSV is itself a track that makes the same recording.
    Write("again.csv", csv.out);
    const ToolRun again =
        Execute(MAKE_RECORDING, "-o again.dat --input rec.es -t again.csv --es-output again.es");
    ASSERT_EQ(again.status, 0);
    EXPECT_NE(again.err.find("4 telemetry units already in rec.es are replaced"), std::string::npos)
        << again.err;
    EXPECT_EQ(Execute(INSPECT_RECORDING, "--csv again.dat").out, csv.out);
    EXPECT_EQ(Slurp(Path("again.es")), Slurp(Path("rec.es")));
}

// A user who points the inspector at an export, or at a recording, is told
// which it is in the summary's last line, in downlink-play's words.
TEST_F(ToolsCommandLine, SummaryEndsWithTheVerdictOnTheFile) {
    ASSERT_EQ(Execute(MAKE_RECORDING, "-o rec.dat -s 64x64 -n 3").status, 0);
    const ToolRun exported = Execute(EXPORT_RECORDING, "rec.dat --output a.ts --output a.mp4 --output a.mkv");
    ASSERT_EQ(exported.status, 0) << exported.err;
    // Noise in front of the first frame, as a receiver that joined late records it.
    std::string late(900000, '\x11');
    late += Slurp(Path("rec.dat"));
    std::ofstream(Path("late.dat"), std::ios::binary) << late;
    const struct {
        const char* file;
        int status;
        const char* verdict;
    } cases[] = {
        {"rec.dat", 0, "a downlink recording (valid link frames in its first megabyte)"},
        {"late.dat", 0, "a downlink recording (valid link frames in its first megabyte)"},
        {"a.ts", 3, "not a downlink recording: "},
        {"a.mp4", 3, "not a downlink recording: no valid link frame (sync bytes EB 90) in its first megabyte; "
                     "it looks like an MP4 file ('ftyp' at byte 4)"},
        {"a.mkv", 3, "not a downlink recording: no valid link frame (sync bytes EB 90) in its first megabyte; "
                     "it looks like a Matroska file (1A 45 DF A3 at its start)"},
    };
    for (const auto& c : cases) {
        const ToolRun r = Execute(INSPECT_RECORDING, c.file);
        EXPECT_EQ(r.status, c.status) << c.file << ": " << r.err;
        const size_t at = r.out.rfind("\nverdict:          ");
        ASSERT_NE(at, std::string::npos) << r.out;
        EXPECT_EQ(r.out.substr(at + 19).rfind(c.verdict, 0), 0u) << r.out;
        EXPECT_EQ(r.out.back(), '\n');
        EXPECT_EQ(r.out.find('\n', at + 1), r.out.size() - 1) << "the verdict ends the summary";
    }
    EXPECT_NE(Execute(INSPECT_RECORDING, "a.ts").out.find("an MPEG-TS file (0x47 every 188 bytes)\n"),
              std::string::npos);
}

TEST_F(ToolsCommandLine, ImpairmentsReportedByTheMakerAreFoundByTheInspector) {
    const ToolRun make =
        Execute(MAKE_RECORDING,
                "-o bad.dat -s 320x240 -n 10 --payload-size 100 --seed 7 --invalid-length-rate 0.1 "
                "--jump-rate 0.05 --noise 30");
    ASSERT_EQ(make.status, 0) << make.err;
    unsigned long long dropped, invalid, jumps, repeats, flips, noise, breaks;
    const size_t at = make.err.find("impairments:");
    ASSERT_NE(at, std::string::npos) << make.err;
    ASSERT_EQ(std::sscanf(
                  make.err.c_str() + at,
                  "impairments: %llu dropped, %llu invalid length, %llu jumps, %llu repeats, %llu bit flips, "
                  "%llu noise bytes; the receiver counts %llu sequence breaks",
                  &dropped, &invalid, &jumps, &repeats, &flips, &noise, &breaks),
              7);
    EXPECT_GT(invalid, 0u);
    EXPECT_GT(noise, 0u);
    const ToolRun inspect = Execute(INSPECT_RECORDING, "bad.dat");
    ASSERT_EQ(inspect.status, 0);
    EXPECT_NE(inspect.out.find("invalid frames:   " + std::to_string(invalid) + " "), std::string::npos)
        << inspect.out;
    EXPECT_NE(inspect.out.find("sequence breaks:  " + std::to_string(breaks) + "\n"), std::string::npos);
    EXPECT_EQ(breaks, jumps);
}

// The decoder's complaints are counted in the summary, never written to
// standard error.
TEST_F(ToolsCommandLine, DecodedSummaryTellsSlicesWholePicturesAndDecoderErrors) {
    ASSERT_EQ(Execute(MAKE_RECORDING, "-o rec.dat -s 320x240 -n 6 --slices 4").status, 0);
    const ToolRun clean = Execute(INSPECT_RECORDING, "--decode rec.dat");
    EXPECT_NE(clean.out.find("pictures:         6 (320x240)\n  shown whole:    6  (no decoder error"),
              std::string::npos) << clean.out;
    EXPECT_NE(clean.out.find("\nslices per picture: 4 (6 pictures)\ndecoder errors:   none\n"),
              std::string::npos);

    const std::string flips = "-o bad.dat -s 320x240 -n 6 --slices 4 --seed 1 --bit-flip-rate 0.1";
    ASSERT_EQ(Execute(MAKE_RECORDING, flips).status, 0);
    const ToolRun damaged = Execute(INSPECT_RECORDING, "--decode bad.dat");
    EXPECT_EQ(damaged.err, "");
    EXPECT_EQ(damaged.out.find("decoder errors:   none"), std::string::npos) << damaged.out;
    EXPECT_NE(damaged.out.find(" x "), std::string::npos) << damaged.out;
}
