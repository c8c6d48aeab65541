#include "bench/whole_path/paced_playback.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <pthread.h>
#include <thread>

#include "bench/whole_path/player_path.h"
#include "core/format/nal_unit.h"
#include "core/format/replay_pace.h"
#include "pipeline/decode_data.h"
#include "pipeline/ingest/replay_pause.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDrainPollMs = 5;
constexpr auto kDrainLimit = std::chrono::seconds(5);

// For each picture, the chunk whose parsing makes the splitter hand on the
// picture's last slice: found by an unpaced pass over the same bytes, since
// the splitter's cuts depend on the bytes alone. Each continuation slice
// moves its picture's mark on, so that a picture of several slices counts
// from its last slice, not its first. Slices are told apart as the pipeline's
// router tells them (telemetry units, whose type bits read as a slice's, are
// not), so the marks follow the units the decoder gets.
class CompletingChunks {
public:
    explicit CompletingChunks(const std::vector<uint8_t>& recording) {
        DecodeData splitter;
        splitter.AllocateBuffers();
        splitter.Present(Presentation::Headless());
        size_t current = 0;
        splitter.onNal = [&](const uint8_t* unit, int32_t length) {
            if (nal_unit::OpensPicture(unit, length)) {
                chunks_.push_back(current);
            } else if (nal_unit::ContinuesPicture(unit, length) && !chunks_.empty()) {
                chunks_.back() = current;
            }
        };
        FeedUnpaced(splitter, recording, [&](size_t chunk) { current = chunk; });
    }

    const std::vector<size_t>& PerPicture() const { return chunks_; }

private:
    std::vector<size_t> chunks_;
};

double CpuSeconds(pthread_t thread) {
    clockid_t clock;
    timespec now{};
    if (pthread_getcpuclockid(thread, &clock) != 0) return 0;
    if (clock_gettime(clock, &now) != 0) return 0;
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The worker may be inside a window call that the main thread carries out.
void ServeEvents() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, kDrainPollMs);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

PacedRun PlayPaced(const std::vector<uint8_t>& recording, bool withWindow) {
    const CompletingChunks completing(recording);
    PacedRun run;
    run.expectedPictures = static_cast<long>(completing.PerPicture().size());

    std::vector<Clock::time_point> chunkTimes((recording.size() + kReplayChunkSize - 1) / kReplayChunkSize);
    std::vector<Clock::time_point> pictureTimes(completing.PerPicture().size() + 64);
    std::atomic<size_t> shown{0};

    DecodeData pipeline;
    PrepareHeadlessDecoder(pipeline);
    Presentation presentation = Presentation::Headless();
    presentation.window = withWindow;
    pipeline.Present(presentation);
    pipeline.onPicture = [&](const ShownPicture&) {
        const size_t index = shown.fetch_add(1);
        if (index < pictureTimes.size()) pictureTimes[index] = Clock::now();
    };
    pipeline.StartWorker();
    const double mainCpuStart = CpuSeconds(pthread_self());
    const auto start = Clock::now();
    for (size_t chunk = 0; chunk < chunkTimes.size(); ++chunk) {
        const size_t offset = chunk * kReplayChunkSize;
        const size_t n = std::min<size_t>(kReplayChunkSize, recording.size() - offset);
        chunkTimes[chunk] = Clock::now();
        pipeline.ParseLink(recording.data() + offset, static_cast<int32_t>(n));
        PauseReplay(replay_pace::kPauseMs);
    }
    const auto replayEnd = Clock::now();
    while (shown < completing.PerPicture().size() && Clock::now() - replayEnd < kDrainLimit) {
        PauseReplay(kDrainPollMs);
    }
    run.workerCpuSeconds = CpuSeconds(pipeline.worker->native_handle());
    run.mainCpuSeconds = CpuSeconds(pthread_self()) - mainCpuStart;
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    pipeline.StopWorker(ServeEvents);

    run.pictures = static_cast<long>(shown.load());
    // Pictures and completing units pair up only when every picture came
    // out, in order, at its own last unit.
    if (run.pictures != run.expectedPictures) return run;
    for (size_t i = 0; i < completing.PerPicture().size(); ++i) {
        const auto queued = chunkTimes[completing.PerPicture()[i]];
        run.latencyMs.push_back(std::chrono::duration<double, std::milli>(pictureTimes[i] - queued).count());
    }
    return run;
}
