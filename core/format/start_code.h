#pragma once
// The 4-byte Annex-B start code the sending side writes before every unit.

#include <cstddef>
#include <cstdint>

namespace start_code {

constexpr int kSize = 4;
constexpr uint8_t kBytes[kSize] = {0x00, 0x00, 0x00, 0x01};

// `data` holds at least kSize bytes.
inline bool At(const uint8_t* data) { return data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1; }

// Appends the start code to a byte container.
template <typename Bytes>
void Append(Bytes& out) {
    out.insert(out.end(), kBytes, kBytes + kSize);
}

}  // namespace start_code
