#include "programs/make/make_options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/format/link_frame.h"
#include "lib/cli/option_numbers.h"

namespace {

enum OptionId {
    kOutput = 'o',
    kInput = 'i',
    kSize = 's',
    kFrames = 'n',
    kFps = 'r',
    kTelemetry = 't',
    kHelp = 'h',
    kQuiet = 'q',
    kSeed = 1000,
    kVersion,
    kBitrate,
    kKeyint,
    kPayloadSize,
    kPadRate,
    kPayloadType,
    kNoise,
    kNoiseProbability,
    kDropRate,
    kInvalidRate,
    kJumpRate,
    kRepeatRate,
    kBitFlipRate,
    kTruncate,
    kEsOutput,
    kNoEnd,
    kSlices,
    kBframes,
    kPixelFormat,
};

const option kLongOptions[] = {
    {"output", required_argument, nullptr, kOutput},
    {"input", required_argument, nullptr, kInput},
    {"size", required_argument, nullptr, kSize},
    {"frames", required_argument, nullptr, kFrames},
    {"fps", required_argument, nullptr, kFps},
    {"bitrate", required_argument, nullptr, kBitrate},
    {"keyint", required_argument, nullptr, kKeyint},
    {"slices", required_argument, nullptr, kSlices},
    {"bframes", required_argument, nullptr, kBframes},
    {"pixel-format", required_argument, nullptr, kPixelFormat},
    {"telemetry", required_argument, nullptr, kTelemetry},
    {"payload-size", required_argument, nullptr, kPayloadSize},
    {"pad-rate", required_argument, nullptr, kPadRate},
    {"payload-type", required_argument, nullptr, kPayloadType},
    {"seed", required_argument, nullptr, kSeed},
    {"noise", required_argument, nullptr, kNoise},
    {"noise-probability", required_argument, nullptr, kNoiseProbability},
    {"drop-rate", required_argument, nullptr, kDropRate},
    {"invalid-length-rate", required_argument, nullptr, kInvalidRate},
    {"jump-rate", required_argument, nullptr, kJumpRate},
    {"repeat-rate", required_argument, nullptr, kRepeatRate},
    {"bit-flip-rate", required_argument, nullptr, kBitFlipRate},
    {"truncate", required_argument, nullptr, kTruncate},
    {"es-output", required_argument, nullptr, kEsOutput},
    {"no-end-unit", no_argument, nullptr, kNoEnd},
    {"quiet", no_argument, nullptr, kQuiet},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

bool ParseSize(const char* text, PatternOptions& p) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text, "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X')) return false;
    p.width = w;
    p.height = h;
    return w >= 16 && h >= 16 && w <= 8192 && h <= 4320 && w % 2 == 0 && h % 2 == 0;
}

std::string Bad(const char* option, const char* value, const char* expected) {
    return std::string("invalid value '") + value + "' for --" + option + ": expected " + expected;
}

bool Int(const char* name, const char* arg, long long lo, long long hi, long long& v, std::string& error) {
    if (ParseInteger(arg, lo, hi, v)) return true;
    error = Bad(name, arg, ("an integer from " + std::to_string(lo) + " to " + std::to_string(hi)).c_str());
    return false;
}

bool Rate(const char* name, const char* arg, double& v, std::string& error) {
    if (ParseDecimal(arg, 0, 1, v)) return true;
    error = Bad(name, arg, "a probability from 0 to 1");
    return false;
}

struct IntegerOption {
    int id;
    const char* name;
    long long lowest, highest;
    void (*store)(MakeOptions&, long long);
};

const IntegerOption kIntegerOptions[] = {
    {kFrames, "frames", 1, 100000, [](MakeOptions& o, long long v) { o.pattern.frames = int(v); }},
    {kFps, "fps", 1, 240,
     [](MakeOptions& o, long long v) {
         o.pattern.fps = int(v);
         o.recording.fps = double(v);
     }},
    {kBitrate, "bitrate", 0, 1000000, [](MakeOptions& o, long long v) { o.pattern.bitrateKbps = int(v); }},
    {kKeyint, "keyint", 1, 10000, [](MakeOptions& o, long long v) { o.pattern.keyint = int(v); }},
    {kSlices, "slices", 1, 16, [](MakeOptions& o, long long v) { o.pattern.slices = int(v); }},
    {kBframes, "bframes", 0, 16, [](MakeOptions& o, long long v) { o.pattern.bframes = int(v); }},
    {kPayloadSize, "payload-size", 1, link_frame::kPayloadArea,
     [](MakeOptions& o, long long v) { o.recording.payloadSize = int(v); }},
    {kPadRate, "pad-rate", 0, 1LL << 32,
     [](MakeOptions& o, long long v) { o.recording.targetBytesPerSecond = uint64_t(v); }},
    {kPayloadType, "payload-type", 0, 255,
     [](MakeOptions& o, long long v) { o.recording.payloadType = uint8_t(v); }},
    {kSeed, "seed", 0, std::numeric_limits<long long>::max(),
     [](MakeOptions& o, long long v) { o.recording.impairments.seed = uint64_t(v); }},
    {kNoise, "noise", 0, 1 << 20,
     [](MakeOptions& o, long long v) { o.recording.impairments.noiseBytesBetweenFrames = size_t(v); }},
    {kTruncate, "truncate", 0, std::numeric_limits<long long>::max(),
     [](MakeOptions& o, long long v) { o.recording.impairments.truncateAt = int64_t(v); }},
};

double* RateField(int id, Impairments& imp) {
    switch (id) {
        case kNoiseProbability: return &imp.noiseProbability;
        case kDropRate: return &imp.dropRate;
        case kInvalidRate: return &imp.invalidLengthRate;
        case kJumpRate: return &imp.sequenceJumpRate;
        case kRepeatRate: return &imp.sequenceRepeatRate;
        case kBitFlipRate: return &imp.bitFlipRate;
        default: return nullptr;
    }
}

// Options that take no number.
bool ApplyPlain(int id, const char* arg, MakeOptions& o, std::string& error) {
    switch (id) {
        case kOutput: o.output = arg; return true;
        case kInput: o.input = arg; return true;
        case kTelemetry: o.telemetry = arg; return true;
        case kEsOutput: o.esOutput = arg; return true;
        case kPixelFormat: o.pattern.pixelFormat = arg; return true;
        case kQuiet: o.quiet = true; return true;
        case kNoEnd: o.recording.endOfBitstream = false; return true;
        case kSize:
            if (ParseSize(arg, o.pattern)) return true;
            error = Bad("size", arg, "WIDTHxHEIGHT, even numbers from 16x16 to 8192x4320");
            return false;
        default: error = "unknown option"; return false;
    }
}

// Applies one option; false with `error` set when its value is bad.
bool Apply(int id, const char* arg, MakeOptions& o, std::string& error) {
    for (const IntegerOption& option : kIntegerOptions) {
        if (option.id != id) continue;
        long long v = 0;
        if (!Int(option.name, arg, option.lowest, option.highest, v, error)) return false;
        option.store(o, v);
        return true;
    }
    if (double* rate = RateField(id, o.recording.impairments)) {
        const option* entry = kLongOptions;
        while (entry->val != id) ++entry;
        return Rate(entry->name, arg, *rate, error);
    }
    return ApplyPlain(id, arg, o, error);
}

}  // namespace

