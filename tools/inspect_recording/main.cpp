// inspect-recording: reads a downlink recording with the player's own
// pipeline code and reports what is in it.

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "tools/inspect_recording/recording_summary.h"
#include "tools/recording/recording_reader.h"

namespace {

constexpr int kUsageError = 1;
constexpr int kReadError = 2;
constexpr int kNoFrames = 3;

struct InspectOptions {
    std::string path;
    std::string esOutput;
    bool csv = false;
    bool decode = false;
    bool quiet = false;
    size_t chunkSize = 10240;
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
        "      --chunk-size N    bytes handed to the link parser at a time (default 10240)\n"
        "      --es-output FILE  write the rebuilt elementary stream (units handed over)\n"
        "  -q, --quiet           no progress on standard error\n"
        "  -h, --help            this text\n"
        "\n"
        "Exit status: 0 when link frames were found, 1 on a bad option, 2 when FILE cannot\n"
        "be read, 3 when FILE holds no link frame.\n",
        program);
}

enum { kChunk = 1000, kEsOut };
const option kLongOptions[] = {
    {"csv", no_argument, nullptr, 'c'},
    {"decode", no_argument, nullptr, 'd'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"chunk-size", required_argument, nullptr, kChunk},
    {"es-output", required_argument, nullptr, kEsOut},
    {nullptr, 0, nullptr, 0},
};

bool ParseChunk(const char* text, size_t& value) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 1 || v > (1 << 20)) return false;
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

int Run(const InspectOptions& o) {
    ReadOptions read;
    read.decode = o.decode;
    read.chunkSize = o.chunkSize;
    read.keepStream = !o.esOutput.empty();
    uint64_t shown = 0;
    if (!o.quiet) {
        const bool terminal = isatty(STDERR_FILENO) != 0;
        read.onPicture = [&shown, terminal](const uint8_t*, int, int, const TelemetryRecord&) {
            if (++shown % 250 != 0) return;
            std::fprintf(stderr, terminal ? "\rdecoded %llu pictures" : "decoded %llu pictures\n",
                         static_cast<unsigned long long>(shown));
        };
    }
    RecordingReport report;
    std::string error;
    if (!ReadRecordingFile(o.path, read, report, error) ||
        (!o.esOutput.empty() && !WriteWholeFile(o.esOutput, report.elementaryStream, error))) {
        std::fprintf(stderr, "inspect-recording: %s\n", error.c_str());
        return kReadError;
    }
    if (shown >= 250 && isatty(STDERR_FILENO)) std::fprintf(stderr, "\n");
    if (o.csv) {
        WriteTelemetryCsv(std::cout, report);
    } else {
        WriteSummary(std::cout, o.path, report, o.decode);
    }
    std::cout.flush();
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
