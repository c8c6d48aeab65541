#pragma once
// What stands behind the review viewer's window: a thread that indexes the
// recording (or loads its index from the cache file when that is current)
// and follows it while it grows, and a thread that decodes the picture
// asked for and draws the heads-up display on it. The window asks, and
// polls for what is done; nothing here waits on the window or it on this.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <thread>

#include <opencv2/core.hpp>

#include "lib/view/picture_index.h"

struct ViewedPicture {
    int64_t number = 0;
    bool decoded = false;  // false: the picture cannot be decoded
    cv::Mat picture;       // BGR, as decoded
    cv::Mat shown;         // BGR, with the heads-up display when it is on
    bool damaged = false;
    bool hasTelemetry = false;
    TelemetryValues values{};
    double seconds = 0;
};

struct IndexProgress {
    uint64_t bytesIndexed = 0;
    uint64_t bytesTotal = 0;
    size_t pictures = 0;
    bool complete = false;
    bool fromCache = false;
    bool following = false;        // the recording was still being written when opened
    double secondsSinceGrowth = 0;  // while following
    uint64_t generation = 0;       // changes whenever the index does
    std::string error;
};

class ViewEngine {
public:
    // `changed` is called, from the engine's threads, whenever a picture is
    // ready or the index has grown; the window then polls.
    ViewEngine(std::string recording, std::function<void()> changed);
    ~ViewEngine();
    ViewEngine(const ViewEngine&) = delete;
    ViewEngine& operator=(const ViewEngine&) = delete;

    void Start();
    // Stops both threads; `changed` is not called after it returns.
    void Stop();
    // The picture to decode next; a newer request replaces one not begun.
    void Request(int64_t number);
    void SetHud(bool on);
    // The picture decoded since the last call, if any.
    bool Take(ViewedPicture& picture);
    IndexProgress Progress() const;
    std::set<int64_t> DamagedPictures() const;
    // Runs `read` on the index, which meanwhile does not change.
    template <typename Read>
    auto WithIndex(Read&& read) const {
        std::shared_lock<std::shared_mutex> lock(indexLock_);
        return read(static_cast<const PictureIndex&>(index_));
    }

private:
    void IndexLoop();
    bool IndexOnce(bool following);
    void WatchForGrowth();
    void Publish(const PictureIndex& index, uint64_t position, bool following);
    bool Stopped();
    void DecodeLoop();
    void Render(ViewedPicture& picture, bool hud) const;
    bool WaitUnlessStopped(int milliseconds);

    const std::string recording_;
    const std::function<void()> changed_;
    bool followAtStart_ = false;

    mutable std::shared_mutex indexLock_;
    PictureIndex index_;

    mutable std::mutex stateLock_;
    std::condition_variable wake_;
    bool stop_ = false;
    int64_t requested_ = 0;
    bool hud_ = true;
    bool rendered_ = false;  // the request and HUD setting were served
    bool hasResult_ = false;
    ViewedPicture result_;
    std::set<int64_t> damaged_;
    IndexProgress progress_;
    std::chrono::steady_clock::time_point lastGrowth_;

    std::thread indexer_;
    std::thread decoder_;
};
