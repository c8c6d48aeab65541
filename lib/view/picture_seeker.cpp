#include "lib/view/picture_seeker.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "core/decode/video_decoder.h"
#include "core/format/nal_unit.h"
#include "core/format/telemetry_unit.h"

PictureSeeker::PictureSeeker(std::unique_ptr<ByteSource> source, int32_t threads) {
    SessionEvents events;
    // Tags after a seek count from the first key picture met; one met
    // anywhere but where the index placed it would put every picture's
    // number, and so its record, on another picture.
    events.onAccessUnit = [this](const AccessUnit& unit, uint64_t seek) {
        if (checkFirst_) {
            checkFirst_ = false;
            misaligned_ = seek != firstSeek_;
        }
        if (unit.hasPicture && !misaligned_) units_.push_back(unit);
    };
    events.onLinkFrame = [this](const LinkFrameEvent& frame) {
        if (frame.sequenceBreak || frame.invalid) trust_->BytesLost();
    };
    events.onUnit = [this](const uint8_t* unit, int32_t length, uint64_t) {
        trust_->UnitCompleted(unit, length, opened_);
        if (length > nal_unit::kStartCodeSize && nal_unit::OpensPicture(unit, length) &&
            !telemetry_unit::IsTelemetryUnit(unit, static_cast<size_t>(length)))
            ++opened_;
    };
    trust_ = std::make_unique<PictureTrust>();
    session_ = std::make_unique<StreamSession>(std::move(source), std::move(events));
    if (video_decoder::Open(threads, codec_, context_, packet_, frame_) < 0) video_decoder::Free(context_, packet_, frame_);
}

PictureSeeker::~PictureSeeker() {
    ForgetAll();
    messages_.Stop();
    video_decoder::Free(context_, packet_, frame_);
}

const AVFrame* PictureSeeker::Decode(const PictureIndex& index, int64_t number) {
    if (!Ready() || number < 1 || number > static_cast<int64_t>(index.Count())) return nullptr;
    if (!routed_) {
        // The decoder logs on the thread that decodes; its complaints mark
        // the picture it was decoding.
        messages_.Start(
            [this](const char*, int64_t tag) {
                std::lock_guard<std::mutex> guard(complaintsLock_);
                complaints_.push_back(tag);
            },
            &decodingTag_);
        routed_ = true;
    }
    auto kept = kept_.find(number);
    if (kept == kept_.end()) {
        if (!CanGoOn(index, number)) {
            const int64_t key = index.KeyFor(number);
            if (key == 0 || !SeekTo(index, key)) return nullptr;
        }
        DecodeUntil(index, number);
        kept = kept_.find(number);
        if (kept == kept_.end()) return nullptr;
    }
    Forget(number);
    return kept->second.frame;
}

// Going on is the shorter way unless a key picture stands between the
// decoder's place and the picture asked for, or the decoder has passed it.
bool PictureSeeker::CanGoOn(const PictureIndex& index, int64_t number) const {
    if (!decoding_ || number <= highestShown_) return false;
    const int64_t key = index.KeyFor(number);
    return key != 0 && index.Picture(key).tag < nextTag_;
}

bool PictureSeeker::SeekTo(const PictureIndex& index, int64_t key) {
    const IndexedPicture& start = index.Picture(key);
    static const std::vector<uint8_t> kNone;
    const std::vector<uint8_t>& sets =
        start.parameterSets >= 0 ? index.ParameterSetTable()[static_cast<size_t>(start.parameterSets)] : kNone;
    if (!session_->Seek(start.seekOffset, start.tag, sets, StreamSession::Landing::kFrameStart)) return false;
    units_.clear();
    trust_ = std::make_unique<PictureTrust>();
    opened_ = 0;
    {
        std::lock_guard<std::mutex> guard(complaintsLock_);
        complaints_.clear();
    }
    checkFirst_ = true;
    firstSeek_ = start.seekOffset;
    misaligned_ = false;
    sessionEnded_ = false;
    avcodec_flush_buffers(context_);
    // The stream may have given its parameter sets only once, at its start.
    if (!sets.empty()) {
        decodingTag_ = 0;
        video_decoder::Send(context_, packet_, sets.data(), static_cast<int32_t>(sets.size()), 0);
    }
    decoding_ = true;
    nextTag_ = start.tag;
    highestShown_ = 0;
    ++seeks_;
    return true;
}

