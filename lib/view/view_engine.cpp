#include "lib/view/view_engine.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "core/decode/rgb_conversion.h"
#include "lib/live/hud.h"
#include "lib/view/index_builder.h"
#include "lib/view/index_cache.h"
#include "lib/view/picture_seeker.h"

namespace {

// Bytes indexed between two looks at the stop flag and two chances for the
// decoder to read the index.
constexpr size_t kBytesPerTurn = size_t{1} << 20;
// A recording modified this recently is taken to be still written, and
// one still for this long to be complete for now (downlink-live writes
// what it received within a fraction of a second, and a link that is
// quiet longer than this is caught up with when it speaks again).
constexpr double kRecentSeconds = 3;
constexpr double kSettleSeconds = 5;
constexpr int kFollowMs = 100;
constexpr int kWatchMs = 500;

bool RecentlyModified(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    return std::difftime(std::time(nullptr), st.st_mtime) < kRecentSeconds;
}

uint64_t SizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::string Clock(double seconds) {
    const long long ms = std::llround(seconds * 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                  ms % 1000);
    return text;
}

}  // namespace

ViewEngine::ViewEngine(std::string recording, std::function<void()> changed)
    : recording_(std::move(recording)), changed_(std::move(changed)) {}

ViewEngine::~ViewEngine() { Stop(); }

void ViewEngine::Stop() {
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        stop_ = true;
    }
    wake_.notify_all();
    if (indexer_.joinable()) indexer_.join();
    if (decoder_.joinable()) decoder_.join();
}

void ViewEngine::Start() {
    progress_.bytesTotal = SizeOf(recording_);
    followAtStart_ = RecentlyModified(recording_);
    indexer_ = std::thread([this] { IndexLoop(); });
    decoder_ = std::thread([this] { DecodeLoop(); });
}

void ViewEngine::Request(int64_t number) {
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (number == requested_ && rendered_) return;
        requested_ = number;
        rendered_ = false;
    }
    wake_.notify_all();
}

void ViewEngine::SetHud(bool on) {
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (hud_ == on) return;
        hud_ = on;
        rendered_ = false;
    }
    wake_.notify_all();
}

bool ViewEngine::Take(ViewedPicture& picture) {
    std::lock_guard<std::mutex> guard(stateLock_);
    if (!hasResult_) return false;
    picture = std::move(result_);
    hasResult_ = false;
    return true;
}

IndexProgress ViewEngine::Progress() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    IndexProgress progress = progress_;
    if (progress.following) {
        progress.secondsSinceGrowth =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - lastGrowth_).count();
    }
    return progress;
}

std::set<int64_t> ViewEngine::DamagedPictures() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return damaged_;
}

bool ViewEngine::WaitUnlessStopped(int milliseconds) {
    std::unique_lock<std::mutex> lock(stateLock_);
    wake_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stop_; });
    return !stop_;
}

bool ViewEngine::Stopped() {
    std::lock_guard<std::mutex> guard(stateLock_);
    return stop_;
}

void ViewEngine::Publish(const PictureIndex& index, uint64_t position, bool following) {
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        const auto now = std::chrono::steady_clock::now();
        if (position != progress_.bytesIndexed || progress_.generation == 0) lastGrowth_ = now;
        progress_.bytesIndexed = position;
        progress_.bytesTotal = std::max(SizeOf(recording_), position);
        progress_.pictures = index.Count();
        progress_.complete = index.Complete();
        progress_.following = following;
        ++progress_.generation;
    }
    if (changed_) changed_();
}

void ViewEngine::IndexLoop() {
    PictureIndex cached;
    if (!followAtStart_ && index_cache::Load(recording_, cached)) {
        cached.SetComplete(true);
        {
            std::unique_lock<std::shared_mutex> lock(indexLock_);
            index_ = std::move(cached);
        }
        {
            std::lock_guard<std::mutex> guard(stateLock_);
            progress_.fromCache = true;
        }
        Publish(index_, index_.BytesIndexed(), false);
    } else if (!IndexOnce(followAtStart_)) {
        return;
    }
    WatchForGrowth();
}