ParseResult ParseMakeOptions(int argc, char** argv, MakeOptions& options, std::string& error) {
    optind = 1;
    opterr = 0;
    int id = 0;
    while ((id = getopt_long(argc, argv, ":o:i:s:n:r:t:qh", kLongOptions, nullptr)) != -1) {
        if (id == kHelp) return ParseResult::kHelp;
        if (id == kVersion) return ParseResult::kVersion;
        if (id == '?') {
            error = std::string("unknown option '") + argv[optind - 1] + "'";
            return ParseResult::kError;
        }
        if (id == ':') {
            error = std::string("option '") + argv[optind - 1] + "' needs a value";
            return ParseResult::kError;
        }
        if (!Apply(id, optarg, options, error)) return ParseResult::kError;
    }
    if (optind < argc) {
        error = std::string("unexpected argument '") + argv[optind] + "'";
        return ParseResult::kError;
    }
    if (options.output.empty()) {
        error = "--output FILE is required";
        return ParseResult::kError;
    }
    return ParseResult::kRun;
}

void PrintMakeUsage(const char* program) {
    std::printf(
        "Usage: %s --output FILE [options]\n"
        "Makes a downlink recording: an H.265 stream with one telemetry unit before each\n"
        "picture, cut into 512-byte link frames, optionally with link impairments.\n"
        "\n"
        "Video and telemetry:\n"
        "  -o, --output FILE         the recording to write (required)\n"
        "  -i, --input ES            an H.265 Annex-B file to use instead of the test pattern;\n"
        "                            telemetry units in it are replaced\n"
        "  -s, --size WxH            test pattern size (default 1920x1080)\n"
        "  -n, --frames N            test pattern pictures (default 250)\n"
        "  -r, --fps N               pictures per second (default 25)\n"
        "      --bitrate KBPS        test pattern bitrate (default 0: constant quality)\n"
        "      --keyint N            pictures from one key picture to the next (default 25)\n"
        "      --slices N            test pattern slices per picture, 1 to 16 (default 1)\n"
        "      --bframes N           test pattern B-frames, 0 to 16 (default 0); the player\n"
        "                            shows such pictures one reordering delay late\n"
        "      --pixel-format NAME   test pattern pixel format, an FFmpeg name such as\n"
        "                            yuv420p10le (default yuv420p)\n"
        "  -t, --telemetry CSV       track with one row per picture, in the order the\n"
        "                            pictures are shown (with B-frames too): azimuth,\n"
        "                            pitch, longitude, latitude (degrees), height; a\n"
        "                            header row naming the columns is optional (default:\n"
        "                            a generated flight path)\n"
        "      --payload-type N      telemetry units' payload-type byte (default 5)\n"
        "      --pad-rate BYTES      add filler units so the stream carries at least BYTES\n"
        "                            per second (the player replays 480000 bytes/s)\n"
        "      --no-end-unit         leave out the closing end-of-bitstream unit, which\n"
        "                            lets the player decode the last picture\n"
        "      --es-output FILE      also write the elementary stream that was framed\n"
        "\n"
        "Link framing and impairments (all off by default, reproducible by seed):\n"
        "      --payload-size N      stream bytes per link frame, 1 to 480 (default 480)\n"
        "      --seed N              random seed for the impairments (default 1)\n"
        "      --noise N             up to N noise bytes before frames (never 0xEB)\n"
        "      --noise-probability P chance that a gap gets noise (default: every gap)\n"
        "      --drop-rate P         frames left out (their data is lost)\n"
        "      --invalid-length-rate P  frames with a payload length of 0 or above 480\n"
        "      --jump-rate P         frames whose sequence number jumps ahead\n"
        "      --repeat-rate P       frames that repeat the previous sequence number\n"
        "      --bit-flip-rate P     chance per payload byte that one bit flips\n"
        "      --truncate BYTES      cut the recording after BYTES bytes\n"
        "\n"
        "  -q, --quiet               no progress on standard error\n"
        "  -h, --help                this text\n"
        "      --version             the version\n"
        "\n"
        "Exit status: 0 on success, 1 on a bad option or value, 2 when the input cannot\n"
        "be read, encoded or written.\n"
        "Example: %s --output sample.dat --frames 50 --size 640x360\n",
        program, program);
}
