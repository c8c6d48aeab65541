#include "lib/live/link_source.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "lib/cli/reason_text.h"
#include "lib/live/serial_line.h"
#include "core/ffmpeg/error_text.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/parseutils.h>
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

// Whether a connection's URL waits for its peer: tcp's "listen" (a bare one
// counts, as FFmpeg reads it) or srt's mode=listener.
bool Listens(const std::string& scheme, const std::string& url) {
    const size_t query = url.find('?');
    if (query == std::string::npos) return false;
    char value[64];
    const char* options = url.c_str() + query;
    if (scheme == "tcp") {
        if (av_find_info_tag(value, sizeof value, "listen", options) == 0) return false;
        char* end = nullptr;
        const long listen = std::strtol(value, &end, 10);
        return end == value || listen != 0;
    }
    return av_find_info_tag(value, sizeof value, "mode", options) != 0 && std::strcmp(value, "listener") == 0;
}

struct HostPort {
    std::string host;
    int port = -1;  // -1: none given
};

HostPort HostAndPort(const std::string& url) {
    char protocol[32];
    char authorization[256];
    char host[256];
    char path[1024];
    HostPort split;
    av_url_split(protocol, sizeof protocol, authorization, sizeof authorization, host, sizeof host, &split.port,
                 path, sizeof path, url.c_str());
    split.host = host;
    return split;
}

// FFmpeg says only "Input/output error" when a host name does not resolve;
// empty when it resolves.
std::string UnresolvedHost(const std::string& host) {
    if (host.empty()) return {};
    addrinfo* found = nullptr;
    const int failure = getaddrinfo(host.c_str(), nullptr, nullptr, &found);
    if (failure == 0) {
        freeaddrinfo(found);
        return {};
    }
    return "unknown host " + host + " (" + AsReason(gai_strerror(failure)) + ")";
}

bool IsMulticast(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        return IN_MULTICAST(ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr));
    }
    return address->sa_family == AF_INET6 &&
           IN6_IS_ADDR_MULTICAST(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
}

// FFmpeg's UDP input loses the reason why it could not bind: its log call
// overwrites errno before it is read, which then says "Inappropriate ioctl
// for device". Binding the port as FFmpeg does (the wildcard address of the
// host's family, shared for a multicast group) finds the reason again; 0
// when that bind succeeds.
int UdpBindFailure(const HostPort& where) {
    const std::string port = std::to_string(where.port);
    addrinfo hints = {};
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* target = nullptr;
    if (getaddrinfo(where.host.empty() ? nullptr : where.host.c_str(), port.c_str(), &hints, &target) != 0) return 0;
    hints.ai_family = target->ai_family;
    const bool shared = IsMulticast(target->ai_addr);
    freeaddrinfo(target);
    addrinfo* local = nullptr;
    if (getaddrinfo(nullptr, port.c_str(), &hints, &local) != 0) return 0;
    int failure = 0;
    const int fd = socket(local->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        const int one = 1;
        if (shared) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(fd, local->ai_addr, local->ai_addrlen) != 0) failure = errno;
        close(fd);
    }
    freeaddrinfo(local);
    return failure;
}

// The failures of a caller whose peer is not there (yet), as opposed to a
// URL that cannot work. libsrt reports a connection it could not make as an
// I/O error.
bool MeansPeerMissing(int code, const std::string& scheme) {
    for (const int kind : {ECONNREFUSED, ETIMEDOUT, EHOSTUNREACH, ENETUNREACH, EHOSTDOWN, ENETDOWN,
                           ECONNRESET, ECONNABORTED}) {
        if (code == AVERROR(kind)) return true;
    }
    return scheme == "srt" && code == AVERROR(EIO);
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
        plan.caller = plan.kind == SourceKind::kConnection && !Listens(plan.scheme, input);
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
    if (WaitsInsideFfmpeg()) {
        // A file followed at its end, or an idle pipe, would keep the read
        // inside FFmpeg's retries for as long as nothing comes; returning
        // now and then lets frames held for a gap go on in time.
        av_dict_set(&options, "rw_timeout", "50000", 0);
    }
    return options;
}

