#pragma once
// Link payloads in, pictures out, on the caller's thread: the unit splitter,
// telemetry capture, whole-picture assembly, the HEVC decoder, the RGB
// conversion and what is shown of each picture, the same steps the player's
// pipeline runs, for every program that is not the player.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/format/telemetry_record.h"
#include "core/present/shown_picture.h"

struct PayloadDecoderOptions {
    // Without the decoder, units and records still come; pictures do not.
    bool decode = true;
    // Decoding threads (0: FFmpeg's choice). More than one changes nothing
    // that is shown, only when: each picture comes a few packets after its
    // own; Finish shows what a single thread would have shown by the end.
    int32_t decoderThreads = 1;
    // The channel: 0 shows channel 0's crop of a 1920 x 1080 picture.
    int32_t videoType = 1;
    // One telemetry line per picture on standard output; the splitter's line
    // at the stream's first start code; the window, and its title.
    bool lines = false;
    // Where the lines go, newline included; unset, standard output.
    std::function<void(const char* line, size_t length)> lineSink;
    bool firstUnitLine = false;
    bool showWindow = false;
    std::string windowTitle = "RGB Image";
    // When not empty, a picture the observer looks at comes to it as well
    // scaled to fit this box, aspect kept (ShownPicture::smallRgb), made
    // straight from the decoded picture; the whole picture is then
    // converted only for the window.
    PictureBox smallPictureBox;

    // Observers, all called on the thread that splits. Pointers they are
    // given are valid during the call only. Each unit the splitter
    // completes, start code included (telemetry units too, before
    // onTelemetry); each telemetry record captured, once it is current;
    // each packet as the decoder is given it, with its picture's tag; each
    // picture shown, after its line, before the window shows it.
    std::function<void(const uint8_t* unit, int32_t length)> onNal;
    std::function<void(const TelemetryRecord& record)> onTelemetry;
    std::function<void(const uint8_t* data, int32_t size, int64_t tag)> onPacket;
    std::function<void(const ShownPicture& picture)> onPicture;
    // Whether onPicture will look at the next picture's pixels; unset, it
    // always does. A picture nobody looks at is not converted to RGB.
    std::function<bool()> pixelsWanted;
    // The decoder's messages of error level and worse, with the tag of the
    // picture being decoded, in place of standard error (see
    // DecoderMessageRoute). The decoder must then be fed on the thread that
    // made it; with decoding threads the observer is called from FFmpeg's
    // threads as well. Only complaints seen here mark pictures untrusted.
    std::function<void(const char* text, int64_t tag)> onDecoderError;
};

class PayloadDecoder {
public:
    explicit PayloadDecoder(PayloadDecoderOptions options);
    ~PayloadDecoder();
    PayloadDecoder(const PayloadDecoder&) = delete;
    PayloadDecoder& operator=(const PayloadDecoder&) = delete;

    // Splits one link payload and passes on everything it completes.
    void Split(const uint8_t* payload, int32_t length);
    // Link bytes went missing before the next payload: the pictures built
    // on them are shown as untrusted (ShownPicture::trusted) until one that
    // depends on nothing lost comes.
    void BytesLost();
    // A loss came and no picture free of it has come since; any thread.
    bool WaitingForKey() const;
    // At the end of the input: with decoding threads, the pictures a single
    // thread would have shown by now.
    void Finish();

    // The unit still being assembled, start code included, which the
    // splitter hands over only when the next start code comes; empty before
    // the first start code.
    std::vector<uint8_t> OpenUnit() const;
    // Pictures shown so far.
    int32_t Pictures() const;
    // The window is still shown (false once it could not be).
    bool ShowsWindow() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
