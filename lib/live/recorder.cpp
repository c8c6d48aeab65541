#include "lib/live/recorder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "lib/cli/reason_text.h"
#include "lib/live/recording_files.h"
#include "core/format/link_frame.h"

namespace live {

namespace {
// The writer wakes at least this often, so bytes reach the file within it.
constexpr auto kWriteInterval = std::chrono::milliseconds(200);
constexpr size_t kWakeBytes = 256u << 10;
}  // namespace

Recorder::Recorder(std::function<void(const std::string&)> report) : report_(std::move(report)) {}

Recorder::~Recorder() { Finish(); }

std::string Recorder::FirstFileName() const {
    return settings_.splitMinutes > 0 ? SplitFileName(settings_.path, 1) : settings_.path;
}

// 0, or the errno of a file that could not be made.
int Recorder::OpenFile(const std::string& path) {
    // O_EXCL: an existing file is never overwritten unless asked to.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (settings_.force ? O_TRUNC : O_EXCL);
    fd_ = open(path.c_str(), flags, 0644);
    if (fd_ < 0) return errno;
    currentPath_ = path;
    return 0;
}

// A split recording goes on in the next number that is free, so that files
// left by an earlier run, or made meanwhile, are kept and the recording does
// not stop; --force overwrites them instead.
bool Recorder::OpenNumberedFile(std::string& error) {
    std::string taken;
    for (;;) {
        const std::string path = SplitFileName(settings_.path, ++fileNumber_);
        const int failure = OpenFile(path);
        if (failure == EEXIST) {
            if (taken.empty()) taken = path;
            continue;
        }
        if (failure != 0) {
            error = path + ": " + AsReason(std::strerror(failure));
            return false;
        }
        if (!taken.empty()) report_(taken + " exists; the recording goes on in " + path);
        return true;
    }
}

bool Recorder::OpenFirstFile(std::string& error) {
    if (settings_.splitMinutes > 0) return OpenNumberedFile(error);
    const int failure = OpenFile(settings_.path);
    if (failure != 0) error = settings_.path + ": " + AsReason(std::strerror(failure));
    return failure == 0;
}

bool Recorder::Prepare(const RecorderSettings& settings, std::string& error) {
    settings_ = settings;
    error = RecordingPathProblem(FirstFileName(), settings_.force);
    return error.empty();
}

void Recorder::Start() {
    if (writer_.joinable()) return;
    std::string error;
    if (!OpenFirstFile(error)) Fail(error);
    fileStart_ = std::chrono::steady_clock::now();
    writer_ = std::thread(&Recorder::WriterLoop, this);
}

bool Recorder::SplitDue() const {
    if (settings_.splitMinutes <= 0) return false;
    const auto period = std::chrono::duration<double>(settings_.splitMinutes * 60.0);
    return std::chrono::steady_clock::now() - fileStart_ >= period;
}

void Recorder::Keep(const uint8_t* data, size_t size) {
    if (!writer_.joinable() || size == 0) return;
    if (failed_) {
        lost_ += size;
        return;
    }
    if (!cutPending_ && SplitDue()) cutPending_ = true;
    if (cutPending_) {
        const size_t cut = link_frame::FindFrameStart(data, size);
        if (cut < size) {
            cutPending_ = false;
            fileStart_ = std::chrono::steady_clock::now();
            Push(data, cut, false);
            Push(data + cut, size - cut, true);
            return;
        }
    }
    Push(data, size, false);
}

void Recorder::Push(const uint8_t* data, size_t size, bool newFile) {
    if (size == 0 && !newFile) return;
    std::unique_lock<std::mutex> hold(lock_);
    if (buffered_ + size > settings_.bufferLimit) {
        lost_ += size;
        if (!overflowReported_) {
            overflowReported_ = true;
            hold.unlock();
            report_("the recording's disk does not keep up; received bytes are being lost from " +
                    settings_.path);
        }
        return;
    }
    pieces_.push_back(Piece{std::vector<uint8_t>(data, data + size), newFile});
    buffered_ += size;
    if (buffered_ >= kWakeBytes || newFile) wake_.notify_one();
}

void Recorder::WriterLoop() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait_for(hold, kWriteInterval, [this] { return finishing_ || buffered_ >= kWakeBytes; });
        std::deque<Piece> taken;
        taken.swap(pieces_);
        buffered_ = 0;
        const bool last = finishing_;
        hold.unlock();
        for (Piece& piece : taken) WritePiece(piece);
        hold.lock();
        if (last && pieces_.empty()) break;
    }
}

void Recorder::WritePiece(Piece& piece) {
    if (piece.newFile && !failed_) {
        CloseFile();
        std::string error;
        if (!OpenNumberedFile(error)) Fail(error);
    }
    size_t done = 0;
    while (done < piece.bytes.size() && !failed_) {
        const ssize_t n = write(fd_, piece.bytes.data() + done, piece.bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail(currentPath_ + ": " + AsReason(std::strerror(n < 0 ? errno : EIO)));
            break;
        }
        done += static_cast<size_t>(n);
        recorded_ += static_cast<uint64_t>(n);
    }
    lost_ += piece.bytes.size() - done;
}

void Recorder::Fail(const std::string& what) {
    if (failed_.exchange(true)) return;
    report_("recording stopped: " + what + "; pictures go on, received bytes are no longer kept");
}

void Recorder::CloseFile() {
    if (fd_ < 0) return;
    // Synced before it is left, so that a recording said complete is on the disk.
    if (fsync(fd_) != 0 && errno != EINVAL && !failed_) Fail(currentPath_ + ": " + AsReason(std::strerror(errno)));
    close(fd_);
    fd_ = -1;
}

void Recorder::Finish() {
    if (writer_.joinable()) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            finishing_ = true;
        }
        wake_.notify_one();
        writer_.join();
    }
    CloseFile();
}

}  // namespace live
