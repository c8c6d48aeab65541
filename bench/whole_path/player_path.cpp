#include "bench/whole_path/player_path.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "pipeline/decode_data.h"

namespace {

double ThisThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

void PrepareHeadlessDecoder(DecodeData& pipeline) {
    pipeline.AllocateBuffers();
    pipeline.OpenDecoder();
    pipeline.Present(Presentation::Headless());
}

void FeedUnpaced(DecodeData& pipeline, const std::vector<uint8_t>& recording,
                 const std::function<void(size_t chunk)>& beforeChunk) {
    size_t chunk = 0;
    for (size_t offset = 0; offset < recording.size(); offset += kReplayChunkSize, ++chunk) {
        const size_t n = std::min<size_t>(kReplayChunkSize, recording.size() - offset);
        if (beforeChunk) beforeChunk(chunk);
        pipeline.FeedAndSplit(recording.data() + offset, n);
    }
}

PlayerRun PlayUnpaced(const std::vector<uint8_t>& recording) {
    DecodeData pipeline;
    PrepareHeadlessDecoder(pipeline);
    PlayerRun run;
    pipeline.onPicture = [&run](const ShownPicture&) {
        ++run.pictures;
    };
    const double cpuStart = ThisThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    FeedUnpaced(pipeline, recording);
    run.cpuSeconds = ThisThreadCpuSeconds() - cpuStart;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}
