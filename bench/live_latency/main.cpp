// downlink-live's latency and capacity on this machine. The sample goes
// through downlink-send over UDP on loopback, at the link's pace, into the
// live reader and downlink-live's LinkPipeline in this process (no window): for every
// picture, the time from the arrival of the byte that completes it for the
// pipeline to the picture handed to the window, median and 99th percentile.
// Then as many headless pipelines as there are cores decode the sample
// unpaced at once: their pictures per second over 25 is how many 1080p links
// at 25 pictures a second the machine receives in real time.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "lib/live/link_source.h"
#include "bench/inputs/bench_input.h"
#include "bench/whole_path/stage_costs.h"
#include "core/demux/link_frames.h"
#include "core/session/link_pipeline.h"
#include "core/session/payload_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Feeds link bytes straight to a decoder, payload by payload.
class UnpacedPath {
public:
    explicit UnpacedPath(PayloadDecoderOptions options) : decoder_(std::move(options)) {}
    void Feed(const uint8_t* data, size_t size) {
        link_.Feed(data, static_cast<int32_t>(size), [this](const link_frames::Frame& frame) {
            if (frame.valid) decoder_.Split(frame.Payload(), static_cast<int32_t>(frame.payloadLength));
        });
    }

private:
    link_frames::Parser link_;
    PayloadDecoder decoder_;
};

// For each picture's tag, the link bytes fed when its slice reached the
// decoder, feeding one link frame at a time. Units other than slices (such as
// parameter sets) carry the tag of the picture before them, so only the
// first packet of a tag counts.
std::map<int64_t, uint64_t> CompletingOffsets(const std::string& sample) {
    std::map<int64_t, uint64_t> offsets;
    uint64_t fed = 0;
    PayloadDecoderOptions options;
    options.onPacket = [&](const uint8_t*, int32_t, int64_t tag) { offsets.emplace(tag, fed); };
    UnpacedPath path(std::move(options));
    for (size_t pos = 0; pos < sample.size(); pos += 512) {
        const size_t take = std::min<size_t>(512, sample.size() - pos);
        fed = pos + take;
        path.Feed(reinterpret_cast<const uint8_t*>(sample.data()) + pos, take);
    }
    return offsets;
}

