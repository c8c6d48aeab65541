// Thousands of pictures through one pipeline, unpaced: resident memory must
// stay flat once the decoder and the conversion have been set up. The
// figures go to the test's output; only a generous bound is asserted.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "core/format/replay_pace.h"
#include "pipeline/decode_data.h"
#include "tests/support/marked_streams.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define DLP_MEMORY_IS_INSTRUMENTED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define DLP_MEMORY_IS_INSTRUMENTED 1
#endif
#endif

namespace {

constexpr int kPicturesPerPass = 200;
constexpr int kPasses = 20;
constexpr int kWarmUpPasses = 2;
constexpr size_t kChunkSize = replay_pace::kChunkBytes;
// Far above what a leak-free run moves (allocator noise of a few hundred KB),
// far below what a leak of even a small buffer per picture or per size
// change adds up to.
constexpr double kAllowedGrowthMb = 12.0;

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Two sizes in turn, so that the conversion and its RGB buffer (some 250 KB)
// are made again 8 times a pass: a leak of either would add up to far more
// than the bound.
Bytes AlternatingSizesRecording() {
    Bytes stream;
    constexpr int kParts = 8;
    constexpr int kCount = kPicturesPerPass / kParts;
    for (int part = 0; part < kParts; ++part) {
        const bool even = part % 2 == 0;
        Append(stream, MarkedPictures(even ? 320 : 352, even ? 240 : 288, kCount, 1 + part * kCount, 10));
    }
    return Framed(stream);
}

void ReplayUnpaced(DecodeData& pipeline, const Bytes& recording) {
    for (size_t pos = 0; pos < recording.size(); pos += kChunkSize) {
        const size_t n = std::min(kChunkSize, recording.size() - pos);
        pipeline.ParseLink(recording.data() + pos, static_cast<int32_t>(n));
        while (pipeline.ProcessNextPayload()) {
        }
    }
}

TEST(MemoryOverTime, ResidentMemoryStaysFlatOverThousandsOfPictures) {
#ifdef DLP_MEMORY_IS_INSTRUMENTED
    GTEST_SKIP() << "a sanitizer's allocator holds freed memory back; LeakSanitizer covers leaks there";
#endif
    const Bytes recording = AlternatingSizesRecording();
    DecodeData pipeline;
    pipeline.AllocateBuffers();
    ASSERT_EQ(pipeline.OpenDecoder(), 0);
    pipeline.Present(Presentation::Headless());
    int pictures = 0;
    pipeline.onPicture = [&pictures](const ShownPicture&) {
        ++pictures;
    };

    const double atStart = ResidentMb();
    for (int pass = 0; pass < kWarmUpPasses; ++pass) ReplayUnpaced(pipeline, recording);
    const double afterWarmUp = ResidentMb();
    for (int pass = kWarmUpPasses; pass < kPasses; ++pass) ReplayUnpaced(pipeline, recording);
    const double atEnd = ResidentMb();

    std::printf("resident memory: %.1f MB at start, %.1f MB after %d pictures, %.1f MB after %d\n",
                atStart, afterWarmUp, kWarmUpPasses * kPicturesPerPass, atEnd, pictures);
    RecordProperty("residentAfterWarmUpKb", static_cast<int>(afterWarmUp * 1024));
    RecordProperty("residentAtEndKb", static_cast<int>(atEnd * 1024));
    // Every pass after the first restarts at an IDR picture, so all are shown.
    EXPECT_GE(pictures, kPasses * kPicturesPerPass - kPicturesPerPass / 10);
    EXPECT_LT(atEnd - afterWarmUp, kAllowedGrowthMb);
}

}  // namespace
