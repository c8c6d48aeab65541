// downlink-live: shows a video downlink as it arrives. The link's bytes go,
// unpaced, through the player's own steps to the window and the telemetry
// lines; they can be recorded as they come.

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "app/display_platform.h"
#include "lib/live/console.h"
#include "lib/live/decoder_tally.h"
#include "lib/live/link_reader.h"
#include "lib/live/link_source.h"
#include "lib/live/link_watch.h"
#include "lib/live/live_view.h"
#include "programs/live/live_options.h"
#include "lib/live/recorder.h"
#include "app/orderly_stop.h"
#include "app/qt_message_filter.h"
#include "core/session/link_pipeline.h"
#include "project_version.h"

namespace {

using namespace live;

constexpr int32_t kVideoType = 1;
constexpr int kStatusIntervalMs = 1000;
// After a finite input's end, the pictures still queued are shown first.
constexpr auto kDrainBound = std::chrono::seconds(10);

void ServeEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The worker may be waiting in a window call that the main thread carries
// out, so events are served until the queue is empty and the worker has left.
void ShutDown(LinkPipeline& pipeline, bool drain) {
    const auto until = std::chrono::steady_clock::now() + kDrainBound;
    while (drain && pipeline.QueuedPayloads() > 0 && std::chrono::steady_clock::now() < until) {
        ServeEvents();
    }
    pipeline.Stop(ServeEvents);
}

class StatusTick {
public:
    StatusTick(SharedLinkStatistics& counts, QuietWatch& quiet, Console& console, const Recorder* recorder,
               DecoderTally* tally, LiveView& view, bool show)
        : counts_(counts), quiet_(quiet), console_(console), recorder_(recorder), tally_(tally), view_(view),
          show_(show), last_(Snapshot(counts, 0)), lastTime_(Clock::now()) {}

