// Channel 0's crop: the centred 1280 x 1024 window out of a 1920 x 1080 RGB
// picture, copied per picture into the preallocated crop buffer.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "pipeline/decode_data.h"

namespace {

constexpr size_t kPictureBytes = 1920 * 1080 * 3;
constexpr int64_t kCroppedBytes = 1024 * 1280 * 3;

void BM_CropChannel0(benchmark::State& state) {
    std::vector<uint8_t> picture(kPictureBytes);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> crop(DecodeData::kCropBufSize);
    for (auto _ : state) {
        DecodeData::CropChannel0(crop.data(), picture.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * kCroppedBytes);
}
BENCHMARK(BM_CropChannel0);

}  // namespace
