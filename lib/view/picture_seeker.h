#pragma once
// Decodes any picture of a recording by its number: from the pictures it
// keeps, by going on from the last one decoded, or from the key picture in
// front of it, so that stepping back and seeking show exactly the picture
// asked for. Pictures decoded on the way are kept (up to a budget), so
// stepping back through them again decodes nothing.

#include <cstdint>
#include <map>
#include <mutex>
#include <memory>
#include <set>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "core/decode/decoder_messages.h"
#include "core/decode/picture_trust.h"
#include "core/session/stream_session.h"
#include "lib/view/picture_index.h"

class PictureSeeker {
public:
    static constexpr size_t kKeptBytes = size_t{256} << 20;

    // `threads` as the decoder takes them (0: FFmpeg's choice).
    PictureSeeker(std::unique_ptr<ByteSource> source, int32_t threads = 0);
    ~PictureSeeker();
    PictureSeeker(const PictureSeeker&) = delete;
    PictureSeeker& operator=(const PictureSeeker&) = delete;

    bool Ready() const { return context_ != nullptr; }
    // Picture `number` of `index` (which may have grown since the last
    // call), or null when it cannot be decoded: no key picture in front of
    // it, or the decoder turned it down. Valid until the next call.
    const AVFrame* Decode(const PictureIndex& index, int64_t number);
    // The picture depends on something lost (the project's one rule for it:
    // a gap in the link inside a unit it needs, or the decoder's complaint
    // about it or a picture it is built on), or it came out marked corrupt.
    bool Damaged(int64_t number) const { return damaged_.count(number) != 0; }
    const std::set<int64_t>& DamagedPictures() const { return damaged_; }
    // Pictures decoded from a key picture, since the seeker was made.
    uint64_t Seeks() const { return seeks_; }

private:
    struct Kept {
        AVFrame* frame = nullptr;
        uint64_t bytes = 0;
    };

    bool CanGoOn(const PictureIndex& index, int64_t number) const;
    bool SeekTo(const PictureIndex& index, int64_t key);
    void DecodeUntil(const PictureIndex& index, int64_t number);
    bool SendNext(const PictureIndex& index);
    void ReceivePictures(const PictureIndex& index);
    void TakePicture(const PictureIndex& index);
    void TakeComplaints();
    void Keep(int64_t number, const AVFrame* frame);
    void Forget(int64_t around);
    void ForgetAll();

    std::unique_ptr<StreamSession> session_;
    std::vector<AccessUnit> units_;  // given out by the session, not yet sent
    bool sessionEnded_ = false;
    bool checkFirst_ = false;
    uint64_t firstSeek_ = 0;
    bool misaligned_ = false;
    const AVCodec* codec_ = nullptr;
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    DecoderMessageRoute messages_;
    bool routed_ = false;
    int64_t decodingTag_ = 0;
    std::mutex complaintsLock_;  // the decoder's threads may complain
    std::vector<int64_t> complaints_;
    std::unique_ptr<PictureTrust> trust_;
    int64_t opened_ = 0;  // pictures opened since the last seek, as the session counts them

    bool decoding_ = false;       // the decoder has gone on from a key picture
    int64_t nextTag_ = 0;         // the next picture the session gives out
    int64_t highestShown_ = 0;    // the highest number out of the decoder since then
    std::map<int64_t, Kept> kept_;
    uint64_t keptBytes_ = 0;
    std::set<int64_t> damaged_;
    uint64_t seeks_ = 0;
};
