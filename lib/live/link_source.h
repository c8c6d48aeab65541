#pragma once
// Where the link's bytes come from: any input of FFmpeg's I/O layer, opened
// with avio_open2 and read with avio_read_partial, so that bytes are handed
// on the moment they arrive. Every wait inside the I/O layer asks `stop`
// through the interrupt callback, so a stop never waits for the link.

#include <atomic>
#include <cstdint>
#include <string>

extern "C" {
struct AVIOContext;
struct AVDictionary;
}

namespace live {

enum class SourceKind {
    kDatagrams,   // UDP, RIST: arrives at the sender's pace, cannot be held back
    kConnection,  // TCP, SRT: opened again when it ends
    kStream,      // standard input, a pipe or any other URL: its end is the end
    kFile,        // a plain file, followed as it grows
    kSerial,      // a terminal line in raw mode
};

// What an INPUT argument names, and the URL it is opened with.
struct SourcePlan {
    SourceKind kind = SourceKind::kStream;
    std::string url;
    std::string scheme;  // "udp", "tcp", "file", "pipe", ...
    // Whether the reader may wait for the pipeline before it reads on. A
    // sender that cannot be held back would only lose the bytes elsewhere:
    // UDP and RIST, and SRT in its live mode (the default), whose sender
    // drops what is late and whose connection breaks when the receiver
    // falls seconds behind. SRT with transtype=file waits like TCP.
    bool canWait = true;
    // A TCP or SRT connection that calls its peer, which may not be there
    // yet (not a listener: tcp's listen, srt's mode=listener).
    bool caller = false;
};

// Classifies INPUT by its scheme; a path without one is a file, unless it is
// a terminal device (then kSerial and the URL is filled in on opening).
SourcePlan PlanSource(const std::string& input);

class LinkSource {
public:
    LinkSource(const std::string& input, int baud, const std::atomic<bool>& stop);
    ~LinkSource();
    LinkSource(const LinkSource&) = delete;
    LinkSource& operator=(const LinkSource&) = delete;

    // How long Reopen goes on.
    enum class Retry {
        kAfterAnyFailure,    // a connection that ended: whatever stands in the way may pass
        kWhilePeerMissing,   // a caller that has not yet connected: only while its peer is not there
    };

    // 0, or an AVERROR with `error` set to the reason, in lower case.
    int Open(std::string& error);
    // Whether the last Open failed because a caller's peer is not there (yet):
    // refused, unreachable or timed out, as opposed to a bad URL.
    bool PeerMissing() const { return peerMissing_; }
    // Bytes read (> 0), or an AVERROR: AVERROR_EXIT once stopped,
    // AVERROR_EOF at the input's end.
    int Read(uint8_t* buffer, int size);
    // Closes and opens again, waiting 0.25 s doubling up to 4 s between
    // attempts, as long as `retry` allows; false when stopped first or a
    // failure ends it, with `error` set to that failure's reason.
    bool Reopen(std::string& error, Retry retry = Retry::kAfterAnyFailure);
    void Close();

    SourceKind Kind() const { return plan_.kind; }
    bool CanWait() const { return plan_.canWait; }
    bool Reconnects() const { return plan_.kind == SourceKind::kConnection; }
    const std::string& Input() const { return input_; }

private:
    static int Interrupted(void* opaque);
    AVDictionary* Options() const;
    bool NamesNoPort() const;
    bool PrepareDescriptors(std::string& error);
    void Explain(int code, std::string& error);
    // Reads that FFmpeg itself retries while nothing comes: a followed file,
    // standard input.
    bool WaitsInsideFfmpeg() const;
    bool SleepUnlessStopped(int milliseconds) const;

    std::string input_;
    SourcePlan plan_;
    int baud_;
    const std::atomic<bool>& stop_;
    AVIOContext* io_ = nullptr;
    int serialFd_ = -1;
    int stdinFlags_ = -1;  // standard input's flags before we made it non-blocking
    bool peerMissing_ = false;
};

}  // namespace live
