#include "fuzz/seeds/fuzz_seeds.h"

#include "tests/robustness/support/downlink_stream.h"
#include "tests/robustness/support/impairments.h"

namespace {

Bytes Pictures(int width, int height, int count, int intraPeriod, int firstMarker) {
    PictureRequest request;
    request.width = width;
    request.height = height;
    request.count = count;
    request.intraPeriod = intraPeriod;
    request.quantiser = 40;
    return PicturesWithTelemetry(EncodePictures(request), firstMarker);
}

std::vector<Bytes> ElementaryStreams() {
    Bytes sizeChange = Pictures(96, 64, 2, 2, 1);
    Append(sizeChange, Pictures(64, 48, 2, 2, 3));

    PictureRequest request;
    Bytes cutShort = TelemetryUnit(5, 90);
    Append(cutShort, EncodePictures(request).front());

    std::vector<Bytes> streams = {Pictures(64, 64, 3, 3, 1), sizeChange, cutShort,
                                  TelemetryUnit(9)};
    for (Bytes& stream : streams) Append(stream, StreamEnd());
    return streams;
}

// The link parser's harness reads its first byte as a control byte.
std::vector<Bytes> LinkFramedWithControl(const std::vector<Bytes>& streams) {
    std::vector<Bytes> out;
    uint8_t control = 0x3F;
    for (const Bytes& stream : streams) {
        Bytes input = {control};
        Append(input, LinkFrames(stream));
        out.push_back(input);
        control ^= 0xC5;
    }
    Bytes noisy = {0x01};
    Append(noisy, RandomBytes(700, 3));
    Append(noisy, LinkFrames(streams.back()));
    out.push_back(noisy);
    return out;
}

}  // namespace

std::vector<SeedSet> MakeFuzzSeeds() {
    const std::vector<Bytes> streams = ElementaryStreams();
    return {{"link_parser", LinkFramedWithControl(streams)},
            {"nal_splitter", streams},
            {"unit_path", streams}};
}
