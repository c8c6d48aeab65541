#include "core/decode/picture_trust.h"

#include <vector>

#include "core/demux/telemetry_units.h"
#include "core/format/nal_unit.h"
#include "core/format/telemetry_unit.h"

namespace {

constexpr int kHeaderBytes = 2;
constexpr int kRecoveryPointPayload = 6;
constexpr int kRadlFirst = 6;  // leading pictures: RADL_N, RADL_R, RASL_N, RASL_R
constexpr int kRaslFirst = 8;
constexpr int kRaslLast = 9;
constexpr int kCra = 21;
constexpr uint8_t kTrailingBits = 0x80;

// The unit's bytes from `from` on with the emulation-prevention bytes taken
// out.
std::vector<uint8_t> Unescaped(const uint8_t* unit, int32_t length, int32_t from) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(length > from ? length - from : 0));
    for (int32_t i = from; i < length; ++i) {
        const bool prevention = unit[i] == 0x03 && i >= from + 2 && unit[i - 1] == 0 && unit[i - 2] == 0;
        if (!prevention) out.push_back(unit[i]);
    }
    return out;
}

// Nothing but the trailing bits and zero bytes from `from` on.
bool OnlyTrailing(const uint8_t* bytes, size_t size, size_t from) {
    size_t i = from;
    if (i < size && bytes[i] == kTrailingBits) ++i;
    for (; i < size; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

// Filler still made of filler bytes: the gap inside it took filler only.
bool CleanFiller(const uint8_t* unit, int32_t length) {
    int32_t i = nal_unit::kStartCodeSize + kHeaderBytes;
    while (i < length && unit[i] == 0xFF) ++i;
    return OnlyTrailing(unit, static_cast<size_t>(length), static_cast<size_t>(i));
}

// Reads one unsigned or signed Exp-Golomb number, most significant bit
// first; false when the bytes run out.
class BitReader {
public:
    BitReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    bool Unsigned(uint32_t& value) {
        int zeros = 0;
        int bit = 0;
        while (Bit(bit) && bit == 0) {
            if (++zeros > 31) return false;
        }
        if (bit != 1) return false;
        uint32_t rest = 0;
        for (int i = 0; i < zeros; ++i) {
            if (!Bit(bit)) return false;
            rest = (rest << 1) | static_cast<uint32_t>(bit);
        }
        value = (uint32_t{1} << zeros) - 1 + rest;
        return true;
    }
    bool Signed(int32_t& value) {
        uint32_t code = 0;
        if (!Unsigned(code)) return false;
        value = (code & 1) != 0 ? static_cast<int32_t>((code + 1) / 2) : -static_cast<int32_t>(code / 2);
        return true;
    }

private:
    bool Bit(int& bit) {
        if (position_ >= size_ * 8) return false;
        bit = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1;
        ++position_;
        return true;
    }
    const uint8_t* bytes_;
    size_t size_;
    size_t position_ = 0;
};

// A SEI field of 0xFF-continued bytes (payload type or size).
bool ReadSeiNumber(const std::vector<uint8_t>& bytes, size_t& pos, uint32_t& value) {
    value = 0;
    while (pos < bytes.size()) {
        const uint8_t byte = bytes[pos++];
        value += byte;
        if (byte != 0xFF) return true;
    }
    return false;
}

}  // namespace

void PictureTrust::BytesLost() {
    std::lock_guard<std::mutex> guard(lock_);
    gapInUnit_ = true;
}

void PictureTrust::UnitCompleted(const uint8_t* unit, int32_t length, int64_t lastOpened) {
    if (length <= nal_unit::kStartCodeSize) return;
    std::lock_guard<std::mutex> guard(lock_);
    const bool gap = gapInUnit_;
    gapInUnit_ = false;
    const int type = nal_unit::TypeOf(unit[nal_unit::kStartCodeSize]);
    const bool telemetry = telemetry_unit::IsTelemetryUnit(unit, static_cast<size_t>(length));
    if (!telemetry && type == nal_unit::kPrefixSei) NoteRecoveryPoint(unit, length);
    if (!telemetry && nal_unit::OpensPicture(unit, length)) {
        lastOpened_ = lastOpened + 1;
        Open(lastOpened_, type);
    } else if (lastOpened > lastOpened_) {
        lastOpened_ = lastOpened;
    }
    if (!gap) return;
    if (type == nal_unit::kFillerData && CleanFiller(unit, length)) return;
    if (telemetry) {
        int32_t payloadStart = 0;
        const int64_t declared = telemetry_units::DeclaredPayloadSize(unit, length, payloadStart);
        const std::vector<uint8_t> payload = Unescaped(unit, length, payloadStart);
        if (declared > 0 && payload.size() >= static_cast<size_t>(declared) &&
            OnlyTrailing(payload.data(), payload.size(), static_cast<size_t>(declared))) {
            return;
        }
    }
    Damage(lastOpened_);
}

void PictureTrust::DecoderComplained(int64_t tag) {
    std::lock_guard<std::mutex> guard(lock_);
    Damage(tag > 0 ? tag : lastOpened_);
}

bool PictureTrust::Trusted(int64_t tag) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (tag <= 0) return !chainBroken_;
    const Picture* picture = Find(tag);
    return picture != nullptr && picture->trusted;
}