pid_t StartSender(const std::string& sample, int port) {
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string url = "udp://127.0.0.1:" + std::to_string(port);
        execl(DLP_SEND_PATH, DLP_SEND_PATH, sample.c_str(), url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
    return values[i];
}

// Median last byte to picture shown, in ms; negative when nothing came.
double MeasureLatency(const std::string& name, const std::string& samplePath, const std::string& sample) {
    const auto offsets = CompletingOffsets(sample);
    const int port = 20000 + static_cast<int>(std::random_device{}() % 40000);
    std::atomic<bool> stop{false};
    live::LinkSource source("udp://127.0.0.1:" + std::to_string(port), 0, stop);
    std::string error;
    if (source.Open(error) < 0) {
        std::fprintf(stderr, "cannot open port %d: %s\n", port, error.c_str());
        return -1;
    }
    std::vector<std::pair<uint64_t, Clock::time_point>> arrivals;  // bytes so far, when
    std::vector<std::pair<int64_t, Clock::time_point>> shown;
    PayloadDecoderOptions options;
    options.onPicture = [&](const ShownPicture& picture) { shown.emplace_back(picture.tag, Clock::now()); };
    // downlink-live's own path, frame ordering included, less its window and lines.
    LinkPipeline pipeline(std::move(options), FrameOrder::kDefaultWindowMs);
    const pid_t sender = StartSender(samplePath, port);
    std::vector<uint8_t> buffer(65536);
    uint64_t received = 0;
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (received < sample.size() && Clock::now() < until) {
        const int n = source.Read(buffer.data(), static_cast<int>(buffer.size()));
        if (n <= 0) continue;
        received += static_cast<uint64_t>(n);
        arrivals.emplace_back(received, Clock::now());
        pipeline.Parse(buffer.data(), n,
                       std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    pipeline.Stop();
    waitpid(sender, nullptr, 0);

    std::vector<double> latencies;
    for (const auto& [tag, when] : shown) {
        const auto offset = offsets.find(tag);
        if (offset == offsets.end()) continue;
        const auto arrival = std::lower_bound(
            arrivals.begin(), arrivals.end(), offset->second,
            [](const std::pair<uint64_t, Clock::time_point>& a, uint64_t bytes) { return a.first < bytes; });
        if (arrival == arrivals.end()) continue;
        latencies.push_back(std::chrono::duration<double, std::milli>(when - arrival->second).count());
    }
    std::printf("%s: pictures shown: %zu of %zu, received %llu of %zu bytes\n", name.c_str(), shown.size(),
                offsets.size(), static_cast<unsigned long long>(received), sample.size());
    std::printf("%s: last byte to picture shown (no window): median %.2f ms, p99 %.2f ms\n", name.c_str(),
                Percentile(latencies, 0.5), Percentile(latencies, 0.99));
    return latencies.empty() ? -1 : Percentile(latencies, 0.5);
}

// The same pictures' decode and conversion, each timed alone, so that the
// latency can be read against the work it cannot avoid.
double PrintStageCosts(const std::string& name, const std::string& sample) {
    const std::vector<uint8_t> recording(sample.begin(), sample.end());
    const StageCosts costs = MeasureStageCosts(recording, false);
    std::printf("%s: per picture, decode %.2f ms, conversion to RGB %.2f ms (%ld pictures); the window "
                "adds its own drawing (dlp-whole-path-bench under a display measures it)\n",
                name.c_str(), costs.decodeMs, costs.conversionMs, costs.pictures);
    return costs.decodeMs + costs.conversionMs;
}

// The first 150 pictures of the benchmarks' 1920 x 1080 pattern in four
// slices, padded like the sample, as a file downlink-send can send.
bool FourSliceRecording(std::string& path, std::string& bytes) {
    BenchInput input;
    std::string error;
    std::vector<uint8_t> recording;
    if (!LoadOrMakeInput(kBenchWidth, kBenchHeight, kBenchPictures, kBenchSlices, input, error) ||
        !MakePacedRecording(input, 150, 480000, recording, error)) {
        std::fprintf(stderr, "four-slice input not made: %s\n", error.c_str());
        return false;
    }
    path = input.recordingPath + ".paced150";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(recording.data()),
                                                static_cast<std::streamsize>(recording.size()));
    bytes.assign(recording.begin(), recording.end());
    return true;
}

void MeasureCapacity(const std::string& sample) {
    const unsigned pipelines = std::max(1u, std::thread::hardware_concurrency());
    std::atomic<uint64_t> pictures{0};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < pipelines; ++i) {
        threads.emplace_back([&] {
            PayloadDecoderOptions options;
            options.onPicture = [&](const ShownPicture&) { ++pictures; };
            UnpacedPath path(std::move(options));
            path.Feed(reinterpret_cast<const uint8_t*>(sample.data()), sample.size());
        });
    }
    for (std::thread& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rate = static_cast<double>(pictures) / seconds;
    std::printf("%u pipelines at once, unpaced, no window: %.1f pictures/s in all = %.1f links of 1080p at 25 pictures/s\n",
                pipelines, rate, rate / 25.0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string samplePath = argc > 1 ? argv[1] : DLP_SOURCE_DIR "/samples/downlink-sample.dat";
    const std::string sample = ReadAll(samplePath);
    if (sample.empty()) {
        std::fprintf(stderr, "cannot read %s\n", samplePath.c_str());
        return 1;
    }
    const double work = PrintStageCosts("sample", sample);
    const double median = MeasureLatency("sample", samplePath, sample);
    if (median >= 0) {
        std::printf("sample: median latency over decode + conversion: %+.2f ms (goal: within 3 ms): %s\n",
                    median - work, median - work <= 3.0 ? "met" : "not met");
    }
    std::string slicedPath, sliced;
    if (FourSliceRecording(slicedPath, sliced)) {
        // Measured from the byte that completed the picture's packet: the
        // parser hands a picture of several slices on only when the next
        // picture's first slice arrives, one picture interval after the
        // picture's own last byte, which comes on top of this figure.
        MeasureLatency("4 slices (from the byte completing its packet)", slicedPath, sliced);
    }
    MeasureCapacity(sample);
    return 0;
}
