// export-recording: writes what the player shows of a recording to video
// containers and telemetry files, from one read of the recording.

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/avutil.h>
}

#include "project_version.h"
#include "programs/export/export_options.h"
#include "lib/export/export_session.h"
#include "lib/export/export_status.h"
#include "lib/export/sink_factory.h"
#include "lib/reading/recording_reader.h"

namespace {

constexpr int64_t kProgressEvery = 250;
constexpr int64_t kMicrosPerSecond = 1000000;

// The sinks for every output, each with its temporary file open; 0 or the exit status.
int OpenSinks(const ExportOptions& o, std::vector<std::unique_ptr<ExportSink>>& sinks) {
    const AVRational rate = av_d2q(o.fps, 100000);
    for (const std::string& path : o.outputs) {
        std::unique_ptr<ExportSink> sink = MakeSink(path, rate.num, rate.den);
        if (!sink) {
            std::fprintf(stderr,
                         "export-recording: %s: unknown extension; expected .ts, .mkv, .mp4, .srt, .gpx, .kml or "
                         ".csv\n",
                         path.c_str());
            return export_status::kUsage;
        }
        sinks.push_back(std::move(sink));
    }
    for (auto& sink : sinks) {
        std::string error;
        const int status = sink->Open(error);
        if (status == export_status::kOk) continue;
        std::fprintf(stderr, "export-recording: %s\n", error.c_str());
        return status;
    }
    return export_status::kOk;
}

// The recording's modification time, the default start; 0 or the exit status.
int CheckRecording(ExportOptions& o) {
    struct stat info {};
    if (stat(o.recording.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || access(o.recording.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "export-recording: cannot open %s\n", o.recording.c_str());
        return export_status::kUnreadable;
    }
    if (!o.startGiven) {
        o.startMicros = static_cast<int64_t>(info.st_mtim.tv_sec) * kMicrosPerSecond + info.st_mtim.tv_nsec / 1000;
    }
    return export_status::kOk;
}

void ReportEnd(const ExportOptions& o, const SessionCounts& c, double seconds) {
    const double playing = static_cast<double>(c.lastIndex + 1) / o.fps;
    std::fprintf(stderr, "exported %lld of %lld pictures shown (%.2f s of video at %g pictures a second) in %.2f s, ",
                 static_cast<long long>(c.exported), static_cast<long long>(c.shown), playing, o.fps, seconds);
    std::fprintf(stderr, "%.1fx the recording's playing time\n", seconds > 0 ? playing / seconds : 0.0);
    if (!o.range.Whole()) {
        std::fprintf(stderr, "pictures %lld to %lld; the video starts %lld picture intervals before the first\n",
                     static_cast<long long>(c.firstNumber), static_cast<long long>(c.lastNumber),
                     static_cast<long long>(c.leadIn));
    }
    if (c.unshownUnits > 0 || c.unmatched > 0 || c.unplaced > 0) {
        std::fprintf(stderr,
                     "left out: %lld access units of pictures not shown, %lld pictures without their units, "
                     "%lld units without a decode time\n",
                     static_cast<long long>(c.unshownUnits), static_cast<long long>(c.unmatched),
                     static_cast<long long>(c.unplaced));
    }
}

int Export(const ExportOptions& o, std::vector<std::unique_ptr<ExportSink>> sinks) {
    const auto began = std::chrono::steady_clock::now();
    SessionSettings settings{o.fps, o.startMicros, o.range};
    ExportSession session(settings, std::move(sinks), [](const ExportSink&, int, const std::string& message) {
        std::fprintf(stderr, "export-recording: %s\n", message.c_str());
    });
    const bool terminal = isatty(STDERR_FILENO) != 0;
    if (!o.quiet) {
        session.onExported = [terminal](int64_t n) {
            if (n % kProgressEvery != 0) return;
            std::fprintf(stderr, terminal ? "\rexported %lld pictures" : "exported %lld pictures\n",
                         static_cast<long long>(n));
        };
    }
    ReadOptions read;
    read.decode = true;
    read.keepStream = false;
    read.onPacket = [&session](const uint8_t* data, int32_t size, int64_t tag) { session.Packet(data, size, tag); };
    read.onPicture = [&session](const ShownPicture& picture) {
        session.Shown(picture.tag, picture.width, picture.height, picture.record);
    };
    read.pixelsWanted = [] { return false; };
    read.decoderThreads = 0;
    RecordingReport report;
    std::string error;
    if (!ReadRecordingFile(o.recording, read, report, error)) {
        std::fprintf(stderr, "export-recording: %s\n", error.c_str());
        return export_status::kUnreadable;  // the session's sinks are abandoned as it goes
    }
    const int status = session.Finish();
    if (!o.quiet && terminal && session.Counts().exported >= kProgressEvery) std::fprintf(stderr, "\n");
    if (session.Counts().exported == 0 && session.Counts().shown > 0 && !o.range.Whole()) {
        const std::string from = o.range.from.kind == RangeEnd::kOpen ? "the start" : DescribeRangeEnd(o.range.from);
        const std::string to = o.range.to.kind == RangeEnd::kOpen ? "the end" : DescribeRangeEnd(o.range.to);
        const std::string last = DescribeRangeEnd({RangeEnd::kTime, session.Counts().lastShownOffsetMicros});
        std::fprintf(stderr,
                     "export-recording: %s: no picture from %s to %s: the player shows pictures 1 to %lld, at 0 "
                     "to %s; nothing written\n",
                     o.recording.c_str(), from.c_str(), to.c_str(), static_cast<long long>(session.Counts().shown),
                     last.c_str());
        return export_status::kUsage;
    }
    if (session.Counts().exported == 0) {
        std::fprintf(stderr, "export-recording: %s: the player shows no picture of it; nothing written\n",
                     o.recording.c_str());
        return export_status::kNoPicture;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    if (!o.quiet) ReportEnd(o, session.Counts(), took.count());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Asked alone, so that an output named --version stays an output.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("export-recording %s\n", kProjectVersion);
        return export_status::kOk;
    }
    ExportOptions options;
    const int parsed = ParseExportOptions(argc, argv, options);
    if (parsed != 0) return parsed < 0 ? export_status::kOk : parsed;
    int status = CheckRecording(options);
    if (status != export_status::kOk) return status;
    std::vector<std::unique_ptr<ExportSink>> sinks;
    status = OpenSinks(options, sinks);
    if (status != export_status::kOk) return status;  // the sinks remove their files
    return Export(options, std::move(sinks));
}
