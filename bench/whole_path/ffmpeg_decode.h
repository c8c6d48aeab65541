#pragma once
// The reference: the ffmpeg command-line program decoding the same
// elementary stream to packed RGB and throwing the pictures away.

#include <string>

struct FfmpegRun {
    bool ok = false;
    long pictures = 0;
    double seconds = 0;      // ffmpeg's own -benchmark "rtime": decoding only
    double wallSeconds = 0;  // the whole process, start-up and probing included
    double cpuSeconds = 0;   // "utime" + "stime" of the same report
    std::string error;
};

// threads 0 leaves the decoder's thread count at ffmpeg's default.
FfmpegRun RunFfmpegDecode(const std::string& elementaryStreamPath, int threads);
