#include "lib/sending/send_options.h"

#include <cstdio>
#include <cstdlib>

#include "core/format/replay_pace.h"
#include "lib/cli/option_numbers.h"

namespace send_recording {

namespace {

SendOptions Fail(const std::string& message) {
    SendOptions options;
    options.action = Action::kUsageError;
    options.error = message;
    return options;
}

bool Number(const std::string& text, double lowest, double highest, double& value) {
    return ParseDecimal(text.c_str(), lowest, highest, value);
}

bool Whole(const std::string& text, long long lowest, long long highest, int& value) {
    long long v = 0;
    if (!ParseInteger(text.c_str(), lowest, highest, v)) return false;
    value = static_cast<int>(v);
    return true;
}

bool Fraction(const std::string& text, double& value) { return Number(text, 0, 1, value); }

// The longest outage or start: a year of seconds.
constexpr double kLongestSeconds = 365.0 * 24 * 3600;

bool ParseOutage(const std::string& text, Outage& outage) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    return Number(text.substr(0, colon), 0, kLongestSeconds, outage.startSeconds) &&
           Number(text.substr(colon + 1), 0, kLongestSeconds, outage.seconds) && outage.seconds > 0;
}

// One option with its value; an empty string when all is well.
std::string Apply(SendOptions& o, const std::string& name, const std::string& text) {
    double v = 0;
    const std::string bad = name + ": invalid value '" + text + "'";
    if (name == "--rate") return Number(text, 512, 1e10, v) ? (o.rate = v, "") : bad;
    if (name == "--frames-per-packet") return Whole(text, 1, 120, o.framesPerPacket) ? "" : bad;
    if (name == "--loss") return Fraction(text, o.impairments.loss) ? "" : bad;
    if (name == "--reorder") return Fraction(text, o.impairments.reorder) ? "" : bad;
    if (name == "--duplicate") return Fraction(text, o.impairments.duplicate) ? "" : bad;
    if (name == "--burst") return Whole(text, 1, 10000, o.impairments.burst) ? "" : bad;
    if (name == "--jitter") return Number(text, 0, 10000, v) ? (o.impairments.jitterMs = v, "") : bad;
    if (name == "--seed") {
        char* end = nullptr;
        o.seed = std::strtoull(text.c_str(), &end, 10);
        return !text.empty() && *end == '\0' ? "" : bad;
    }
    if (name == "--outage") {
        Outage outage{};
        if (!ParseOutage(text, outage)) return bad + " (START:SECONDS)";
        o.outages.push_back(outage);
        return "";
    }
    return "unknown option '" + name + "'";
}

}  // namespace

bool IsDatagramOutput(const std::string& output) { return output.rfind("udp://", 0) == 0; }

std::string OutputUrl(const std::string& output, int packetBytes) {
    if (!IsDatagramOutput(output) || output.find("pkt_size=") != std::string::npos) return output;
    const char joint = output.find('?') == std::string::npos ? '?' : '&';
    return output + joint + "pkt_size=" + std::to_string(packetBytes);
}

SendOptions ParseSendOptions(int argc, char** argv) {
    SendOptions o;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            o.action = Action::kHelp;
            return o;
        }
        if (arg == "--version") {
            o.action = Action::kVersion;
            return o;
        }
        if (arg == "--loop") {
            o.loop = true;
        } else if (arg.size() > 2 && arg[0] == '-' && arg[1] == '-') {
            if (i + 1 >= argc) return Fail(arg + " needs a value");
            const std::string problem = Apply(o, arg, argv[++i]);
            if (!problem.empty()) return Fail(problem);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return Fail("give a RECORDING and an OUTPUT");
    o.recording = positional[0];
    o.output = positional[1];
    if (o.rate == 0) o.rate = static_cast<double>(replay_pace::kBytesPerSecond);
    if (o.impairments.Any() && !IsDatagramOutput(o.output)) {
        return Fail("--loss, --jitter, --reorder and --duplicate are for udp:// outputs");
    }
    return o;
}

void PrintSendUsage() {
    std::printf(
        "Usage: downlink-send [OPTIONS] RECORDING OUTPUT\n"
        "Sends a downlink recording as a link modem would: at the link's pace, whole\n"
        "link frames at a time, to any output URL of FFmpeg's I/O layer\n"
        "(udp://host:port, tcp://host:port[?listen=1], srt://host:port, pipe:1).\n"
        "\n"
        "Options:\n"
        "  --rate N               bytes a second (default 512000, the link's rate)\n"
        "  --frames-per-packet N  512-byte link frames in each datagram or write\n"
        "                         (default 2)\n"
        "  --loop                 start again at the end, until stopped\n"
        "  --outage START:SECONDS send nothing from START for SECONDS (seconds from\n"
        "                         the start; may be repeated; the bytes are lost)\n"
        "UDP only, reproducible from --seed N (default 1):\n"
        "  --loss P               chance that a loss starts at a datagram\n"
        "  --burst N              datagrams each loss takes (default 1)\n"
        "  --jitter MS            each datagram leaves up to MS late\n"
        "  --reorder P            chance that a pair of datagrams is swapped\n"
        "  --duplicate P          chance that a datagram is sent twice\n"
        "\n"
        "Exit status: 0 sent (or stopped by SIGINT/SIGTERM), 1 bad usage,\n"
        "2 RECORDING or OUTPUT cannot be opened, 3 sending failed.\n");
}

}  // namespace send_recording
