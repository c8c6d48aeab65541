#include "lib/live/link_reader.h"

#include <chrono>
#include <vector>

#include "lib/cli/reason_text.h"
#include "lib/live/console.h"
#include "lib/live/recorder.h"
#include "core/ffmpeg/error_text.h"
#include "core/session/link_pipeline.h"

extern "C" {
#include <libavutil/error.h>
}

namespace live {

namespace {

// One read completes at most kReadSize / 512 + 1 link frames; the reader of
// a source that can wait reads on only while that many more payloads fit
// under the queue's discard limit.
constexpr int kReadSize = 64 * 1024;
constexpr size_t kFramesPerRead = kReadSize / link_frame::kFrameSize + 1;
constexpr size_t kRoomNeeded = LinkPipeline::kQueueLimit - 2 * kFramesPerRead;
constexpr auto kRoomPoll = std::chrono::milliseconds(2);

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

}  // namespace

LinkReader::LinkReader(LinkSource& source, LinkPipeline& pipeline, Recorder* recorder,
                       Console& console, SharedLinkStatistics& counts, QuietWatch& quiet,
                       const std::atomic<bool>& stop, std::function<void()> finished)
    : source_(source),
      pipeline_(pipeline),
      recorder_(recorder),
      console_(console),
      counts_(counts),
      quiet_(quiet),
      stop_(stop),
      finished_(std::move(finished)) {}

LinkReader::~LinkReader() { Join(); }

void LinkReader::Start() { thread_ = std::thread(&LinkReader::Run, this); }

void LinkReader::Join() {
    if (thread_.joinable()) thread_.join();
}

// A caller started before its peer waits for it as for a peer that went
// away; anything else that cannot be opened (a listener's port taken, a
// missing file, a bad URL) would not open by waiting.
bool LinkReader::OpenFirst() {
    if (source_.Open(openError_) == 0) return true;
    if (stop_ || !source_.PeerMissing()) return false;
    console_.Message("waiting for " + source_.Input() + ": " + openError_ + "; trying again");
    return source_.Reopen(openError_, LinkSource::Retry::kWhilePeerMissing);
}

void LinkReader::Run() {
    if (!OpenFirst()) {
        end_ = stop_ ? ReaderEnd::kStopped : ReaderEnd::kCannotOpen;
        if (finished_) finished_();
        return;
    }
    // Made only now, so that an input that never opens leaves no empty
    // recording behind.
    if (recorder_ != nullptr) recorder_->Start();
    std::vector<uint8_t> buffer(kReadSize);
    while (!stop_) {
        if (!WaitForRoom()) break;
        const int n = source_.Read(buffer.data(), kReadSize);
        if (n > 0) {
            Arrived(buffer.data(), n);
            continue;
        }
        if (n == AVERROR(EAGAIN)) {
            // No bytes for a while: held frames whose gap waited its window
            // out go on.
            pipeline_.Tick(NowMs());
            PublishCounts();
            continue;
        }
        if (n == AVERROR_EXIT || stop_) break;
        if (source_.Reconnects()) {
            console_.Message(source_.Input() + ": connection ended (" + AsReason(ErrorText(n)) +
                             "); opening it again");
            std::string error;
            if (!source_.Reopen(error)) break;
            continue;
        }
        end_ = EndOfInput(n);
        pipeline_.Flush();
        PublishCounts();
        if (finished_) finished_();
        return;
    }
    end_ = ReaderEnd::kStopped;
}

// Only standard input, a pipe or another stream ends in order. A serial
// line's end is a hang-up (a modem's carrier lost, an adapter unplugged),
// and a read error is a failure: both are said, and the program's status
// tells a supervisor that the link was lost.
ReaderEnd LinkReader::EndOfInput(int code) {
    if (code == AVERROR_EOF && source_.Kind() != SourceKind::kSerial) return ReaderEnd::kInputEnded;
    console_.Message(source_.Input() + ": " +
                     (code == AVERROR_EOF ? "the serial line hung up" : AsReason(ErrorText(code))));
    return ReaderEnd::kInputFailed;
}

bool LinkReader::WaitForRoom() {
    if (!source_.CanWait()) return true;
    while (pipeline_.QueuedPayloads() > kRoomNeeded) {
        if (stop_) return false;
        std::this_thread::sleep_for(kRoomPoll);
    }
    return true;
}

void LinkReader::Arrived(const uint8_t* data, int size) {
    if (const auto silence = quiet_.Arrived(Clock::now())) {
        console_.Message("link back after " + Span(*silence) + " (" + TimeOfDay(std::chrono::system_clock::now()) +
                         ")");
    }
    counts_.bytes += static_cast<uint64_t>(size);
    // Recorded before it is parsed, so that every byte received is kept
    // whatever the pipeline makes of it.
    if (recorder_ != nullptr) recorder_->Keep(data, static_cast<size_t>(size));
    // A source that can wait was read only with room for all it completes;
    // only a datagram source meets the queue's discard rule.
    pipeline_.Parse(data, size, NowMs());
    PublishCounts();
}

void LinkReader::PublishCounts() {
    const link_frames::State& link = pipeline_.LinkCounts();
    counts_.linkFrames = link.linkFrameCount;
    counts_.invalidFrames = link.invalidFrameCount;
    counts_.sequenceBreaks = static_cast<uint64_t>(link.lostCount);
    const FrameOrderCounts& order = pipeline_.OrderCounts();
    counts_.lostFrames = order.lost;
    counts_.lateFrames = order.late;
    counts_.duplicateFrames = order.duplicate;
    counts_.discardedPayloads = pipeline_.DiscardedPayloads();
}

}  // namespace live