// FFmpeg's UDP input would listen on a port of the system's choosing, which
// no sender knows; its TCP and SRT say only "Invalid argument".
bool LinkSource::NamesNoPort() const {
    const bool network = plan_.kind == SourceKind::kDatagrams || plan_.kind == SourceKind::kConnection;
    return network && HostAndPort(plan_.url).port <= 0;
}

bool LinkSource::PrepareDescriptors(std::string& error) {
    if (plan_.kind == SourceKind::kSerial) {
        serialFd_ = OpenSerialLine(input_, baud_, error);
        if (serialFd_ < 0) {
            error = AsReason(error);
            return false;
        }
        plan_.url = "pipe:" + std::to_string(serialFd_);
    } else if (IsStandardInput(plan_.url) && stdinFlags_ < 0) {
        // A blocking read of an idle pipe would never look at the interrupt
        // callback; a non-blocking one says EAGAIN, which the I/O layer
        // retries, asking the callback each time.
        stdinFlags_ = fcntl(STDIN_FILENO, F_GETFL);
        if (stdinFlags_ >= 0) fcntl(STDIN_FILENO, F_SETFL, stdinFlags_ | O_NONBLOCK);
    }
    return true;
}

int LinkSource::Open(std::string& error) {
    Close();
    peerMissing_ = false;
    if (NamesNoPort()) {
        error = "no port in " + input_;
        return AVERROR(EINVAL);
    }
    if (!PrepareDescriptors(error)) return AVERROR(EIO);
    AVDictionary* options = Options();
    const AVIOInterruptCB interrupt = {&LinkSource::Interrupted, this};
    const int opened = avio_open2(&io_, plan_.url.c_str(), AVIO_FLAG_READ, &interrupt, &options);
    av_dict_free(&options);
    if (opened < 0) {
        io_ = nullptr;
        Explain(opened, error);
        if (serialFd_ >= 0) {
            close(serialFd_);
            serialFd_ = -1;
        }
    }
    return opened;
}

void LinkSource::Explain(int code, std::string& error) {
    const bool network = plan_.kind == SourceKind::kDatagrams || plan_.kind == SourceKind::kConnection;
    const HostPort where = HostAndPort(plan_.url);
    if (network && code == AVERROR(EIO)) {
        error = UnresolvedHost(where.host);
        if (!error.empty()) return;
    }
    const int bindFailure = plan_.scheme == "udp" ? UdpBindFailure(where) : 0;
    error = AsReason(bindFailure != 0 ? std::strerror(bindFailure) : ErrorText(code));
    peerMissing_ = plan_.caller && MeansPeerMissing(code, plan_.scheme);
}

int LinkSource::Read(uint8_t* buffer, int size) {
    if (io_ == nullptr) return AVERROR(EINVAL);
    if (stop_) return AVERROR_EXIT;
    const int n = avio_read_partial(io_, buffer, size);
    if (n == 0) return io_->eof_reached ? AVERROR_EOF : AVERROR(EAGAIN);
    const bool quietEnds = plan_.kind == SourceKind::kDatagrams || WaitsInsideFfmpeg();
    if (quietEnds && !stop_ && (n == AVERROR(EIO) || n == AVERROR(ETIMEDOUT))) {
        // The wait for a datagram, or for a file or pipe to grow, timed out
        // (see Options): a quiet link, not an end. The context keeps the
        // error until told otherwise.
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

bool LinkSource::WaitsInsideFfmpeg() const {
    return plan_.kind == SourceKind::kFile || (plan_.kind == SourceKind::kStream && IsStandardInput(plan_.url));
}

bool LinkSource::SleepUnlessStopped(int milliseconds) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        if (stop_) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !stop_;
}

bool LinkSource::Reopen(std::string& error, Retry retry) {
    Close();
    int backoff = kFirstBackoffMs;
    while (SleepUnlessStopped(backoff)) {
        if (Open(error) == 0) return true;
        if (retry == Retry::kWhilePeerMissing && !peerMissing_) return false;
        backoff = std::min(backoff * 2, kLastBackoffMs);
    }
    return false;
}

}  // namespace live
