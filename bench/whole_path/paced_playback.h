#pragma once
// The player's own replay pace on a real DecodeData with its worker thread:
// one replay chunk parsed every pause on this thread, the worker polling the
// queue every 5 ms and decoding, optionally into the real window.

#include <cstdint>
#include <vector>

struct PacedRun {
    long pictures = 0;
    long expectedPictures = 0;  // pictures whose last unit the splitter hands on
    double seconds = 0;
    double workerCpuSeconds = 0;
    // The window's drawing runs on this thread while the worker waits for
    // it, so the worker's CPU time alone leaves that wait out.
    double mainCpuSeconds = 0;
    // Milliseconds from the ParseLink call that queued the payload completing
    // a picture's last slice unit to that picture reaching the display stage.
    // A picture of several slices waits in FFmpeg's parser until the next
    // picture's first unit closes it; that wait is part of the figure.
    std::vector<double> latencyMs;
};

PacedRun PlayPaced(const std::vector<uint8_t>& recording, bool withWindow);
