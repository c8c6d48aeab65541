#pragma once
// The assembly and crop buffers, made once per fuzzing process and lent to
// each input's pipeline: allocating and clearing 16 MB per input would cost
// far more than most inputs do.

#include "pipeline/decode_data.h"

// Gives `pipeline` the shared buffers; the assembly buffer is all zeros, as
// after AllocateBuffers.
void LendBuffers(DecodeData& pipeline);
// Takes them back before the pipeline is destroyed, and clears what the
// input left in the assembly buffer, so the next input finds it as new.
void ReclaimBuffers(DecodeData& pipeline);
