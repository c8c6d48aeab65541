#include "programs/export/export_options.h"

#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/cli/option_numbers.h"
#include "lib/export/export_status.h"
#include "lib/export/export_time.h"

namespace {

constexpr double kMaxFps = 1000;

enum OptionId { kOutput = 'o', kQuiet = 'q', kHelp = 'h', kFps = 1000, kStartTime, kFrom, kTo };

const option kLongOptions[] = {
    {"output", required_argument, nullptr, kOutput},
    {"fps", required_argument, nullptr, kFps},
    {"start-time", required_argument, nullptr, kStartTime},
    {"from", required_argument, nullptr, kFrom},
    {"to", required_argument, nullptr, kTo},
    {"quiet", no_argument, nullptr, kQuiet},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

void PrintUsage(const char* program) {
    std::printf(
        "Usage: %s RECORDING --output FILE [--output FILE ...] [options]\n"
        "Exports what the player shows of a downlink recording: every picture it shows,\n"
        "with the telemetry record it shows it with, read once by the player's own\n"
        "pipeline and decoder. The video is copied as the decoder gets it, never\n"
        "re-encoded; filler and telemetry units are left out, and so is any picture the\n"
        "decoder turned down.\n"
        "\n"
        "The format of each output comes from its extension:\n"
        "  .ts    MPEG transport stream: HEVC and a KLV metadata stream (one UAS Local Set\n"
        "         per picture); a change of picture size is carried in-band\n"
        "  .mkv   Matroska: HEVC and SubRip subtitles, both shown by default: each\n"
        "         picture's number, time and telemetry in three short lines with units\n"
        "  .mp4   MP4: HEVC and mov_text subtitles (the same text)\n"
        "  .srt   subtitles   .gpx, .kml   tracks for maps   .csv   one row per picture\n"
        "Matroska and MP4 hold one picture size: a recording whose size changes stops\n"
        "those outputs with a message naming the picture.\n"
        "\n"
        "Timeline: a picture's time is its place counted in picture intervals from the\n"
        "first exported picture, read from its picture order count, so that pictures\n"
        "lost on the link leave gaps; the count carries on across IDR pictures, where it\n"
        "starts again. A count that is missing or runs backwards places the picture one\n"
        "interval after the one before. With B-frames, decode times are derived from the\n"
        "stream's reorder depth.\n"
        "\n"
        "  -o, --output FILE      an output; give it once per file\n"
        "      --fps N            pictures a second of the timeline (default 25)\n"
        "      --start-time TIME  the first picture's time, ISO 8601 in UTC, such as\n"
        "                         2026-12-08T11:25:48Z (default: the recording's\n"
        "                         modification time)\n"
        "      --from X, --to Y   only the pictures from X to Y, both included; each is\n"
        "                         a picture number (120: the number the player prints\n"
        "                         and the captions show) or a time from the first\n"
        "                         picture on this timeline (4.8s, 1:23.5, 0:01:23.5);\n"
        "                         either may be left out\n"
        "  -q, --quiet            no progress on standard error\n"
        "  -h, --help             this text\n"
        "\n"
        "With a range, the video starts at the key picture shown last at or before X,\n"
        "since decoders start only at one: up to one key picture interval before X.\n"
        "With B-frames it may end a few pictures after Y, which pictures up to Y refer\n"
        "to. Its timeline starts at 0 at its first picture. Subtitles, KLV, tracks and\n"
        "rows hold exactly the pictures X to Y, with the numbers and times of day of a\n"
        "whole export.\n"
        "\n"
        "Each output is written beside its name and renamed once complete; on failure\n"
        "nothing is left under that name.\n"
        "Exit status: 0 done; 1 bad usage, unknown extension or no picture in the range;\n"
        "2 the recording cannot be read; 3 an output cannot be created or written; 4 the\n"
        "player would show no picture; 5 an output cannot hold the recording (a picture\n"
        "size change).\n",
        program);
}

bool ParseFps(const char* text, double& fps) { return ParseDecimal(text, 0, kMaxFps, fps) && fps > 0; }

int Refuse(const char* format, const char* value, const char* program) {
    std::fprintf(stderr, "export-recording: ");
    std::fprintf(stderr, format, value);
    std::fprintf(stderr, "\nTry '%s --help'.\n", program);
    return export_status::kUsage;
}

int TakeOption(int id, const char* program, char** argv, ExportOptions& o) {
    switch (id) {
        case kOutput:
            if (std::find(o.outputs.begin(), o.outputs.end(), optarg) != o.outputs.end()) {
                return Refuse("output '%s' given twice", optarg, program);
            }
            o.outputs.emplace_back(optarg);
            return 0;
        case kQuiet: o.quiet = true; return 0;
        case kFps:
            if (ParseFps(optarg, o.fps)) return 0;
            return Refuse("invalid value '%s' for --fps: expected a number above 0, up to 1000", optarg, program);
        case kStartTime:
            o.startGiven = ParseIsoUtc(optarg, o.startMicros);
            if (o.startGiven) return 0;
            return Refuse("invalid value '%s' for --start-time: expected such as 2026-12-08T11:25:48Z", optarg,
                          program);
        case kFrom:
        case kTo:
            if (ParseRangeEnd(optarg, id == kFrom ? o.range.from : o.range.to)) return 0;
            return Refuse(id == kFrom ? "invalid value '%s' for --from: expected a picture number from 1, such as "
                                        "120, or a time such as 4.8s, 1:23.5 or 0:01:23.5"
                                      : "invalid value '%s' for --to: expected a picture number from 1, such as "
                                        "120, or a time such as 4.8s, 1:23.5 or 0:01:23.5",
                          optarg, program);
        case ':': return Refuse("option '%s' needs a value", argv[optind - 1], program);
        default: return Refuse("unknown option '%s'", argv[optind - 1], program);
    }
}

}  // namespace

int ParseExportOptions(int argc, char** argv, ExportOptions& o) {
    opterr = 0;
    int id = 0;
    while ((id = getopt_long(argc, argv, ":o:qh", kLongOptions, nullptr)) != -1) {
        if (id == kHelp) {
            PrintUsage(argv[0]);
            return -1;
        }
        const int status = TakeOption(id, argv[0], argv, o);
        if (status != 0) return status;
    }
    if (argc - optind != 1) return Refuse("expected one RECORDING%s", "", argv[0]);
    o.recording = argv[optind];
    if (o.outputs.empty()) return Refuse("--output FILE is required%s", "", argv[0]);
    if (o.range.Reversed()) {
        const std::string ends = "--to (" + DescribeRangeEnd(o.range.to) + ") is before --from (" +
                                 DescribeRangeEnd(o.range.from) + ")";
        return Refuse("%s", ends.c_str(), argv[0]);
    }
    return 0;
}
