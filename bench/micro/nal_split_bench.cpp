// The worker's share before the decoder: payload bytes appended to the NAL
// assembly buffer, start codes found byte by byte, units handed over in
// place, and telemetry units captured. No decoder is opened, so every other
// unit ends at HandleNal's readiness check.

#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench/micro/recorded_input.h"
#include "pipeline/decode_data.h"

namespace {

constexpr size_t kPayloadSize = 480;  // what one link frame carries

void BM_SplitNalWithTelemetry(benchmark::State& state) {
    const BenchInput* input = InputForBenchmark(state);
    if (input == nullptr) return;
    const std::vector<uint8_t>& stream = input->elementaryStream;
    DecodeData pipeline;
    pipeline.AllocateBuffers();
    pipeline.Present(Presentation::Headless());
    int64_t units = 0;
    int64_t records = 0;
    pipeline.onNal = [&units](const uint8_t*, int32_t) { ++units; };
    pipeline.onTelemetry = [&records](const TelemetryRecord&) { ++records; };
    for (auto _ : state) {
        for (size_t offset = 0; offset < stream.size(); offset += kPayloadSize) {
            const size_t n = std::min(kPayloadSize, stream.size() - offset);
            pipeline.SplitNal(stream.data() + offset, static_cast<int32_t>(n));
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
    state.counters["units"] = benchmark::Counter(static_cast<double>(units), benchmark::Counter::kIsRate);
    state.counters["records"] =
        static_cast<double>(records) / static_cast<double>(std::max<int64_t>(1, state.iterations()));
}
BENCHMARK(BM_SplitNalWithTelemetry)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
