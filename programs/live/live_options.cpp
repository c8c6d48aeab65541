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

bool ReadNumber(const std::string& text, size_t& pos, long long low, long long high, int32_t& out) {
    const size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    long long value = 0;
    if (pos == start || pos - start > 6 || !ParseInteger(text.substr(start, pos - start).c_str(), low, high, value)) {
        return false;
    }
    out = static_cast<int32_t>(value);
    return true;
}

}  // namespace

bool ParseGeometry(const std::string& text, WindowPlace& place) {
    WindowPlace read;
    size_t pos = 0;
    if (!ReadNumber(text, pos, 1, 65535, read.width) || pos >= text.size() || text[pos++] != 'x' ||
        !ReadNumber(text, pos, 1, 65535, read.height)) {
        return false;
    }
    if (pos < text.size()) {
        if (text[pos++] != '+' || !ReadNumber(text, pos, 0, 65535, read.x) || pos >= text.size() ||
            text[pos++] != '+' || !ReadNumber(text, pos, 0, 65535, read.y) || pos != text.size()) {
            return false;
        }
    }
    place = read;
    return true;
}

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
        } else if (arg == "--no-hud") {
            options.hud = false;
        } else if (arg == "--show-damaged") {
            options.showDamaged = true;
        } else if (arg == "--record" || arg == "--title" || arg == "--split" || arg == "--baud" ||
                   arg == "--reorder" || arg == "--geometry") {
            if (!hasValue) return Fail(arg + " needs a value");
            const char* text = value();
            if (arg == "--record") {
                if (*text == '\0') return Fail("--record needs a file name");
                options.record = text;
            } else if (arg == "--title") {
                options.title = text;
            } else if (arg == "--geometry") {
                if (!ParseGeometry(text, options.place)) {
                    return Fail(std::string("--geometry takes WIDTHxHEIGHT+X+Y, not '") + text + "'");
                }
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
        "doubling up to 4 s between attempts; a TCP or SRT caller started before\n"
        "its peer listens waits for it the same way. UDP, RIST and SRT in its live mode\n"
        "are read as they arrive; the other inputs no faster than the pipeline\n"
        "takes them, so nothing of them is discarded.\n"
        "\n"
        "Options:\n"
        "  --record FILE     keep every received byte, unmodified, in FILE\n"
        "                    (a recording the player and the tools read)\n"
        "  --split MINUTES   start a new recording file every MINUTES, at a link\n"
        "                    frame; the files are FILE's name with -0001, -0002,\n"
        "                    ... before its extension (rec.dat: rec-0001.dat); a\n"
        "                    number whose file exists is passed over\n"
        "  --force           overwrite existing recording files\n"
        "  --baud N          serial line speed (for example 115200)\n"
        "  --reorder MS      put link frames back in the order of their sequence\n"
        "                    numbers: a gap waits up to MS milliseconds for its\n"
        "                    frame, then counts as lost (default 40; 0: off)\n"
        "  --title TEXT      window title (default \"RGB Image\")\n"
        "  --geometry WxH+X+Y  open the window W by H pixels at X,Y on the screen\n"
        "                    (+X+Y may be left out); the picture is scaled to it\n"
        "  --no-hud          no telemetry and link state drawn on the picture\n"
        "  --show-damaged    show pictures built on something lost as they come;\n"
        "                    by default the last good picture stays, framed red,\n"
        "                    until a picture that depends on nothing lost comes\n"
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
        "once each. On the window, the picture's position, height and angles,\n"
        "the link's state (receiving, quiet, waiting for a key picture), the\n"
        "picture's age and the bit rate are drawn round its edges.\n"
        "\n"
        "Exit status:\n"
        "  0  stopped by SIGINT or SIGTERM, or a finite input ended\n"
        "  1  bad usage, or a recording file exists (see --force) or is a folder\n"
        "  2  INPUT cannot be opened (a TCP or SRT caller waits instead), reading\n"
        "     it failed, or a serial line hung up\n"
        "  3  received bytes were lost from the recording (disk full or failing)\n");
}

}  // namespace live
