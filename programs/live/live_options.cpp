#include "programs/live/live_options.h"

#include <cstdio>
#include <string>

#include "lib/live/serial_line.h"
#include "lib/cli/option_numbers.h"

namespace live {

namespace {

LiveOptions Fail(const std::string& message) {
    LiveOptions options;
    options.action = Action::kUsageError;
    options.error = message;
    return options;
}

}  // namespace

LiveOptions ParseLiveOptions(int argc, char** argv) {
    LiveOptions options;
    bool inputSeen = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        auto value = [&]() -> const char* { return argv[++i]; };
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            if (inputSeen) return Fail("only one INPUT may be given");
            options.input = arg;
            inputSeen = true;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.action = Action::kHelp;
            return options;
        } else if (arg == "--version") {
            options.action = Action::kVersion;
            return options;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--record" || arg == "--title" || arg == "--split" || arg == "--baud" ||
                   arg == "--reorder") {
            if (!hasValue) return Fail(arg + " needs a value");
            const char* text = value();
            if (arg == "--record") {
                if (*text == '\0') return Fail("--record needs a file name");
                options.record = text;
            } else if (arg == "--title") {
                options.title = text;
            } else if (arg == "--split") {
                double minutes = 0;
                if (!ParseDecimal(text, 0, 1e6, minutes) || minutes == 0) {
                    return Fail(std::string("--split takes a positive number of minutes, not '") + text + "'");
                }
                options.splitMinutes = minutes;
            } else if (arg == "--reorder") {
                long long ms = 0;
                if (!ParseInteger(text, 0, 10000, ms)) {
                    return Fail(std::string("--reorder takes milliseconds from 0 to 10000, not '") + text + "'");
                }
                options.reorderMs = static_cast<int>(ms);
            } else {
                long long baud = 0;
                if (!ParseInteger(text, 1, 4000000, baud) || !IsSupportedBaud(static_cast<int>(baud))) {
                    return Fail(std::string("--baud: unsupported rate '") + text + "'");
                }
                options.baud = static_cast<int>(baud);
            }
        } else {
            return Fail("unknown option '" + arg + "'");
        }
    }
    if (!inputSeen) return Fail("no INPUT given");
    if (options.splitMinutes > 0 && options.record.empty()) return Fail("--split needs --record");
    return options;
}

void PrintLiveUsage() {
    std::printf(
        "Usage: downlink-live [OPTIONS] INPUT\n"
        "Shows a video downlink as it arrives: link bytes from INPUT go unpaced\n"
        "through the player's pipeline to the window and one telemetry line per\n"
        "picture on standard output.\n"
        "\n"
        "INPUT is any input URL of FFmpeg's I/O layer, for example\n"
        "  udp://0.0.0.0:5600            udp://239.1.2.3:5600 (multicast)\n"
        "  tcp://host:port               tcp://0.0.0.0:port?listen=1\n"
        "  srt://host:port               rist://host:port   unix:/path\n"
        "  - or pipe:0 (standard input)  a file, followed as it grows\n"
        "  a serial device such as /dev/ttyUSB0 (raw mode)\n"
        "TCP and SRT connections that end are opened again, waiting 0.25 s\n"
        "doubling up to 4 s between attempts. UDP, RIST and SRT in its live mode\n"
        "are read as they arrive; the other inputs no faster than the pipeline\n"
        "takes them, so nothing of them is discarded.\n"
        "\n"
        "Options:\n"
        "  --record FILE     keep every received byte, unmodified, in FILE\n"
        "                    (a recording the player and the tools read)\n"
        "  --split MINUTES   start a new recording file every MINUTES, at a link\n"
        "                    frame; the files are FILE's name with -0001, -0002,\n"
        "                    ... before its extension (rec.dat: rec-0001.dat)\n"
        "  --force           overwrite existing recording files\n"
        "  --baud N          serial line speed (for example 115200)\n"
        "  --reorder MS      put link frames back in the order of their sequence\n"
        "                    numbers: a gap waits up to MS milliseconds for its\n"
        "                    frame, then counts as lost (default 40; 0: off)\n"
        "  --title TEXT      window title (default \"RGB Image\")\n"
        "  -q, --quiet       no status line\n"
        "  -v, --verbose     every message of the decoder as it comes, instead of\n"
        "                    a count of each kind once a second\n"
        "  --help            this text\n"
        "  --version         the version\n"
        "\n"
        "Once a second a status line on standard error tells bytes per second,\n"
        "link frames, invalid frames, sequence breaks, frames lost, late and\n"
        "duplicate (put back in order first), pictures per second,\n"
        "payloads discarded (UDP only: the pipeline fell behind) and bytes\n"
        "recorded. The link going quiet for a second and coming back are said\n"
        "once each.\n"
        "\n"
        "Exit status:\n"
        "  0  stopped by SIGINT or SIGTERM, or a finite input ended\n"
        "  1  bad usage, or a recording file exists (see --force)\n"
        "  2  INPUT cannot be opened, reading it failed, or a serial line hung up\n"
        "  3  received bytes were lost from the recording (disk full or failing)\n");
}

}  // namespace live
