// libFuzzer entry point; the work is in harness/picture_seeker_input.cpp.

#include "fuzz/harness/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return RunPictureSeekerInput(data, size);
}
