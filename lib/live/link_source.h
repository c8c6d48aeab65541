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

    // 0, or an AVERROR with `error` set to its text.
    int Open(std::string& error);
    // Bytes read (> 0), or an AVERROR: AVERROR_EXIT once stopped,
    // AVERROR_EOF at the input's end.
    int Read(uint8_t* buffer, int size);
    // Closes and opens again, waiting 0.25 s doubling up to 4 s between
    // attempts; false when stopped first.
    bool Reopen();
    void Close();

    SourceKind Kind() const { return plan_.kind; }
    bool CanWait() const { return plan_.canWait; }
    bool Reconnects() const { return plan_.kind == SourceKind::kConnection; }
    const std::string& Input() const { return input_; }

private:
    static int Interrupted(void* opaque);
    AVDictionary* Options() const;
    bool SleepUnlessStopped(int milliseconds) const;

    std::string input_;
    SourcePlan plan_;
    int baud_;
    const std::atomic<bool>& stop_;
    AVIOContext* io_ = nullptr;
    int serialFd_ = -1;
    int stdinFlags_ = -1;  // standard input's flags before we made it non-blocking
};

// FFmpeg's text for an AVERROR code.

}  // namespace live
