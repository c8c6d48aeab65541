// Rebuilds NAL units from the link payloads at 4-byte start codes.

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/defs.h>
}

#include "core/format/nal_unit.h"
#include "pipeline/decode_data.h"

namespace {
constexpr int32_t kLocked = 5;  // first start code found; never left

// The decoder borrows units in place and may read this far past their end,
// so the assembled unit stays that far from the end of nalBuf.
constexpr int32_t kNalLimit = DecodeData::kNalBufSize - AV_INPUT_BUFFER_PADDING_SIZE;

bool EndsWithStartCodeAndHeader(const uint8_t* buf, int32_t len) {
    return buf[len - 2] == 0x01 && buf[len - 3] == 0x00 && buf[len - 4] == 0x00 &&
           buf[len - 5] == 0x00;
}
}  // namespace

void DecodeData::SplitNal(const uint8_t* data, int32_t length) {
    using nal_unit::kPrefixSize;
    // The scan keeps the assembly state in locals: a byte stored through
    // nalBuf may alias any field, so fields would be reloaded and stored
    // again for every byte. They are written back whenever another member
    // runs, so that it sees the splitter as it stands.
    uint8_t* const buf = nalBuf;
    int32_t len = nalLen;
    int32_t state = nalState;
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t b = data[i];
        if (state == kLocked && len >= kNalLimit) {
            nalLen = len;
            ResetSplitterAfterOverflow();
            len = nalLen;
            state = nalState;
        }
        buf[len++] = b;

        if (state == kLocked) {
            // More than 9 bytes: the unit before the new start code holds at
            // least its own start code and header byte.
            if (len <= 2 * kPrefixSize - 1) {
                // A held first slice learns here whether this unit continues its picture.
                if (len == nal_unit::kSliceHeaderOffset + 1 && assembly.holding) {
                    nalLen = len;
                    nalState = state;
                    SettleHeldSlice(nal_unit::ContinuesPicture(buf, len));
                }
                continue;
            }
            if (!EndsWithStartCodeAndHeader(buf, len)) continue;
            const int32_t unitLen = len - kPrefixSize;
            nalLen = len;
            nalState = state;
            HandleNal(buf, unitLen);
            std::memmove(buf, buf + unitLen, kPrefixSize);
            std::memset(buf + kPrefixSize, 0, static_cast<size_t>(unitLen));
            len = kPrefixSize;
        } else if (state == 4) {
            state = kLocked;
            if (!firstUnitAnnounced) {
                firstUnitAnnounced = true;
                std::printf("aabbccdd:%d,\n", static_cast<int>(b));
            }
        } else if ((state < 3 && b == 0x00) || (state == 3 && b == 0x01)) {
            ++state;
        } else {
            // A fourth zero in a row resets the search and is dropped too.
            state = 0;
            len = 0;
        }
    }
    nalLen = len;
    nalState = state;
}

// A unit that would not fit is dropped and the search for a start code
// begins again. Its last bytes may already open the next start code (up to
// three zeros, or the whole 00 00 00 01 waiting for its header byte), so
// they are kept as the part of it matched so far.
void DecodeData::ResetSplitterAfterOverflow() {
    const bool startCodeComplete = nalBuf[nalLen - 1] == 0x01 && nalBuf[nalLen - 2] == 0x00 &&
                                   nalBuf[nalLen - 3] == 0x00 && nalBuf[nalLen - 4] == 0x00;
    int32_t zeros = 0;
    if (!startCodeComplete) {
        while (zeros < 3 && nalBuf[nalLen - 1 - zeros] == 0x00) ++zeros;
    }
    std::memset(nalBuf, 0, static_cast<size_t>(nalLen));
    if (startCodeComplete) {
        nalBuf[nal_unit::kStartCodeSize - 1] = 0x01;
        nalLen = nal_unit::kStartCodeSize;
        nalState = 4;
        return;
    }
    nalLen = zeros;
    nalState = zeros;
}
