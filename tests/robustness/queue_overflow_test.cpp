// More than 1024 payloads arriving while the worker stands still: the queue
// drops its backlog, and the pictures behind the gap are shown again.
//
// End to end the worker is stalled without touching the player: it writes
// every telemetry line to standard output and flushes it, so a console that
// is not read (a pipe of one page) holds the worker inside that write while
// the main thread goes on replaying. The test reads nothing until the replay
// has read the whole file (seen through inotify), then lets the worker go.
// The unit test does the same through the seam the tools use: the pipeline
// is driven without its worker, so the queue fills, then is drained.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "core/format/byte_order.h"
#include "core/format/link_frame.h"
#include "core/format/replay_pace.h"
#include "pipeline/decode_data.h"
#include "tests/robustness/support/console_lines.h"
#include "tests/support/marked_streams.h"
#include "tests/support/player_process.h"

namespace {

using test_player::PlayerOptions;
using test_player::PlayerProcess;
using test_player::WorkFolder;

constexpr int kChunkSize = replay_pace::kChunkBytes;
constexpr int kPipePage = 4096;
// Lines that a one-page pipe takes before the worker blocks: about 75.
constexpr int kPicturesBeforeStall = 80;
// Behind the stall, one full backlog is dropped and this many payloads more
// stay queued, well clear of the next multiple of 1024 whatever the exact
// picture the worker stalls on.
constexpr size_t kPayloadsKeptAfterGap = 400;

struct MarkedStream {
    Bytes stream;
    std::vector<size_t> pictureStart;  // byte offset of picture i + 1's access unit
};

// Tiny IDR pictures, each with its parameter sets and telemetry unit, up to
// the one that brings the payloads behind the stall point to one backlog
// plus kPayloadsKeptAfterGap.
MarkedStream OverflowingStream() {
    const Bytes pictures = MarkedPictures(64, 64, 900, 1);
    const std::vector<size_t> starts = PictureStarts(pictures);
    MarkedStream out;
    const size_t payload = link_frame::kPayloadArea;
    size_t end = pictures.size();
    for (size_t i = kPicturesBeforeStall; i < starts.size(); ++i) {
        const size_t behindStall = (starts[i] - starts[kPicturesBeforeStall - 1]) / payload;
        if (behindStall >= DecodeData::kQueueLimit + kPayloadsKeptAfterGap) {
            end = starts[i];
            break;
        }
    }
    out.stream = Closed(Bytes(pictures.begin(), pictures.begin() + static_cast<std::ptrdiff_t>(end)));
    for (size_t start : starts) {
        if (start < end) out.pictureStart.push_back(start);
    }
    return out;
}

int LastMarker(const MarkedStream& stream) { return static_cast<int>(stream.pictureStart.size()); }

std::set<int> ShownMarkers(const ConsoleLines& lines) {
    std::set<int> shown;
    for (const std::string& line : lines) {
        if (MarkerOf(line) > 0) shown.insert(MarkerOf(line));
    }
    return shown;
}

// Counts the player's closes of the recording: it opens the file anew for
// every chunk and once more for the read that finds the end.
class RecordingReads {
public:
    explicit RecordingReads(const std::string& path) : fd_(inotify_init1(IN_CLOEXEC)) {
        inotify_add_watch(fd_, path.c_str(), IN_CLOSE_NOWRITE);
    }
    ~RecordingReads() { close(fd_); }
    bool WaitFor(int closes, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (seen_ < closes && std::chrono::steady_clock::now() < deadline) {
            alignas(inotify_event) char buffer[4096];
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) continue;
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            for (ssize_t pos = 0; pos < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + pos);
                ++seen_;
                pos += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return seen_ >= closes;
    }

private:
    int fd_;
    int seen_ = 0;
};

TEST(QueueOverflow, StalledConsoleOverflowsTheQueueAndPicturesResumeAfterTheGap) {
    const MarkedStream marked = OverflowingStream();
    const Bytes recording = Framed(marked.stream);
    WorkFolder folder;
    folder.WriteRecording(recording);
    RecordingReads reads(folder.RecordingPath());
    PlayerOptions options;
    options.consolePipe = true;
    options.consolePipeCapacity = kPipePage;
    PlayerProcess player(DLP_PLAYER_PATH, folder, options);

    const int chunks = static_cast<int>((recording.size() + kChunkSize - 1) / kChunkSize);
    ASSERT_TRUE(reads.WaitFor(chunks + 1, std::chrono::seconds(120)));
    const int last = LastMarker(marked);
    player.ReadUntil([last](const ConsoleLines& lines) { return CountMarkers(lines, last, last) > 0; },
                     std::chrono::seconds(120));
    EXPECT_TRUE(player.Running()) << player.Stderr();
    EXPECT_EQ(player.Stop(), 0) << player.Stderr();

    const ConsoleLines lines = player.Lines();
    for (const std::string& line : lines) EXPECT_TRUE(IsWellFormedConsoleLine(line)) << line;
    const std::set<int> shown = ShownMarkers(lines);
    ASSERT_FALSE(shown.empty());
    // The backlog dropped at the overflow leaves a gap of hundreds of pictures.
    int firstMissing = 1;
    while (shown.count(firstMissing) != 0) ++firstMissing;
    const auto afterGap = std::count_if(shown.begin(), shown.end(),
                                        [firstMissing](int m) { return m > firstMissing; });
    RecordProperty("pictures", last);
    RecordProperty("shown", static_cast<int>(shown.size()));
    RecordProperty("firstMissing", firstMissing);
    EXPECT_GE(last - static_cast<int>(shown.size()), 300);
    EXPECT_GE(afterGap, 50);
    EXPECT_EQ(shown.count(last), 1u);
}

TEST(QueueOverflow, WithoutTheWorkerOnlyTheLastBacklogIsKeptAndDecoded) {
    const MarkedStream marked = OverflowingStream();
    const Bytes recording = Framed(marked.stream);
    DecodeData pipeline;
    pipeline.AllocateBuffers();
    ASSERT_EQ(pipeline.OpenDecoder(), 0);
    pipeline.Present(Presentation::Headless());
    std::vector<int> shown;
    pipeline.onPicture = [&shown](const ShownPicture& picture) {
        shown.push_back(le::ReadS32(picture.record.bytes + telemetry_field::kHeight) / 1000);
    };

    pipeline.ParseLink(recording.data(), static_cast<int32_t>(recording.size()));
    const size_t payloads = recording.size() / link_frame::kFrameSize;
    const size_t kept = (payloads - 1) % DecodeData::kQueueLimit + 1;
    ASSERT_EQ(pipeline.QueuedPayloads(), kept);
    EXPECT_EQ(pipeline.discardedPayloadCount, payloads - kept) << "every payload is kept or counted";
    while (pipeline.ProcessNextPayload()) {
    }

    // The first picture whose access unit begins inside the kept payloads
    // and every one after it are shown, in order; a picture cut at the front
    // may come first with the empty record.
    const size_t keptFrom = (payloads - kept) * link_frame::kPayloadArea;
    const auto firstWhole = std::lower_bound(marked.pictureStart.begin(), marked.pictureStart.end(), keptFrom);
    const int firstMarker = static_cast<int>(firstWhole - marked.pictureStart.begin()) + 1;
    if (!shown.empty() && shown.front() == 0) shown.erase(shown.begin());
    std::vector<int> expected;
    for (int m = firstMarker; m <= LastMarker(marked); ++m) expected.push_back(m);
    EXPECT_EQ(shown, expected);
}

}  // namespace
