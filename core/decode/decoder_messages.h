#pragma once
// The decoder's messages of error level and worse, handed to an observer
// with the tag of the picture being decoded, in place of standard error.
//
// FFmpeg has one log callback for the whole process and gives it no say of
// which decoder is talking beyond the context, which belongs to FFmpeg. So
// one callback is installed while any route is started, and finds its route
// through the thread that logs: a route's decoder decodes on the thread that
// started it. Lines from any other thread (another decoder, another library)
// go to FFmpeg's default as before, unless exactly one route is started and
// they come from a decoder: FFmpeg's own frame threads, or a decoder run on
// a worker thread, log from threads that no route has registered.

#include <cstdarg>
#include <cstdint>
#include <functional>

class DecoderMessageRoute {
public:
    // A line may come in several parts; its last ends with the newline.
    using Observer = std::function<void(const char* text, int64_t tag)>;

    DecoderMessageRoute() = default;
    ~DecoderMessageRoute() { Stop(); }
    DecoderMessageRoute(const DecoderMessageRoute&) = delete;
    DecoderMessageRoute& operator=(const DecoderMessageRoute&) = delete;

    // Routes this thread's decoder messages to `observer`. `decodingTag` is
    // the picture being decoded, for messages that name no codec context;
    // it is read on this thread only and must outlive the route.
    void Start(Observer observer, const int64_t* decodingTag);
    // Routes started later on this thread hand it back to the one before.
    void Stop();

private:
    static void Route(void* context, int level, const char* format, va_list args);

    Observer observer_;
    const int64_t* decodingTag_ = nullptr;
    DecoderMessageRoute* outer_ = nullptr;
};
