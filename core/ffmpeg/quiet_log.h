#pragma once
// FFmpeg contexts that only read a stream's headers (the HEVC parser, a probe
// of the parameter sets) complain about every cut the link made; those
// complaints are not the decoder's, so such a context's messages are lowered
// from error to debug level.

extern "C" {
#include <libavutil/log.h>
}

namespace quiet_log {

constexpr int kHeaderReaderOffset = AV_LOG_DEBUG - AV_LOG_ERROR;

}  // namespace quiet_log
