#include "fuzz/seeds/fuzz_seeds.h"

#include "lib/making/link_framer.h"
#include "lib/making/stream_builder.h"
#include "lib/making/telemetry_unit_writer.h"

namespace {

std::vector<Bytes> ElementaryStreams() {
    Bytes sizeChange = MarkedPictures(96, 64, 2, 1, 2);
    Append(sizeChange, MarkedPictures(64, 48, 2, 3, 2));

    const Bytes cutShort =
        InsertBeforePictures(EncodeScenes(64, 64, 1), {BuildCutShortTelemetryUnit(MarkedRecord(5), 90)});

    std::vector<Bytes> streams = {MarkedPictures(64, 64, 3, 1, 3), sizeChange, cutShort,
                                  BuildTelemetryUnit(MarkedRecord(9))};
    for (Bytes& stream : streams) stream = Closed(stream);
    return streams;
}

// The link parser's harness reads its first byte as a control byte.
std::vector<Bytes> LinkFramedWithControl(const std::vector<Bytes>& streams) {
    std::vector<Bytes> out;
    uint8_t control = 0x3F;
    for (const Bytes& stream : streams) {
        Bytes input = {control};
        Append(input, Framed(stream));
        out.push_back(input);
        control ^= 0xC5;
    }
    Bytes noisy = {0x01};
    Append(noisy, LinkNoise(700, 3));
    Append(noisy, Framed(streams.back()));
    out.push_back(noisy);
    return out;
}

// A second control byte, where the stream session seeks: a third of the way in.
std::vector<Bytes> WithSeekByte(const std::vector<Bytes>& recordings) {
    std::vector<Bytes> out;
    for (const Bytes& recording : recordings) {
        Bytes input = recording;
        input.insert(input.begin() + 1, 0x55);
        out.push_back(input);
    }
    return out;
}

// The overflow target expands FE ED n v into (n + 1) x 32768 bytes v: a slice
// of 8 MB of 0x55 outgrows the assembly buffer, and the stream after it must
// still be split.
std::vector<Bytes> WithOversizedUnit(const std::vector<Bytes>& streams) {
    std::vector<Bytes> out = streams;
    Bytes oversized = {0x00, 0x00, 0x00, 0x01, 0x26, 0x01, 0xAF, 0xFE, 0xED, 0xFF, 0x55};
    Append(oversized, streams.front());
    out.push_back(oversized);
    return out;
}

}  // namespace

std::vector<SeedSet> MakeFuzzSeeds() {
    const std::vector<Bytes> streams = ElementaryStreams();
    const std::vector<Bytes> recordings = LinkFramedWithControl(streams);
    return {{"link_parser", recordings},
            {"nal_splitter", streams},
            {"nal_overflow", WithOversizedUnit(streams)},
            {"unit_path", streams},
            {"recording_reader", recordings},
            {"export_path", streams},
            {"stream_session", WithSeekByte(recordings)},
            {"picture_seeker", WithSeekByte(recordings)}};
}