    void Tick() {
        const Clock::time_point now = Clock::now();
        if (quiet_.WentQuiet(now)) {
            console_.Message("link quiet: no bytes for " + Span(kQuietAfter) + " (" +
                             TimeOfDay(std::chrono::system_clock::now()) + ")");
        }
        if (tally_ != nullptr) {
            const std::string summary = tally_->Summary();
            if (!summary.empty()) console_.Message(summary);
        }
        const CountsSnapshot current = Snapshot(counts_, recorder_ ? recorder_->Recorded() : 0);
        const double seconds = std::chrono::duration<double>(now - lastTime_).count();
        if (seconds > 0) view_.SetBitRate(8.0 * static_cast<double>(current.bytes - last_.bytes) / seconds);
        const char* state = LinkStateWord(current.bytes > 0, quiet_.SilenceAt(now) > Clock::duration{},
                                          view_.WaitingForKey());
        if (show_) console_.Status(StatusLine(last_, current, seconds, state));
        last_ = current;
        lastTime_ = now;
    }

private:
    SharedLinkStatistics& counts_;
    QuietWatch& quiet_;
    Console& console_;
    const Recorder* recorder_;
    DecoderTally* tally_;
    LiveView& view_;
    bool show_;
    CountsSnapshot last_;
    Clock::time_point lastTime_;
};

// Recording a followed file into itself would grow it without end, and
// --force would first empty it.
bool RecordsIntoInput(const LiveOptions& options) {
    struct stat input = {};
    struct stat record = {};
    return !options.record.empty() && stat(options.input.c_str(), &input) == 0 &&
           stat(options.record.c_str(), &record) == 0 && input.st_dev == record.st_dev &&
           input.st_ino == record.st_ino;
}

int Run(const LiveOptions& options, QApplication& app) {
    Console console(isatty(STDERR_FILENO) != 0);
    std::atomic<bool> stop{false};
    if (RecordsIntoInput(options)) {
        console.Message("cannot record: " + options.record + " is the input itself");
        return kStatusUsage;
    }

    std::unique_ptr<Recorder> recorder;
    if (!options.record.empty()) {
        recorder = std::make_unique<Recorder>([&console](const std::string& text) { console.Message(text); });
        RecorderSettings settings;
        settings.path = options.record;
        settings.splitMinutes = options.splitMinutes;
        settings.force = options.force;
        std::string error;
        // Checked now, made when the input opens.
        if (!recorder->Prepare(settings, error)) {
            console.Message("cannot record: " + error);
            return kStatusUsage;
        }
    }

    SharedLinkStatistics counts;
    QuietWatch quiet;
    LiveViewSettings viewSettings;
    viewSettings.title = options.title;
    viewSettings.hud = options.hud;
    viewSettings.showDamaged = options.showDamaged;
    viewSettings.place = options.place;
    LiveView view(viewSettings, [&quiet] { return quiet.SilenceAt(Clock::now()); });

    PayloadDecoderOptions shown;
    shown.videoType = kVideoType;
    shown.lines = true;
    shown.lineSink = [&console](const char* line, size_t length) { console.Line(line, length); };
    shown.firstUnitLine = true;
    // Offscreen, no one would see the window: the pictures are only counted,
    // and not even converted.
    const bool windowSeen = app.platformName() != QLatin1String("offscreen");
    shown.onPicture = [&counts, &view, windowSeen](const ShownPicture& picture) {
        ++counts.pictures;
        if (windowSeen) view.Take(picture);
    };
    shown.pixelsWanted = [windowSeen] { return windowSeen; };
    DecoderTally tally;
    if (options.verbose) {
        shown.onDecoderError = [&console, line = std::string()](const char* text, int64_t) mutable {
            line += text;
            if (line.empty() || line.back() != '\n') return;
            line.pop_back();
            console.Message("decoder: " + line);
            line.clear();
        };
    } else {
        shown.onDecoderError = [&tally](const char* text, int64_t) { tally.Take(text); };
    }
    LinkSource source(options.input, options.baud, stop);
    LinkPipeline pipeline(std::move(shown), options.reorderMs, source.CanWait(), [&view] { view.Refresh(); });

    OrderlyStop orderlyStop([&] {
        stop = true;
        QCoreApplication::quit();
    });
    LinkReader reader(source, pipeline, recorder.get(), console, counts, quiet, stop, [] {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    StatusTick tick(counts, quiet, console, recorder.get(), options.verbose ? nullptr : &tally, view,
                    !options.quiet);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&tick] { tick.Tick(); });
    timer.start(kStatusIntervalMs);

    reader.Start();
    app.exec();
    timer.stop();
    stop = true;
    reader.Join();
    const ReaderEnd end = reader.End();
    if (recorder) recorder->Finish();
    // The last line holds the totals, recorded bytes included, as they are
    // on the disk.
    if (end != ReaderEnd::kCannotOpen) tick.Tick();
    // What arrived before an input ended or failed is shown to its end.
    ShutDown(pipeline, end == ReaderEnd::kInputEnded || end == ReaderEnd::kInputFailed);

    if (end == ReaderEnd::kCannotOpen) {
        console.Message("cannot open " + options.input + ": " + reader.OpenError());
        return kStatusInputFailed;
    }
    if (recorder && recorder->Lost() > 0) {
        console.Message(std::to_string(recorder->Lost()) + " received bytes were not recorded");
        return kStatusBytesLost;
    }
    return end == ReaderEnd::kInputFailed ? kStatusInputFailed : kStatusOk;
}

}  // namespace

int main(int argc, char** argv) {
    const LiveOptions options = ParseLiveOptions(argc, argv);
    switch (options.action) {
        case Action::kHelp: PrintLiveUsage(); return kStatusOk;
        case Action::kVersion: std::printf("downlink-live %s\n", kProjectVersion); return kStatusOk;
        case Action::kUsageError:
            std::fprintf(stderr, "downlink-live: %s\nTry 'downlink-live --help'.\n", options.error.c_str());
            return kStatusUsage;
        case Action::kRun: break;
    }
    // A file over the size limit makes write() fail, which the recorder
    // reports, rather than killing the program with its pictures.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    QuietKnownHarmlessQtMessages();
    PreferOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ReportWhenHeadless(app, "downlink-live");
    return Run(options, app);
}
