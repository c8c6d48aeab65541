// inspect-recording: reads a downlink recording with the player's own
// pipeline code and reports what is in it.

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "lib/reading/recording_kind.h"
#include "core/format/replay_pace.h"
#include "project_version.h"
#include "programs/inspect/progress_bar.h"
#include "lib/cli/option_numbers.h"
#include "lib/reading/recording_reader.h"
#include "lib/reading/recording_summary.h"
#include "lib/report/picture_count.h"
#include "lib/report/report_collector.h"
#include "lib/report/report_page.h"

namespace {

constexpr int kUsageError = 1;
constexpr int kReadError = 2;
constexpr int kNoFrames = 3;

struct InspectOptions {
    std::string path;
    std::string esOutput;
    std::vector<std::string> reports;
    bool csv = false;
    bool decode = false;
    bool quiet = false;
    size_t chunkSize = replay_pace::kChunkBytes;
};

void PrintUsage(const char* program) {
    std::printf(
        "Usage: %s [options] FILE\n"
        "Reads a downlink recording with the player's own link parser, payload queue,\n"
        "start-code splitter, telemetry capture and (with --decode) HEVC decoder, as fast\n"
        "as it can and without a window, and prints what it found: link frames, NAL\n"
        "units by type, telemetry records, pictures and slices per picture.\n"
        "\n"
        "  -c, --csv             print the telemetry track as CSV instead of the summary:\n"
        "                        one row per record, the values as the player prints them\n"
        "  -d, --decode          decode every picture and count them, those shown whole\n"
        "                        (no decoder error while decoding them) and the decoder's\n"
        "                        error messages, by text, most frequent first; the\n"
        "                        decoder itself writes nothing to standard error\n"
        "      --chunk-size N    bytes handed to the link parser at a time (default %d)\n"
        "      --es-output FILE  write the rebuilt elementary stream (units handed over)\n"
        "      --report FILE     also draw a one-page report: link frames, damage and bit\n"
        "                        rate over link time, thumbnails, flight track; PNG, SVG\n"
        "                        or PDF by FILE's extension (repeat for several)\n"
        "  -q, --quiet           no progress on standard error\n"
        "  -h, --help            this text\n"
        "      --version         the version\n"
        "\n"
        "The summary ends with a verdict, in downlink-play's words: FILE is a downlink\n"
        "recording when the player's link parser finds a valid link frame in its first\n"
        "megabyte and it is no MPEG-TS, MP4 or Matroska file.\n"
        "\n"
        "Exit status: 0 for a downlink recording, 1 on a bad option, 2 when FILE cannot\n"
        "be read, 3 when FILE is not a downlink recording (no link frame at all, none\n"
        "valid in its first megabyte, or another format).\n",
        program, replay_pace::kChunkBytes);
}

enum { kChunk = 1000, kEsOut, kReport, kVersion };
const option kLongOptions[] = {
    {"csv", no_argument, nullptr, 'c'},
    {"decode", no_argument, nullptr, 'd'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"chunk-size", required_argument, nullptr, kChunk},
    {"es-output", required_argument, nullptr, kEsOut},
    {"report", required_argument, nullptr, kReport},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

bool ParseChunk(const char* text, size_t& value) {
    long long v = 0;
    if (!ParseInteger(text, 1, 1 << 20, v)) return false;
    value = static_cast<size_t>(v);
    return true;
}

// 0 to run, or the exit status.
int ParseOptions(int argc, char** argv, InspectOptions& o) {
    opterr = 0;
    int id = 0;
    while ((id = getopt_long(argc, argv, ":cdqh", kLongOptions, nullptr)) != -1) {
        switch (id) {
            case 'c': o.csv = true; break;
            case 'd': o.decode = true; break;
            case 'q': o.quiet = true; break;
            case 'h': PrintUsage(argv[0]); return -1;
            case kEsOut: o.esOutput = optarg; break;
            case kVersion: std::printf("inspect-recording %s\n", kProjectVersion); return -1;
            case kReport:
                if (IsReportPath(optarg)) {
                    o.reports.push_back(optarg);
                    break;
                }
                std::fprintf(stderr, "inspect-recording: --report %s: expected a .png, .svg or .pdf file\n",
                             optarg);
                return kUsageError;
            case kChunk:
                if (ParseChunk(optarg, o.chunkSize)) break;
                std::fprintf(
                    stderr, "inspect-recording: invalid value '%s' for --chunk-size: expected 1 to 1048576\n",
                    optarg);
                return kUsageError;
            case ':':
                std::fprintf(stderr, "inspect-recording: option '%s' needs a value\n", argv[optind - 1]);
                return kUsageError;
            default:
                std::fprintf(stderr, "inspect-recording: unknown option '%s'\nTry '%s --help'.\n",
                             argv[optind - 1], argv[0]);
                return kUsageError;
        }
    }
    if (argc - optind != 1) {
        std::fprintf(stderr, "inspect-recording: expected one recording FILE\nTry '%s --help'.\n", argv[0]);
        return kUsageError;
    }
    o.path = argv[optind];
    return 0;
}

// The size before reading lays out the report's bins; 0 when unknown.
uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// A pipe is read once: there is no first pass to count its pictures.
bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool WriteReports(const InspectOptions& o, const ReportCollector& collector, const RecordingReport& report) {
    const ReportFacts facts = collector.Facts(o.path, report, kProjectVersion);
    const ReportPage page{facts, collector.Timeline(), collector.Thumbnails()};
    for (const std::string& path : o.reports) {
        std::string error;
        if (!WriteReportPage(page, path, error)) {
            std::fprintf(stderr, "inspect-recording: %s\n", error.c_str());
            return false;
        }
    }
    return true;
}

int Run(const InspectOptions& o) {
    ReadOptions read;
    read.decode = o.decode;
    // Threads change nothing the summary or the page says (see ReadOptions).
    read.decoderThreads = 0;
    read.chunkSize = o.chunkSize;
    read.keepStream = !o.esOutput.empty();
    const uint64_t size = FileSize(o.path);
    ReportCollector collector(size, TimelineBinsFor(size));
    // The page alone keeps no per-picture lists, so that a long recording's
    // report takes bounded memory; the summary and the CSV need them.
    read.keepLists = o.reports.empty() || o.decode || o.csv;
    ProgressBar bar(size, isatty(STDERR_FILENO) != 0);
    if (!o.quiet) read.onProgress = [&bar](uint64_t done) { bar.Update(done); };
    std::string error;
    std::future<void> fonts;
    if (!o.reports.empty()) {
        // The thumbnails are planned from a count of the pictures, made on
        // a thread beside the read: the decoder's threads leave a core idle
        // part of the time, and the count, which decodes nothing, is done
        // long before the read needs it. A pipe, read once, is sampled as
        // it goes.
        if (IsRegularFile(o.path)) collector.PlanPictures(CountPicturesBeside(o.path, read));
        collector.Attach(read);
        // So is fontconfig's start, which the page would otherwise wait for.
        fonts = std::async(std::launch::async, LoadReportFonts);
    }
    RecordingReport report;
    const bool ok = ReadRecordingFile(o.path, read, report, error);
    collector.AwaitPlan();
    bar.Finish();
    if (!ok || (!o.esOutput.empty() && !WriteWholeFile(o.esOutput, report.elementaryStream, error))) {
        std::fprintf(stderr, "inspect-recording: %s\n", error.c_str());
        return kReadError;
    }
    // downlink-play's own verdict on the file, in its words; a pipe, read
    // once, has none.
    recording_kind::Look look;
    const bool looked = recording_kind::LookAtFile(o.path, look, error);
    if (o.csv) {
        WriteTelemetryCsv(std::cout, report);
    } else {
        WriteSummary(std::cout, o.path, report, o.decode);
        if (looked) std::cout << "verdict:          " << recording_kind::Verdict(look) << "\n";
    }
    std::cout.flush();
    if (fonts.valid()) fonts.wait();
    if (!o.reports.empty() && !WriteReports(o, collector, report)) return kReadError;
    if (looked && !recording_kind::IsRecording(look)) {
        std::fprintf(stderr, "inspect-recording: %s: %s\n", o.path.c_str(), recording_kind::Verdict(look).c_str());
        return kNoFrames;
    }
    if (report.linkFrames == 0) {
        std::fprintf(stderr, "inspect-recording: %s: no link frame found (not a recording?)\n",
                     o.path.c_str());
        return kNoFrames;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    InspectOptions options;
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed != 0) return parsed < 0 ? 0 : parsed;
    return Run(options);
}
