#include "core/demux/frame_order.h"

#include <algorithm>
#include <cstring>

#include "core/format/byte_order.h"

namespace {

uint16_t SequenceOf(const uint8_t* frame) { return le::ReadU16(frame + link_frame::kSequenceOffset); }

// How far `sequence` lies ahead of `next` (negative: behind), the 16-bit
// count taken the short way round.
int32_t Distance(uint16_t next, uint16_t sequence) {
    const uint16_t ahead = static_cast<uint16_t>(sequence - next);
    return ahead < 0x8000 ? ahead : static_cast<int32_t>(ahead) - 0x10000;
}

// FNV-1a over the whole frame: a repeat is the same frame again, byte for
// byte, not a frame that merely carries a number already seen.
// Eight bytes a step: every frame that passes is hashed, so this runs over
// every byte of a link.
uint64_t ContentOf(const uint8_t* frame) {
    static_assert(link_frame::kFrameSize % 8 == 0, "a frame is whole words");
    uint64_t hash = 1469598103934665603ull;
    for (int i = 0; i < link_frame::kFrameSize; i += 8) {
        uint64_t word;
        std::memcpy(&word, frame + i, sizeof word);
        hash = (hash ^ word) * 1099511628211ull;
        hash ^= hash >> 29;
    }
    return hash;
}

}  // namespace

FrameOrder::FrameOrder(int64_t windowMs, Emit emit) : windowMs_(std::max<int64_t>(0, windowMs)), emit_(std::move(emit)) {
    passed_.fill(Passed{});
}

void FrameOrder::Arrived(const uint8_t* frame, int64_t nowMs, uint64_t position) {
    const uint16_t sequence = SequenceOf(frame);
    if (windowMs_ == 0) {
        emit_(frame, position);
        return;
    }
    Tick(nowMs);
    if (!started_ && startInOrder_) {
        started_ = true;
        next_ = sequence;
        lastProgressMs_ = nowMs;
        Pass(frame, sequence, position);
        return;
    }
    if (!started_) {
        // The first frame to arrive need not be the first sent: the start
        // waits a window too, and begins at the lowest number that came.
        started_ = true;
        starting_ = true;
        next_ = sequence;
        Hold(frame, nextPlace_, nowMs, position);
        return;
    }
    const int32_t distance = Distance(next_, sequence);
    if (starting_ && distance < 0 && -distance <= static_cast<int32_t>(kMostHeld)) {
        nextPlace_ += distance;
        next_ = sequence;
        Hold(frame, nextPlace_, nowMs, position);
    } else if (starting_ && distance == 0) {
        Hold(frame, nextPlace_, nowMs, position);
    } else if (distance == 0) {
        lastProgressMs_ = nowMs;
        Pass(frame, sequence, position);
        PassRun();
    } else if (distance > 0 && distance <= static_cast<int32_t>(kMostHeld)) {
        Hold(frame, nextPlace_ + distance, nowMs, position);
    } else if (distance < 0 && -distance <= static_cast<int32_t>(kRemembered) && sequence != 0) {
        Behind(frame, sequence, position);
    } else {
        // Far from anything expected, or a frame 0 behind: the sender
        // started its count again.
        Restart(frame, sequence, position);
    }
}

void FrameOrder::Hold(const uint8_t* frame, int64_t place, int64_t nowMs, uint64_t position) {
    if (held_.empty()) lastProgressMs_ = nowMs;
    std::vector<Held>& frames = held_[place];
    for (const Held& held : frames) {
        if (std::memcmp(held.bytes.data(), frame, link_frame::kFrameSize) == 0) {
            ++counts_.duplicate;
            return;
        }
    }
    // Other bytes under a number already held are the sender's numbering
    // fault: they go on right behind that frame, as they came.
    frames.emplace_back();
    Held& slot = frames.back();
    std::memcpy(slot.bytes.data(), frame, link_frame::kFrameSize);
    slot.arrivedMs = nowMs;
    slot.position = position;
}

// A number already passed: the same frame again is a duplicate; other bytes
// under that number are a numbering fault of the sender's and go on as they
// came, as without the ordering. A number given up is late.
void FrameOrder::Behind(const uint8_t* frame, uint16_t sequence, uint64_t position) {
    const Passed& passed = passed_[sequence % kRemembered];
    if (passed.sequence != sequence) {
        ++counts_.late;
    } else if (passed.content == ContentOf(frame)) {
        ++counts_.duplicate;
    } else {
        emit_(frame, position);
    }
}

void FrameOrder::Tick(int64_t nowMs) {
    while (!held_.empty() && NextDeadline() <= nowMs) GiveUpFirstGap();
}

void FrameOrder::Flush() {
    while (!held_.empty()) GiveUpFirstGap();
}

// A gap is given up once the window has passed both since the earliest frame
// held arrived and since a frame last came in order: frames still coming in
// order mean that the frame held is an outlier, its number damaged or sent
// ahead, and the frames up to it are not lost but on their way.
int64_t FrameOrder::NextDeadline() const {
    if (held_.empty()) return -1;
    int64_t earliest = held_.begin()->second.front().arrivedMs;
    for (const auto& [place, frames] : held_) earliest = std::min(earliest, frames.front().arrivedMs);
    return std::max(earliest, lastProgressMs_) + windowMs_;
}

void FrameOrder::Pass(const uint8_t* frame, uint16_t sequence, uint64_t position) {
    starting_ = false;
    passed_[sequence % kRemembered] = Passed{sequence, ContentOf(frame)};
    next_ = static_cast<uint16_t>(sequence + 1);
    ++nextPlace_;
    emit_(frame, position);
}

// The frames held right behind the one just passed follow it. One that was
// held a whole window while frames kept coming in order is an outlier, not
// the frame due: it is dropped, and the frame due is waited for.
void FrameOrder::PassRun() {
    for (auto it = held_.begin(); it != held_.end() && it->first == nextPlace_; it = held_.begin()) {
        const std::vector<Held> frames = std::move(it->second);
        held_.erase(it);
        if (frames.front().arrivedMs + windowMs_ <= lastProgressMs_) {
            counts_.duplicate += frames.size();
            break;
        }
        PassHeld(frames);
    }
}

// The frame held at a place, then those that came under its number after it.
void FrameOrder::PassHeld(const std::vector<Held>& frames) {
    const Held& first = frames.front();
    Pass(first.bytes.data(), SequenceOf(first.bytes.data()), first.position);
    for (size_t i = 1; i < frames.size(); ++i) emit_(frames[i].bytes.data(), frames[i].position);
}

// The frames missing before the first one held are lost.
void FrameOrder::GiveUpFirstGap() {
    const auto first = held_.begin();
    const int64_t missing = first->first - nextPlace_;
    counts_.lost += static_cast<uint64_t>(missing);
    next_ = static_cast<uint16_t>(next_ + missing);
    nextPlace_ = first->first;
    const std::vector<Held> frames = std::move(first->second);
    held_.erase(first);
    PassHeld(frames);
    PassRun();
}

void FrameOrder::Restart(const uint8_t* frame, uint16_t sequence, uint64_t position) {
    Flush();
    started_ = true;
    starting_ = false;
    next_ = sequence;
    Pass(frame, sequence, position);
}