bool PictureTrust::WaitingForKey() const {
    std::lock_guard<std::mutex> guard(lock_);
    return chainBroken_;
}

const PictureTrust::Picture* PictureTrust::Find(int64_t tag) const {
    const Picture& slot = pictures_[static_cast<size_t>(tag % kRememberedPictures)];
    return slot.tag == tag ? &slot : nullptr;
}

void PictureTrust::Open(int64_t tag, int type) {
    if (pendingRecoveryCount_ >= 0) {
        recoveryStart_ = tag;
        recoveryTag_ = tag + pendingRecoveryCount_;
        pendingRecoveryCount_ = -1;
    }
    Picture& picture = Slot(tag);
    picture = Picture{tag, false, false};
    if (nal_unit::IsRandomAccessType(type) || tag == recoveryTag_) {
        // Leading pictures that refer past a CRA are only damaged when the
        // chain before it was.
        leadingDamaged_ = chainBroken_ && type == kCra;
        chainBroken_ = false;
        picture.startsChain = true;
        picture.trusted = true;
        if (tag == recoveryTag_) recoveryTag_ = 0;
        return;
    }
    const bool skipsBack = type >= kRaslFirst && type <= kRaslLast;
    if (type < kRadlFirst) leadingDamaged_ = false;  // a trailing picture: the leading ones are over
    picture.trusted = !chainBroken_ && !(skipsBack && leadingDamaged_);
}

// The picture and every picture opened after it up to the next that starts
// a chain; without one, the chain stays broken for those still to come.
void PictureTrust::Damage(int64_t tag) {
    if (tag <= 0) {
        chainBroken_ = true;
        return;
    }
    if (recoveryTag_ != 0 && tag >= recoveryStart_) recoveryTag_ = 0;
    if (tag + kRememberedPictures <= lastOpened_) tag = lastOpened_ - kRememberedPictures + 1;
    for (int64_t t = tag; t <= lastOpened_; ++t) {
        Picture& picture = Slot(t);
        if (picture.tag != t) continue;
        if (t != tag && picture.startsChain) return;
        picture.trusted = false;
        picture.startsChain = false;
    }
    chainBroken_ = true;
}

void PictureTrust::NoteRecoveryPoint(const uint8_t* unit, int32_t length) {
    const std::vector<uint8_t> rbsp = Unescaped(unit, length, nal_unit::kStartCodeSize + kHeaderBytes);
    size_t pos = 0;
    while (pos < rbsp.size() && rbsp[pos] != kTrailingBits) {
        uint32_t payloadType = 0;
        uint32_t payloadSize = 0;
        if (!ReadSeiNumber(rbsp, pos, payloadType) || !ReadSeiNumber(rbsp, pos, payloadSize)) return;
        if (payloadSize > rbsp.size() - pos) return;
        if (payloadType == kRecoveryPointPayload) {
            BitReader bits(rbsp.data() + pos, payloadSize);
            int32_t count = 0;
            if (bits.Signed(count) && count >= 0 && count < kRememberedPictures) pendingRecoveryCount_ = count;
            return;
        }
        pos += payloadSize;
    }
}
