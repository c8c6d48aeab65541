#include "lib/sending/link_sender.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "lib/cli/reason_text.h"
#include "core/ffmpeg/error_text.h"
#include "core/format/link_frame.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

namespace send_recording {

namespace {

using Clock = std::chrono::steady_clock;

// Packets planned together; even, so that a swapped pair is never split.
constexpr uint64_t kPlanPackets = 64;

int Interrupted(void* opaque) { return static_cast<const std::atomic<bool>*>(opaque)->load() ? 1 : 0; }

bool IsSrtLiveMode(const std::string& url) {
    return url.rfind("srt://", 0) == 0 && url.find("transtype=file") == std::string::npos;
}

// Why a recording cannot be read; empty when it can be. A folder opens as
// a file would and only its reads fail, which would send nothing in silence.
std::string RecordingProblem(const std::string& path) {
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) return errno == ENOENT ? "no such file" : AsReason(std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return "it is a folder";
    return {};
}

class Sender {
public:
    Sender(const SendOptions& options, const std::atomic<bool>& stop)
        : options_(options),
          stop_(stop),
          packetBytes_(options.framesPerPacket * link_frame::kFrameSize),
          intervalMs_(1000.0 * packetBytes_ / options.rate) {}
    ~Sender() {
        if (io_ != nullptr) avio_closep(&io_);
    }

    int Run() {
        std::string problem = RecordingProblem(options_.recording);
        std::ifstream file(options_.recording, std::ios::binary);
        if (problem.empty() && !file) problem = AsReason(std::strerror(errno));
        if (!problem.empty()) {
            std::fprintf(stderr, "downlink-send: cannot open %s: %s\n", options_.recording.c_str(), problem.c_str());
            return kStatusCannotOpen;
        }
        const std::string url = OutputUrl(options_.output, packetBytes_);
        const AVIOInterruptCB interrupt = {&Interrupted, const_cast<std::atomic<bool>*>(&stop_)};
        AVDictionary* protocolOptions = nullptr;
        // SRT's live mode closes at once by default, losing what is still in
        // flight: the end of the recording. Its file mode already waits up
        // to three minutes for a receiver that holds the stream back; a
        // shorter wait would drop the end of the recording whenever the
        // receiver is more than that far behind.
        if (IsSrtLiveMode(options_.output)) av_dict_set(&protocolOptions, "linger", "10", 0);
        const int opened = avio_open2(&io_, url.c_str(), AVIO_FLAG_WRITE, &interrupt, &protocolOptions);
        av_dict_free(&protocolOptions);
        if (opened < 0) {
            if (stop_) return kStatusOk;
            std::fprintf(stderr, "downlink-send: cannot open %s: %s\n", options_.output.c_str(),
                         AsReason(ErrorText(opened)).c_str());
            return kStatusCannotOpen;
        }
        start_ = Clock::now();
        do {
            file.clear();
            file.seekg(0);
            if (!SendFile(file)) return stop_ ? kStatusOk : kStatusSendFailed;
        } while (options_.loop && !stop_);
        avio_flush(io_);
        return io_->error < 0 && !stop_ ? kStatusSendFailed : kStatusOk;
    }

private:
    // Reads a block of packets, then sends them as planned; false on failure.
    bool SendFile(std::ifstream& file) {
        std::vector<uint8_t> block(static_cast<size_t>(packetBytes_) * kPlanPackets);
        while (!stop_) {
            file.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
            const size_t got = static_cast<size_t>(file.gcount());
            if (got == 0) return true;
            const uint64_t packets = (got + packetBytes_ - 1) / packetBytes_;
            const auto plan =
                PlanDepartures(options_.impairments, options_.seed, nextPacket_, packets, intervalMs_);
            for (const Departure& departure : plan) {
                const size_t offset = static_cast<size_t>(departure.packet - nextPacket_) * packetBytes_;
                const size_t size = std::min<size_t>(packetBytes_, got - offset);
                if (!SendAt(departure.atMs, block.data() + offset, size)) return false;
            }
            nextPacket_ += packets;
        }
        return false;
    }

    bool InOutage(double atMs) const {
        for (const Outage& outage : options_.outages) {
            const double from = outage.startSeconds * 1000.0;
            if (atMs >= from && atMs < from + outage.seconds * 1000.0) return true;
        }
        return false;
    }

    bool SendAt(double atMs, const uint8_t* data, size_t size) {
        const auto due = start_ + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double, std::milli>(atMs));
        while (!stop_ && Clock::now() < due) {
            std::this_thread::sleep_for(std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(20)));
        }
        if (stop_) return false;
        if (InOutage(atMs)) return true;
        avio_write(io_, data, static_cast<int>(size));
        avio_flush(io_);
        if (io_->error < 0) {
            std::fprintf(stderr, "downlink-send: sending to %s failed: %s\n", options_.output.c_str(),
                         AsReason(ErrorText(io_->error)).c_str());
            return false;
        }
        return true;
    }

    const SendOptions& options_;
    const std::atomic<bool>& stop_;
    const int packetBytes_;
    const double intervalMs_;
    AVIOContext* io_ = nullptr;
    Clock::time_point start_;
    uint64_t nextPacket_ = 0;
};

}  // namespace

int SendRecording(const SendOptions& options, const std::atomic<bool>& stop) {
    Sender sender(options, stop);
    return sender.Run();
}

}  // namespace send_recording
