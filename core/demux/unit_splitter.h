#pragma once
// NAL units out of the stream's bytes, cut at 4-byte start codes as they
// arrive a payload at a time. Like the link scan, the state lives with its
// owner between calls, under the names the player's pipeline object gives
// its fields, and what the scan finds goes to the owner's hooks.
//
// A unit is handed over once the next unit's start code and header byte
// have arrived: they lie right behind it in the buffer during the call.
// Bytes before the first start code belong to no unit; a unit that would
// outgrow the buffer is dropped and the search begins again.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/format/nal_unit.h"

namespace unit_splitter {

// `nalState` 0 to 4 counts the start code matched so far; once the first
// one is complete the splitter is locked onto the stream and never leaves.
constexpr int32_t kLocked = 5;

struct State {
    uint8_t* nalBuf = nullptr;
    int32_t nalLen = 0;
    int32_t nalState = 0;
    bool firstUnitAnnounced = false;
};

// Hooks, a type with:
//   void FirstStartCode(uint8_t headerByte);   // once, unless firstUnitAnnounced
//   bool WantsSliceHeaderByte();               // a unit waits to learn what follows it
//   void SliceHeaderByte(const uint8_t* unit, int32_t length);  // the unit now arriving, so far
//   void Unit(const uint8_t* unit, int32_t length);              // a completed unit
// Each is called with the state written back, so that it sees the splitter
// as it stands.

namespace detail {

inline bool EndsWithStartCodeAndHeader(const uint8_t* buf, int32_t len) {
    return buf[len - 2] == 0x01 && buf[len - 3] == 0x00 && buf[len - 4] == 0x00 && buf[len - 5] == 0x00;
}

}  // namespace detail

// A unit that would not fit is dropped and the search for a start code
// begins again. Its last bytes may already open the next start code (up to
// three zeros, or the whole 00 00 00 01 waiting for its header byte), so
// they are kept as the part of it matched so far.
template <typename S>
void ResetAfterOverflow(S& s) {
    uint8_t* const buf = s.nalBuf;
    const int32_t len = s.nalLen;
    const bool startCodeComplete =
        buf[len - 1] == 0x01 && buf[len - 2] == 0x00 && buf[len - 3] == 0x00 && buf[len - 4] == 0x00;
    int32_t zeros = 0;
    if (!startCodeComplete) {
        while (zeros < 3 && buf[len - 1 - zeros] == 0x00) ++zeros;
    }
    std::memset(buf, 0, static_cast<size_t>(len));
    if (startCodeComplete) {
        buf[nal_unit::kStartCodeSize - 1] = 0x01;
        s.nalLen = nal_unit::kStartCodeSize;
        s.nalState = 4;
        return;
    }
    s.nalLen = zeros;
    s.nalState = zeros;
}

// Scans `length` bytes (none when 0 or less). `limit` bounds a unit being
// assembled, the buffer's size less what a reader may read past its end.
//
// The scan keeps the assembly state in locals: a byte stored through nalBuf
// may alias any field, so fields would be reloaded and stored again for
// every byte.
template <typename S, typename Hooks>
void Split(S& s, const uint8_t* data, int32_t length, int32_t limit, Hooks& hooks) {
    using nal_unit::kPrefixSize;
    uint8_t* const buf = s.nalBuf;
    int32_t len = s.nalLen;
    int32_t state = s.nalState;
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t b = data[i];
        if (state == kLocked && len >= limit) {
            s.nalLen = len;
            ResetAfterOverflow(s);
            len = s.nalLen;
            state = s.nalState;
        }
        buf[len++] = b;

        if (state == kLocked) {
            // More than 9 bytes: the unit before the new start code holds at
            // least its own start code and header byte.
            if (len <= 2 * kPrefixSize - 1) {
                if (len == nal_unit::kSliceHeaderOffset + 1 && hooks.WantsSliceHeaderByte()) {
                    s.nalLen = len;
                    s.nalState = state;
                    hooks.SliceHeaderByte(buf, len);
                }
                continue;
            }
            if (!detail::EndsWithStartCodeAndHeader(buf, len)) {
                // Only the byte after a 0x01 can end a start code that is not
                // made of the bytes after it: after any other nonzero byte,
                // the bytes up to the next zero cannot, and are copied at
                // once, up to the limit. Most of a padded link is filler.
                if (b > 0x01 && i + 1 < length) {
                    const uint8_t* zero = static_cast<const uint8_t*>(
                        std::memchr(data + i + 1, 0x00, static_cast<size_t>(length - i - 1)));
                    const int32_t end = zero != nullptr ? static_cast<int32_t>(zero - data) : length;
                    const int32_t run = std::min(end - (i + 1), limit - len);
                    if (run > 0) {
                        std::memcpy(buf + len, data + i + 1, static_cast<size_t>(run));
                        len += run;
                        i += run;
                    }
                }
                continue;
            }
            const int32_t unitLen = len - kPrefixSize;
            s.nalLen = len;
            s.nalState = state;
            hooks.Unit(buf, unitLen);
            std::memmove(buf, buf + unitLen, kPrefixSize);
            std::memset(buf + kPrefixSize, 0, static_cast<size_t>(unitLen));
            len = kPrefixSize;
        } else if (state == 4) {
            state = kLocked;
            if (!s.firstUnitAnnounced) {
                s.firstUnitAnnounced = true;
                hooks.FirstStartCode(b);
            }
        } else if ((state < 3 && b == 0x00) || (state == 3 && b == 0x01)) {
            ++state;
        } else {
            // A fourth zero in a row resets the search and is dropped too.
            state = 0;
            len = 0;
        }
    }
    s.nalLen = len;
    s.nalState = state;
}

}  // namespace unit_splitter

namespace unit_splitter {

// The splitter hands a unit over once the next unit's start code and first
// header byte have arrived; they lie right behind it in nalBuf. Units handed
// over by anyone else have no such byte: -1.
template <typename S>
int FollowingHeaderByte(const S& s, const uint8_t* unit, int32_t length) {
    if (unit != s.nalBuf || s.nalLen != length + nal_unit::kPrefixSize) return -1;
    return unit[length + nal_unit::kStartCodeSize];
}

}  // namespace unit_splitter
