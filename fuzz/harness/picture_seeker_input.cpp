// The review viewer's index and seeker on arbitrary bytes: the index keeps
// its pictures in show order with times that never go back, every key
// picture it names is one and is not shown after the picture it serves,
// and the seeker decodes any picture asked for, in any order, or says it
// cannot, never one outside the index.

#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "core/demux/byte_source.h"
#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/harness/invariant.h"
#include "lib/view/index_builder.h"
#include "lib/view/picture_seeker.h"

namespace {

void CheckIndex(const PictureIndex& index) {
    const int64_t count = static_cast<int64_t>(index.Count());
    for (int64_t n = 1; n <= count; ++n) {
        if (n > 1) FUZZ_INVARIANT(index.TimeOf(n) >= index.TimeOf(n - 1));
        FUZZ_INVARIANT(index.NumberOfTag(index.Picture(n).tag) == n);
        FUZZ_INVARIANT(index.NumberAtTime(index.TimeOf(n)) <= n);
        const int64_t key = index.KeyFor(n);
        FUZZ_INVARIANT(key >= 0 && key <= count);
        if (key > 0) {
            FUZZ_INVARIANT(index.Picture(key).key);
            FUZZ_INVARIANT(index.Picture(key).running <= index.Picture(n).running);
        }
    }
}

}  // namespace

int RunPictureSeekerInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t step = 1 + static_cast<size_t>(data[0]) * 67;
    const std::vector<uint8_t> recording(data + 2, data + size);
    PictureIndex index;
    IndexBuilder builder(std::make_unique<MemoryByteSource>(recording.data(), recording.size()), index);
    while (builder.Step(step)) {
    }
    // A recording still being written leaves its last picture in the parser.
    const bool complete = (data[1] & 1) != 0;
    if (complete) builder.Finish();
    index.SetComplete(complete);
    CheckIndex(index);

    const int64_t count = static_cast<int64_t>(index.Count());
    PictureSeeker seeker(std::make_unique<MemoryByteSource>(recording.data(), recording.size()), 1);
    const int64_t chosen = count > 0 ? 1 + static_cast<int64_t>(data[1] >> 1) % count : 1;
    for (int64_t n : {count, int64_t{1}, count / 2, chosen, chosen - 1, int64_t{0}, count + 1, count}) {
        const AVFrame* frame = seeker.Decode(index, n);
        if (n < 1 || n > count) FUZZ_INVARIANT(frame == nullptr);
        if (frame != nullptr) FUZZ_INVARIANT(frame->width > 0 && frame->height > 0);
    }
    return 0;
}
