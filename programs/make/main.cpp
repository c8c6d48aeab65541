// make-recording: video and telemetry in, a downlink link recording out.

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/demux/annex_b.h"
#include "project_version.h"
#include "lib/formats/telemetry_track.h"
#include "lib/making/display_order.h"
#include "lib/making/stream_builder.h"
#include "lib/reading/recording_reader.h"
#include "programs/make/make_options.h"

namespace {

constexpr int kUsageError = 1;
constexpr int kRunError = 2;

bool LoadVideo(const MakeOptions& o, std::vector<uint8_t>& es, std::string& error) {
    if (!o.input.empty()) {
        std::vector<uint8_t> raw;
        if (!ReadWholeFile(o.input, raw, error)) return false;
        size_t replaced = 0;
        es = StripTelemetryAndEnd(ToFourByteStartCodes(raw.data(), raw.size()), &replaced);
        if (replaced > 0 && !o.quiet) {
            std::fprintf(stderr, "note: %zu telemetry units already in %s are replaced by the new track\n",
                         replaced, o.input.c_str());
        }
        if (CountPictures(es) == 0) {
            error = o.input + ": no H.265 pictures found (expected an Annex-B elementary stream)";
            return false;
        }
        return true;
    }
    PatternOptions pattern = o.pattern;
    if (!o.quiet) {
        // One line rewritten in place on a terminal, a line a second otherwise.
        const bool terminal = isatty(STDERR_FILENO) != 0;
        pattern.progress = [terminal](int done, int total) {
            if (done % 25 != 0 && done != total) return;
            std::fprintf(stderr, terminal ? "\rencoded %d/%d pictures" : "encoded %d/%d pictures\n", done,
                         total);
            if (terminal && done == total) std::fprintf(stderr, "\n");
        };
    }
    return EncodeTestPattern(pattern, es, error);
}

// Rows are the pictures' in the order they are shown; the units that carry
// them go before the pictures in coding order.
bool LoadTrack(const MakeOptions& o, const std::vector<uint8_t>& es, std::vector<TelemetryRecord>& records,
               std::string& error) {
    const size_t pictures = CountPictures(es);
    std::vector<TelemetrySample> samples;
    if (o.telemetry.empty()) {
        samples = GenerateFlightPath(static_cast<int>(pictures));
    } else if (!ReadTelemetryCsv(o.telemetry, samples, error)) {
        return false;
    }
    if (samples.size() < pictures) {
        error = o.telemetry + ": " + std::to_string(samples.size()) + " telemetry rows for " +
                std::to_string(pictures) + " pictures; one row per picture is needed";
        return false;
    }
    if (samples.size() > pictures && !o.quiet) {
        std::fprintf(stderr, "note: %zu telemetry rows beyond the last picture are not used\n",
                     samples.size() - pictures);
    }
    records.resize(pictures);
    for (size_t i = 0; i < pictures; ++i) {
        if (!EncodeRecord(samples[i], records[i], error)) {
            error = "telemetry row " + std::to_string(i + 1) + ": " + error;
            return false;
        }
    }
    records = RecordsInCodingOrder(records, es);
    return true;
}

void Report(const MakeOptions& o, size_t pictures, const std::vector<uint8_t>& stream,
            const std::vector<uint8_t>& out, const LinkStats& s) {
    if (o.quiet) return;
    std::fprintf(stderr,
                 "%s: %zu bytes, %llu link frames, %zu pictures, %zu stream bytes (%.0f bytes/s at %g fps)\n",
                 o.output.c_str(), out.size(), static_cast<unsigned long long>(s.frames), pictures,
                 stream.size(), pictures ? stream.size() * o.recording.fps / pictures : 0.0, o.recording.fps);
    if (s.dropped || s.invalidLength || s.sequenceJumps || s.sequenceRepeats || s.bitFlips || s.noiseBytes ||
        o.recording.impairments.truncateAt >= 0) {
        std::fprintf(
            stderr,
            "impairments: %llu dropped, %llu invalid length, %llu jumps, %llu repeats, %llu bit flips, "
            "%llu noise bytes; the receiver counts %llu sequence breaks\n",
            static_cast<unsigned long long>(s.dropped), static_cast<unsigned long long>(s.invalidLength),
            static_cast<unsigned long long>(s.sequenceJumps),
            static_cast<unsigned long long>(s.sequenceRepeats), static_cast<unsigned long long>(s.bitFlips),
            static_cast<unsigned long long>(s.noiseBytes), static_cast<unsigned long long>(s.expectedBreaks));
    }
}

int Run(const MakeOptions& o) {
    std::string error;
    std::vector<uint8_t> es;
    std::vector<TelemetryRecord> records;
    if (!LoadVideo(o, es, error) || !LoadTrack(o, es, records, error)) {
        std::fprintf(stderr, "make-recording: %s\n", error.c_str());
        return kRunError;
    }
    LinkStats stats;
    std::vector<uint8_t> stream;
    const std::vector<uint8_t> recording = BuildRecording(es, records, o.recording, &stats, &stream);
    if (!WriteWholeFile(o.output, recording, error) ||
        (!o.esOutput.empty() && !WriteWholeFile(o.esOutput, stream, error))) {
        std::fprintf(stderr, "make-recording: %s\n", error.c_str());
        return kRunError;
    }
    Report(o, records.size(), stream, recording, stats);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    MakeOptions options;
    std::string error;
    switch (ParseMakeOptions(argc, argv, options, error)) {
        case ParseResult::kHelp: PrintMakeUsage(argv[0]); return 0;
        case ParseResult::kVersion: std::printf("make-recording %s\n", kProjectVersion); return 0;
        case ParseResult::kError:
            std::fprintf(stderr, "make-recording: %s\nTry '%s --help'.\n", error.c_str(), argv[0]);
            return kUsageError;
        case ParseResult::kRun: break;
    }
    return Run(options);
}
