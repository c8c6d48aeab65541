// The replay thread's share of the work: link frames synchronised and
// parsed byte by byte, each payload copied into a new queue element under
// the lock. The queue is drained with the clock stopped, as the worker
// would drain it, so that it never reaches its overflow rule.

#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench/micro/recorded_input.h"
#include "core/format/replay_pace.h"
#include "pipeline/decode_data.h"

namespace {

constexpr size_t kChunkSize = replay_pace::kChunkBytes;
// 50 chunks hold 1000 frames: under the queue's 1024 limit, and long enough
// that stopping the clock between blocks costs nothing measurable.
constexpr size_t kChunksPerBlock = 50;

void Drain(DecodeData& pipeline) {
    while (tagFRAME_LIST_ELEMENT* element = pipeline.DequeuePayload()) DecodeData::FreeElement(element);
}

void BM_ParseLinkWithQueue(benchmark::State& state) {
    const BenchInput* input = InputForBenchmark(state);
    if (input == nullptr) return;
    const std::vector<uint8_t>& recording = input->recording;
    DecodeData pipeline;
    pipeline.AllocateBuffers();
    const size_t blockBytes = kChunkSize * kChunksPerBlock;
    for (auto _ : state) {
        for (size_t block = 0; block < recording.size(); block += blockBytes) {
            const size_t blockEnd = std::min(recording.size(), block + blockBytes);
            for (size_t offset = block; offset < blockEnd; offset += kChunkSize) {
                const size_t n = std::min(kChunkSize, blockEnd - offset);
                pipeline.ParseLink(recording.data() + offset, static_cast<int32_t>(n));
            }
            state.PauseTiming();
            Drain(pipeline);
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(recording.size()));
    state.counters["frames"] = static_cast<double>(pipeline.linkFrameCount);
    state.counters["lost"] = static_cast<double>(pipeline.lostCount);
}
BENCHMARK(BM_ParseLinkWithQueue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