// One pass to the end; a recording still being written is followed until
// it has been still for a while. Then the index is complete, and kept in
// the cache file. False when stopped or the recording cannot be read.
bool ViewEngine::IndexOnce(bool following) {
    std::string error;
    std::unique_ptr<FileByteSource> source = FileByteSource::Open(recording_, error);
    if (source == nullptr) {
        std::lock_guard<std::mutex> guard(stateLock_);
        progress_.error = error;
        return false;
    }
    // A second pass (the recording grew after it was complete) is built
    // aside; the pictures already there stay in use meanwhile.
    const bool aside = index_.Count() > 0 || index_.Complete();
    PictureIndex fresh;
    PictureIndex& target = aside ? fresh : index_;
    IndexBuilder builder(std::move(source), target);
    auto stillSince = std::chrono::steady_clock::now();
    uint64_t published = UINT64_MAX;
    while (true) {
        bool more = true;
        {
            std::unique_lock<std::shared_mutex> lock(indexLock_, std::defer_lock);
            if (!aside) lock.lock();
            const uint64_t start = builder.Position();
            while (builder.Position() - start < kBytesPerTurn && (more = builder.Step())) {
            }
            if (more || builder.Position() != start) stillSince = std::chrono::steady_clock::now();
        }
        if (builder.Failed()) {
            std::lock_guard<std::mutex> guard(stateLock_);
            progress_.error = builder.Error();
            return false;
        }
        if (Stopped()) return false;
        if (!aside && (more || builder.Position() != published)) {
            Publish(index_, builder.Position(), following);
            published = builder.Position();
        }
        if (more) continue;
        const double still = std::chrono::duration<double>(std::chrono::steady_clock::now() - stillSince).count();
        if (!following || still >= kSettleSeconds) break;
        if (!WaitUnlessStopped(kFollowMs)) return false;
    }
    {
        std::unique_lock<std::shared_mutex> lock(indexLock_);
        builder.Finish();
        target.SetComplete(true);
        if (aside) index_ = std::move(fresh);
    }
    {
        std::shared_lock<std::shared_mutex> lock(indexLock_);
        index_cache::Save(recording_, index_);
    }
    Publish(index_, index_.BytesIndexed(), false);
    return true;
}

// A complete recording that grows again (a link that spoke again after a
// long silence) is indexed again, and followed.
void ViewEngine::WatchForGrowth() {
    while (WaitUnlessStopped(kWatchMs)) {
        uint64_t indexed = 0;
        {
            std::shared_lock<std::shared_mutex> lock(indexLock_);
            indexed = index_.BytesIndexed();
        }
        if (SizeOf(recording_) > indexed && !IndexOnce(true)) return;
    }
}

void ViewEngine::DecodeLoop() {
    std::string error;
    std::unique_ptr<FileByteSource> source = FileByteSource::Open(recording_, error);
    if (source == nullptr) return;
    // One decoding thread for a recording being written: frame threads hold
    // the newest pictures back until more come, and the live end is the
    // picture most wanted there.
    PictureSeeker seeker(std::move(source), followAtStart_ ? 1 : 0);
    RgbConversionFields conversion;
    while (true) {
        int64_t number = 0;
        bool hud = true;
        {
            std::unique_lock<std::mutex> lock(stateLock_);
            wake_.wait(lock, [this] { return stop_ || (!rendered_ && requested_ > 0); });
            if (stop_) break;
            number = requested_;
            hud = hud_;
            rendered_ = true;
        }
        ViewedPicture picture;
        picture.number = number;
        {
            std::shared_lock<std::shared_mutex> lock(indexLock_);
            const AVFrame* frame = seeker.Decode(index_, number);
            if (frame != nullptr && (!rgb_conversion::Outdated(conversion, *frame) ||
                                     (rgb_conversion::Reconfigure(conversion, *frame), conversion.picWidth > 0))) {
                if (rgb_conversion::Convert(conversion, *frame)) {
                    const cv::Mat rgb(conversion.picHeight, conversion.picWidth, CV_8UC3, conversion.rgbBuf);
                    cv::cvtColor(rgb, picture.picture, cv::COLOR_RGB2BGR);
                    picture.decoded = true;
                }
            }
            picture.damaged = seeker.Damaged(number);
            if (number <= static_cast<int64_t>(index_.Count())) {
                const IndexedPicture& indexed = index_.Picture(number);
                picture.hasTelemetry = indexed.hasTelemetry;
                picture.values = indexed.values;
                picture.seconds = index_.TimeOf(number);
            }
        }
        Render(picture, hud);
        {
            std::lock_guard<std::mutex> guard(stateLock_);
            result_ = std::move(picture);
            hasResult_ = true;
            damaged_ = seeker.DamagedPictures();
        }
        if (changed_) changed_();
    }
    rgb_conversion::Free(conversion);
}

// The picture's own telemetry top left, its number and time top right, and
// a damaged picture framed red and said to be so, as the live window marks
// a picture it holds after a loss.
void ViewEngine::Render(ViewedPicture& picture, bool hud) const {
    if (!picture.decoded) return;
    picture.shown = picture.picture.clone();
    if (picture.damaged) live::DrawDistrustFrame(picture.shown);
    if (!hud) return;
    live::HudText text;
    if (picture.hasTelemetry) text.topLeft = live::TelemetryHudLines(picture.values);
    text.topRight.push_back("#" + std::to_string(picture.number) + "  " + Clock(picture.seconds));
    text.topRightTones.push_back(live::HudTone::kPlain);
    if (picture.damaged) {
        text.topRight.push_back("DAMAGED");
        text.topRightTones.push_back(live::HudTone::kAlarm);
    }
    live::DrawHudText(picture.shown, text);
}
