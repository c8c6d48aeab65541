// Rebuilds NAL units from the link payloads at 4-byte start codes.

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/defs.h>
}

#include "pipeline/decode/nal_unit.h"
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
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t b = data[i];
        if (nalState == kLocked && nalLen >= kNalLimit) ResetSplitterAfterOverflow();
        nalBuf[nalLen++] = b;

        if (nalState == kLocked) {
            // More than 9 bytes: the unit before the new start code holds at
            // least its own start code and header byte.
            if (nalLen <= 2 * kPrefixSize - 1 || !EndsWithStartCodeAndHeader(nalBuf, nalLen)) {
                continue;
            }
            const int32_t unitLen = nalLen - kPrefixSize;
            HandleNal(nalBuf, unitLen);
            std::memmove(nalBuf, nalBuf + unitLen, kPrefixSize);
            std::memset(nalBuf + kPrefixSize, 0, static_cast<size_t>(unitLen));
            nalLen = kPrefixSize;
        } else if (nalState == 4) {
            nalState = kLocked;
            if (!firstUnitAnnounced) {
                firstUnitAnnounced = true;
                std::printf("aabbccdd:%d,\n", static_cast<int>(b));
            }
        } else if ((nalState < 3 && b == 0x00) || (nalState == 3 && b == 0x01)) {
            ++nalState;
        } else {
            // A fourth zero in a row resets the search and is dropped too.
            nalState = 0;
            nalLen = 0;
        }
    }
}

// A unit that would not fit is dropped and the search for a start code
// begins again. Its trailing zeros (up to three) may open the next start
// code, so they are kept as the part of it matched so far.
void DecodeData::ResetSplitterAfterOverflow() {
    int32_t zeros = 0;
    while (zeros < 3 && nalBuf[nalLen - 1 - zeros] == 0x00) ++zeros;
    std::memset(nalBuf, 0, static_cast<size_t>(nalLen));
    nalLen = zeros;
    nalState = zeros;
}
