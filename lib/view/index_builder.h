#pragma once
// Builds a recording's picture index in one pass over its link and stream
// layers (nothing is decoded), a step at a time so that its owner can show
// progress, and goes on where it stopped when the recording has grown.

#include <cstdint>
#include <memory>
#include <string>

#include "core/session/picture_timeline.h"
#include "core/session/stream_session.h"
#include "lib/view/picture_index.h"

class IndexBuilder {
public:
    // Appends to `index`, which must outlive the builder and start empty.
    IndexBuilder(std::unique_ptr<ByteSource> source, PictureIndex& index);

    // Reads up to `bytes` more; false when nothing more is there for now
    // (the end, or a read error: Failed()).
    bool Step(size_t bytes = StreamSession::kStepBytes);
    // Gives out the picture the stream's parser still holds: the last one
    // of a recording that is complete.
    void Finish();
    bool Failed() const { return session_->Failed(); }
    const std::string& Error() const { return session_->Error(); }
    uint64_t Position() const { return session_->Position(); }
    const LinkStatistics& Statistics() const { return session_->Statistics(); }

private:
    void TakeUnit(const uint8_t* unit, int32_t length);
    void TakeFrame(const LinkFrameEvent& frame);
    void TakeAccessUnit(const AccessUnit& unit, uint64_t seekOffset);
    int64_t RunningOf(const AccessUnit& unit);

    PictureIndex& index_;
    std::unique_ptr<StreamSession> session_;
    bool hasRecord_ = false;
    TelemetryValues current_{};
    // Records by tag, from when each picture's first slice came until its
    // access unit is given out.
    std::vector<std::pair<int64_t, TelemetryValues>> pending_;
    int64_t openedPictures_ = 0;
    PictureTimeline timeline_;
    int64_t runBase_ = 0;
    int64_t highest_ = PictureTimeline::kUnknown;
    int64_t lastRunning_ = -1;
    uint64_t lastFrameEnd_ = 0;
};
