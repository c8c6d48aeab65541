#pragma once
// The reader thread: takes the link's bytes as they arrive, hands each to
// the recorder and then to the pipeline's link parser (its only producer),
// and keeps the counts of the status line.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "lib/live/link_source.h"
#include "lib/live/link_watch.h"

class LinkPipeline;

namespace live {

class Console;
class Recorder;

enum class ReaderEnd {
    kRunning,
    kStopped,     // asked to stop
    kInputEnded,   // a finite input ended
    kInputFailed,  // reading failed, or a serial line hung up
    kCannotOpen,   // the input could not be opened, nor waited for
};

class LinkReader {
public:
    // `finished` runs on the reader thread when it ends on its own.
    LinkReader(LinkSource& source, LinkPipeline& pipeline, Recorder* recorder, Console& console,
               SharedLinkStatistics& counts, QuietWatch& quiet, const std::atomic<bool>& stop,
               std::function<void()> finished);
    ~LinkReader();
    void Start();
    void Join();
    ReaderEnd End() const { return end_; }
    const std::string& OpenError() const { return openError_; }

private:
    void Run();
    bool OpenFirst();
    bool WaitForRoom();
    ReaderEnd EndOfInput(int code);
    void Arrived(const uint8_t* data, int size);
    void PublishCounts();

    LinkSource& source_;
    LinkPipeline& pipeline_;
    Recorder* recorder_;
    Console& console_;
    SharedLinkStatistics& counts_;
    QuietWatch& quiet_;
    const std::atomic<bool>& stop_;
    std::function<void()> finished_;
    std::atomic<ReaderEnd> end_{ReaderEnd::kRunning};
    std::string openError_;
    std::thread thread_;
};

}  // namespace live
