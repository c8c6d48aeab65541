#pragma once
// Damage of the kinds a radio link does to a recording, applied to link
// frame bytes. All of it is seeded, so a failing run can be repeated.

#include <cstddef>
#include <cstdint>

#include "tests/robustness/support/hevc_pictures.h"

// Flips each payload bit (frame bytes 32 to 511) with probability `rate`;
// the frame headers stay intact. Returns the number of bits flipped.
size_t FlipPayloadBits(Bytes& linkFrames, double rate, uint32_t seed);

Bytes RandomBytes(size_t count, uint32_t seed);

// Drops every `dropEvery`-th frame and sends every `repeatEvery`-th twice.
Bytes DropAndRepeatFrames(const Bytes& linkFrames, int dropEvery, int repeatEvery);
