// libFuzzer entry point; the work is in harness/stream_session_input.cpp.

#include "fuzz/harness/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return RunStreamSessionInput(data, size);
}
