#pragma once
// Which decoded pictures depend on nothing lost. After a loss the HEVC
// decoder still gives out pictures: it stands in a flat grey picture for a
// missing reference and builds on whatever a damaged picture holds, until a
// picture that depends on nothing before it comes (a key picture, or the
// picture an intra-refresh stream's recovery point names). Such pictures
// are not to be trusted, though they decode without a word.
//
// A loss is known three ways: link bytes went missing inside a unit (the
// unit being collected when the gap came), a unit is damaged in a way only
// its content shows, or the decoder complains about a picture. A whole
// picture lost between units shows as the decoder's complaint about the
// next picture that refers to it. Every unit that a gap fell inside breaks
// the chain, except filler that still holds only filler bytes: most of a
// link's bytes are filler, and a loss inside it harms no picture.
//
// Pictures are known by the tags the assembler gives them, counted from 1
// in coding order. Units come on the splitting thread; the decoder's
// complaints may come from its own threads.

#include <array>
#include <cstdint>
#include <mutex>

class PictureTrust {
public:
    // Pictures remembered; a decoder gives a picture out long before this
    // many more have opened.
    static constexpr int64_t kRememberedPictures = 64;

    // Link bytes are missing before the bytes about to be split.
    void BytesLost();
    // The splitter completed `unit` (start code included), about to be
    // routed. `lastOpened` is the tag of the last picture opened before it:
    // a first slice opens the next, other units go with that one or stand
    // after it.
    void UnitCompleted(const uint8_t* unit, int32_t length, int64_t lastOpened);
    // The decoder complained while decoding picture `tag`.
    void DecoderComplained(int64_t tag);

    // Whether picture `tag`, out of the decoder now, depends on nothing
    // lost. A tag of 0 (none came with the picture) gets the chain's state.
    bool Trusted(int64_t tag) const;
    // A loss came and no picture free of it has opened since.
    bool WaitingForKey() const;

private:
    struct Picture {
        int64_t tag = 0;  // 0: slot unused
        bool trusted = false;
        bool startsChain = false;  // depends on no picture before it
    };

    void Open(int64_t tag, int type);
    void Damage(int64_t tag);
    void NoteRecoveryPoint(const uint8_t* unit, int32_t length);
    Picture& Slot(int64_t tag) { return pictures_[static_cast<size_t>(tag % kRememberedPictures)]; }
    const Picture* Find(int64_t tag) const;

    mutable std::mutex lock_;
    std::array<Picture, kRememberedPictures> pictures_{};
    // A stream is trusted from its first key picture on.
    bool chainBroken_ = true;
    // A key picture that ended a broken chain leaves the pictures that lead
    // it in display order but refer to pictures before it (RASL) damaged.
    bool leadingDamaged_ = false;
    bool gapInUnit_ = false;
    int64_t lastOpened_ = 0;
    // An intra-refresh stream announces how many pictures after the next
    // one it takes to be whole again; that picture then starts a chain.
    int32_t pendingRecoveryCount_ = -1;
    int64_t recoveryStart_ = 0;
    int64_t recoveryTag_ = 0;
};
