#include "bench/micro/recorded_input.h"

#include "lib/reading/recording_reader.h"

namespace {

struct Loaded {
    bool ok = false;
    BenchInput input;
    std::string why;
};

Loaded LoadPattern() {
    Loaded loaded;
    loaded.ok = LoadOrMakeInput(kBenchWidth, kBenchHeight, kBenchPictures, 1, loaded.input, loaded.why);
    return loaded;
}

// The sample's elementary stream is the one the pipeline's own reader
// rebuilds from it, so both benchmarks see the bytes the player would.
Loaded LoadSample() {
    Loaded loaded;
    loaded.input.recordingPath = std::string(DLP_SOURCE_DIR) + "/samples/downlink-sample.dat";
    if (!ReadWholeFile(loaded.input.recordingPath, loaded.input.recording, loaded.why)) return loaded;
    ReadOptions options;
    loaded.input.elementaryStream = ReadRecordingBytes(loaded.input.recording, options).elementaryStream;
    loaded.ok = !loaded.input.elementaryStream.empty();
    if (!loaded.ok) loaded.why = "no units in " + loaded.input.recordingPath;
    return loaded;
}

}  // namespace

const BenchInput* RecordedInput(RecordedSource source, std::string& why) {
    static const Loaded pattern = LoadPattern();
    static const Loaded sample = LoadSample();
    const Loaded& loaded = source == RecordedSource::kPattern ? pattern : sample;
    why = loaded.why;
    return loaded.ok ? &loaded.input : nullptr;
}

const char* SourceLabel(RecordedSource source) {
    return source == RecordedSource::kPattern ? "pattern 1920x1080, 300 pictures" : "bundled sample";
}

const BenchInput* InputForBenchmark(benchmark::State& state) {
    std::string why;
    const auto source = static_cast<RecordedSource>(state.range(0));
    const BenchInput* input = RecordedInput(source, why);
    if (input == nullptr) {
        state.SkipWithError(why.c_str());
        return nullptr;
    }
    state.SetLabel(SourceLabel(source));
    return input;
}