void PictureSeeker::DecodeUntil(const PictureIndex& index, int64_t number) {
    while (kept_.count(number) == 0 && highestShown_ < number) {
        if (!SendNext(index)) break;
        ReceivePictures(index);
    }
}

// False when the recording has nothing more for now; the decoder then gives
// out what it holds back, and a complete recording's session its last
// access unit first.
bool PictureSeeker::SendNext(const PictureIndex& index) {
    while (units_.empty()) {
        if (misaligned_) {
            decoding_ = false;
            return false;
        }
        if (session_->Step()) continue;
        // A recording still being written may give more later; the pictures
        // held back for reordering come out now all the same, and the next
        // picture asked for is decoded from its key picture.
        if (!index.Complete()) {
            if (decoding_) video_decoder::Drain(context_, frame_, [&] { TakePicture(index); });
            decoding_ = false;
            return false;
        }
        if (!sessionEnded_) {
            sessionEnded_ = true;
            session_->Finish();
            continue;
        }
        if (decoding_) video_decoder::Drain(context_, frame_, [&] { TakePicture(index); });
        decoding_ = false;
        return false;
    }
    AccessUnit unit = std::move(units_.front());
    units_.erase(units_.begin());
    nextTag_ = unit.tag + 1;
    decodingTag_ = unit.tag;
    if (!video_decoder::Send(context_, packet_, unit.bytes.data(), static_cast<int32_t>(unit.bytes.size()), unit.tag)) {
        std::lock_guard<std::mutex> guard(complaintsLock_);
        complaints_.push_back(unit.tag);
    }
    return true;
}

void PictureSeeker::ReceivePictures(const PictureIndex& index) {
    video_decoder::ReceiveEach(context_, frame_, [&] { TakePicture(index); });
}

// Complaints name the tags the decoder was given; the trust rule counts
// pictures as the session opened them.
void PictureSeeker::TakeComplaints() {
    std::lock_guard<std::mutex> guard(complaintsLock_);
    for (int64_t tag : complaints_) {
        if (tag > 0) trust_->DecoderComplained(tag - session_->TagShift());
    }
    complaints_.clear();
}

void PictureSeeker::TakePicture(const PictureIndex& index) {
    TakeComplaints();
    const int64_t number = index.NumberOfTag(frame_->pts);
    if (number > 0) {
        const bool corrupt = frame_->decode_error_flags != 0 || (frame_->flags & AV_FRAME_FLAG_CORRUPT) != 0;
        if (corrupt || !trust_->Trusted(frame_->pts - session_->TagShift())) {
            damaged_.insert(number);
        } else {
            damaged_.erase(number);
        }
        highestShown_ = std::max(highestShown_, number);
        Keep(number, frame_);
    }
    av_frame_unref(frame_);
}

void PictureSeeker::Keep(int64_t number, const AVFrame* frame) {
    if (kept_.count(number) != 0) return;
    Kept kept;
    kept.frame = av_frame_clone(frame);
    if (kept.frame == nullptr) return;
    for (const AVBufferRef* buffer : kept.frame->buf) {
        if (buffer != nullptr) kept.bytes += buffer->size;
    }
    keptBytes_ += kept.bytes;
    kept_.emplace(number, kept);
}

// The pictures farthest from the one shown go first: the ones near it are
// the ones stepping reaches next.
void PictureSeeker::Forget(int64_t around) {
    while (keptBytes_ > kKeptBytes && kept_.size() > 1) {
        auto first = kept_.begin();
        auto last = std::prev(kept_.end());
        auto farthest = std::llabs(first->first - around) >= std::llabs(last->first - around) ? first : last;
        if (farthest->first == around) break;
        keptBytes_ -= farthest->second.bytes;
        av_frame_free(&farthest->second.frame);
        kept_.erase(farthest);
    }
}

void PictureSeeker::ForgetAll() {
    for (auto& entry : kept_) av_frame_free(&entry.second.frame);
    kept_.clear();
    keptBytes_ = 0;
}
