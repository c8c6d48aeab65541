#include "lib/live/link_source.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "lib/live/serial_line.h"
#include "core/ffmpeg/error_text.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

namespace live {

namespace {

constexpr int kFirstBackoffMs = 250;
constexpr int kLastBackoffMs = 4000;

bool IsStandardInput(const std::string& url) { return url == "pipe:" || url == "pipe:0"; }

SourceKind KindOfScheme(const std::string& scheme) {
    if (scheme == "udp" || scheme == "rist") return SourceKind::kDatagrams;
    if (scheme == "tcp" || scheme == "srt") return SourceKind::kConnection;
    if (scheme == "file") return SourceKind::kFile;
    return SourceKind::kStream;
}

}  // namespace

SourcePlan PlanSource(const std::string& input) {
    SourcePlan plan;
    if (input == "-") {
        plan.url = "pipe:0";
        plan.scheme = "pipe";
        return plan;
    }
    const size_t colon = input.find(':');
    const bool hasScheme = colon != std::string::npos && colon > 1 &&
                           input.find('/') > colon &&
                           std::all_of(input.begin(), input.begin() + static_cast<long>(colon),
                                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+'; });
    if (hasScheme) {
        plan.scheme = input.substr(0, colon);
        plan.kind = KindOfScheme(plan.scheme);
        plan.url = input;
        plan.canWait = plan.kind != SourceKind::kDatagrams &&
                       (plan.scheme != "srt" || input.find("transtype=file") != std::string::npos);
        return plan;
    }
    if (IsSerialDevice(input)) {
        plan.kind = SourceKind::kSerial;
        plan.scheme = "pipe";
        return plan;
    }
    // "file:" keeps a path with a colon in it from being read as a scheme.
    plan.kind = SourceKind::kFile;
    plan.scheme = "file";
    plan.url = "file:" + input;
    return plan;
}

LinkSource::LinkSource(const std::string& input, int baud, const std::atomic<bool>& stop)
    : input_(input), plan_(PlanSource(input)), baud_(baud), stop_(stop) {
    // The network protocols' one-time set-up (TLS libraries, for one).
    avformat_network_init();
}

LinkSource::~LinkSource() {
    Close();
    if (stdinFlags_ >= 0) fcntl(STDIN_FILENO, F_SETFL, stdinFlags_);
}

int LinkSource::Interrupted(void* opaque) {
    return static_cast<const LinkSource*>(opaque)->stop_.load() ? 1 : 0;
}

AVDictionary* LinkSource::Options() const {
    AVDictionary* options = nullptr;
    if (plan_.scheme == "udp") {
        // A wait for a datagram returns now and then, so that a stop is
        // seen and frames held for a gap go on in time; overruns of FFmpeg's
        // own receive buffer lose datagrams, as the link itself would, and
        // do not end the input.
        av_dict_set(&options, "timeout", "20000", 0);
        av_dict_set(&options, "overrun_nonfatal", "1", 0);
        av_dict_set(&options, "buffer_size", "4194304", 0);
        av_dict_set(&options, "fifo_size", "65536", 0);
    }
    if (plan_.kind == SourceKind::kFile) av_dict_set(&options, "follow", "1", 0);
    return options;
}

int LinkSource::Open(std::string& error) {
    Close();
    if (plan_.kind == SourceKind::kSerial) {
        serialFd_ = OpenSerialLine(input_, baud_, error);
        if (serialFd_ < 0) return AVERROR(EIO);
        plan_.url = "pipe:" + std::to_string(serialFd_);
    } else if (IsStandardInput(plan_.url) && stdinFlags_ < 0) {
        // A blocking read of an idle pipe would never look at the interrupt
        // callback; a non-blocking one says EAGAIN, which the I/O layer
        // retries, asking the callback each time.
        stdinFlags_ = fcntl(STDIN_FILENO, F_GETFL);
        if (stdinFlags_ >= 0) fcntl(STDIN_FILENO, F_SETFL, stdinFlags_ | O_NONBLOCK);
    }
    AVDictionary* options = Options();
    const AVIOInterruptCB interrupt = {&LinkSource::Interrupted, this};
    const int opened = avio_open2(&io_, plan_.url.c_str(), AVIO_FLAG_READ, &interrupt, &options);
    av_dict_free(&options);
    if (opened < 0) {
        io_ = nullptr;
        error = ErrorText(opened);
        if (serialFd_ >= 0) {
            close(serialFd_);
            serialFd_ = -1;
        }
    }
    return opened;
}

int LinkSource::Read(uint8_t* buffer, int size) {
    if (io_ == nullptr) return AVERROR(EINVAL);
    if (stop_) return AVERROR_EXIT;
    const int n = avio_read_partial(io_, buffer, size);
    if (n == 0) return io_->eof_reached ? AVERROR_EOF : AVERROR(EAGAIN);
    if (plan_.kind == SourceKind::kDatagrams && !stop_ && (n == AVERROR(EIO) || n == AVERROR(ETIMEDOUT))) {
        // The wait for a datagram timed out (UDP's own timeout is its read
        // timeout): a quiet link, not an end. The context keeps the error
        // until told otherwise.
        io_->error = 0;
        io_->eof_reached = 0;
        return AVERROR(EAGAIN);
    }
    return n;
}

void LinkSource::Close() {
    if (io_ != nullptr) avio_closep(&io_);
    if (serialFd_ >= 0) {
        close(serialFd_);
        serialFd_ = -1;
    }
}

bool LinkSource::SleepUnlessStopped(int milliseconds) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        if (stop_) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !stop_;
}

bool LinkSource::Reopen() {
    Close();
    int backoff = kFirstBackoffMs;
    while (SleepUnlessStopped(backoff)) {
        std::string error;
        if (Open(error) == 0) return true;
        backoff = std::min(backoff * 2, kLastBackoffMs);
    }
    return false;
}

}  // namespace live
