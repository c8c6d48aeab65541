// export-recording run as a user runs it, on recordings made with the
// recording library, and its outputs read back by ffprobe and ffmpeg.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "core/demux/annex_b.h"
#include "core/format/nal_unit.h"
#include "core/present/telemetry_line.h"
#include "tests/tools/support/klv_reader.h"
#include "tests/tools/support/tool_folder.h"
#include "tests/tools/support/ts_reader.h"
#include "lib/formats/telemetry_track.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/reading/recording_reader.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Pattern(int width, int height, int frames, int slices = 1, int bframes = 0) {
    PatternOptions o;
    o.width = width;
    o.height = height;
    o.frames = frames;
    o.keyint = 4;
    o.slices = slices;
    o.bframes = bframes;
    std::vector<uint8_t> es;
    std::string error;
    EXPECT_TRUE(EncodeTestPattern(o, es, error)) << error;
    return es;
}

class ExportRecording : public ToolFolderTest {
protected:
    ToolRun Export(const std::string& args) const { return Execute(EXPORT_RECORDING, args); }

    // Writes the recording and returns what the player's pipeline shows of it.
    RecordingReport Record(const std::string& name, const std::vector<uint8_t>& es, const Impairments& imp = {},
                           uint64_t padToBytesPerSecond = 0) {
        RecordingOptions o;
        o.impairments = imp;
        o.targetBytesPerSecond = padToBytesPerSecond;
        const std::vector<uint8_t> bytes = BuildRecording(es, FlightTrack(CountPictures(es)), o);
        std::string error;
        EXPECT_TRUE(WriteWholeFile(Path(name), bytes, error)) << error;
        ReadOptions read;
        read.decode = true;
        return ReadRecordingBytes(bytes, read);
    }

    // Packets per stream, by codec name; mov_text's empty samples (gaps) not counted.
    std::map<std::string, int> PacketsByCodec(const std::string& file) const {
        const ToolRun streams = Execute("ffprobe", "-v error -show_entries stream=index,codec_name -of csv=p=0 " + file);
        EXPECT_EQ(streams.status, 0) << file << ": " << streams.err;
        std::map<std::string, std::string> codecOf;
        std::istringstream s(streams.out);
        for (std::string line; std::getline(s, line);) {
            const size_t comma = line.find(',');
            if (comma != std::string::npos) codecOf[line.substr(0, comma)] = line.substr(comma + 1);
        }
        const ToolRun packets = Execute("ffprobe", "-v error -show_entries packet=stream_index,size -of csv=p=0 " + file);
        std::map<std::string, int> count;
        std::istringstream p(packets.out);
        for (std::string line; std::getline(p, line);) {
            const size_t comma = line.find(',');
            if (comma == std::string::npos || std::stoi(line.substr(comma + 1)) <= 2) continue;
            ++count[codecOf[line.substr(0, comma)]];
        }
        return count;
    }

    // One hash per decoded picture, in show order.
    std::vector<std::string> FrameHashes(const std::string& input) const {
        const ToolRun run = Execute("ffmpeg", "-v quiet -threads 1 -i " + input + " -map 0:v -f framemd5 -");
        std::vector<std::string> hashes;
        std::istringstream s(run.out);
        for (std::string line; std::getline(s, line);) {
            if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(',') + 1));
        }
        return hashes;
    }
};

}  // namespace

// The video is the player's own, picture for picture, and each container has
// one telemetry packet for each picture.
TEST_F(ExportRecording, ContainersHoldThePicturesThePlayerDecodesAndOneTelemetryPacketEach) {
    const struct {
        const char* name;
        int slices;
        int bframes;
        uint64_t padRate;
    } cases[] = {{"single slice, filler", 1, 0, 200000}, {"four slices, filler", 4, 0, 200000}, {"B-frames", 1, 2, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordingReport shown = Record("r.dat", Pattern(192, 128, 10, c.slices, c.bframes), {}, c.padRate);
        ASSERT_EQ(shown.pictures, 10u);
        std::string error;
        ASSERT_TRUE(WriteWholeFile(Path("handed-over.hevc"), shown.elementaryStream, error));
        const std::vector<std::string> reference = FrameHashes("handed-over.hevc");
        ASSERT_EQ(reference.size(), 10u);

        const ToolRun run = Export("r.dat -q -o o.ts -o o.mkv -o o.mp4");
        ASSERT_EQ(run.status, 0) << run.err;
        const std::map<std::string, std::map<std::string, int>> expected = {
            {"o.ts", {{"hevc", 10}, {"klv", 10}}},
            {"o.mkv", {{"hevc", 10}, {"subrip", 10}}},
            {"o.mp4", {{"hevc", 10}, {"mov_text", 10}}},
        };
        for (const auto& [file, packets] : expected) {
            EXPECT_EQ(PacketsByCodec(file), packets) << file;
            EXPECT_EQ(FrameHashes(file), reference) << file;
        }
        // Neither filler nor telemetry reaches the decoder, so neither is exported.
        ASSERT_EQ(Execute("ffmpeg", "-y -v error -i o.ts -map 0:v -c copy -f hevc copied.hevc").status, 0);
        std::vector<uint8_t> copied;
        ASSERT_TRUE(ReadWholeFile(Path("copied.hevc"), copied, error));
        const std::vector<uint8_t> units = ToFourByteStartCodes(copied.data(), copied.size());
        for (const UnitSpan& u : FindUnits(units)) {
            EXPECT_NE(UnitType(units.data() + u.offset), nal_unit::kFillerData);
            EXPECT_FALSE(telemetry_unit::IsTelemetryUnit(units.data() + u.offset, u.size));
        }
    }
}

// The KLV stream in the asynchronous form of MISB ST 1402, read packet by
// packet: stream type 0x06 with a "KLVA" registration descriptor, every PES
// packet on private_stream_1 with its picture's PTS and one whole Local Set.
TEST_F(ExportRecording, TransportStreamCarriesKlvInTheAsynchronousForm) {
    constexpr int kPictures = 10;
    Record("r.dat", Pattern(192, 128, kPictures, 1, 2));  // B-frames: PTS out of file order
    const ToolRun run = Export("r.dat -q -o o.ts");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(ReadWholeFile(Path("o.ts"), file, error)) << error;
    const ts_reader::TransportStream ts = ts_reader::Read(file);

    ASSERT_EQ(ts.streams.size(), 2u);
    int videoPid = -1, klvPid = -1;
    for (const auto& [pid, es] : ts.streams) {
        if (es.streamType == 0x24) videoPid = pid;  // HEVC
        if (es.streamType != 0x06) continue;        // PES private data
        klvPid = pid;
        const ts_reader::Bytes klva = {'K', 'L', 'V', 'A'};
        EXPECT_EQ(es.descriptors, (std::vector<std::pair<int, ts_reader::Bytes>>{{0x05, klva}}));
    }
    ASSERT_NE(videoPid, -1);
    ASSERT_NE(klvPid, -1);

    std::multiset<int64_t> picturePts, klvPts;
    std::vector<std::pair<int64_t, uint64_t>> klvTimes;  // PTS, the Local Set's time stamp
    for (const ts_reader::PesPacket& pes : ts.pes) {
        EXPECT_TRUE(pes.hasPts);
        if (pes.pid == videoPid) {
            EXPECT_EQ(pes.streamId, 0xE0);
            picturePts.insert(pes.pts);
            continue;
        }
        EXPECT_EQ(pes.streamId, 0xBD) << "PES at PTS " << pes.pts;
        klvPts.insert(pes.pts);
        const klv_reader::LocalSet set = klv_reader::Read(pes.payload);
        ASSERT_EQ(set.items.count(1), 1u);
        EXPECT_EQ(klv_reader::Unsigned(set.items.at(1)), klv_reader::Checksum(pes.payload));
        klvTimes.emplace_back(pes.pts, klv_reader::Unsigned(set.items.at(2)));
    }
    EXPECT_EQ(klvPts.size(), size_t{kPictures});
    EXPECT_EQ(klvPts, picturePts);
    // The PTS and the Local Set's time stamp (microseconds) tell the same time.
    for (const auto& [pts, micros] : klvTimes) {
        EXPECT_EQ((pts - klvTimes[0].first) * 100, static_cast<int64_t>(micros - klvTimes[0].second) * 9);
    }

    // FFmpeg's reader still takes it for KLV.
    const ToolRun probe = Execute("ffprobe", "-v error -show_entries stream=codec_name,codec_tag_string -of csv=p=0 o.ts");
    EXPECT_NE(probe.out.find("klv,KLVA"), std::string::npos) << probe.out;
    EXPECT_EQ(PacketsByCodec("o.ts"), (std::map<std::string, int>{{"hevc", kPictures}, {"klv", kPictures}}));
}

// Each subtitle shows its picture's number and the values exactly as the
// player's line writes them, with units, in short lines.
TEST_F(ExportRecording, SubtitlesShowThePlayersValues) {
    Record("r.dat", Pattern(192, 128, 3));
    ASSERT_EQ(Export("r.dat -q -o o.mkv").status, 0);
    ToolRun srt = Execute("ffmpeg", "-v error -i o.mkv -map 0:s -f srt -");
    // ffmpeg's SubRip writer ends the lines inside a cue with "\r\n".
    srt.out.erase(std::remove(srt.out.begin(), srt.out.end(), '\r'), srt.out.end());
    const TelemetryValues v = DecodeTelemetry(FlightTrack(3)[1]);
    const std::string cue = "2\n00:00:00,040 --> 00:00:00,080\n#2  ";
    const size_t at = srt.out.find(cue);
    ASSERT_NE(at, std::string::npos) << srt.out;
    const std::string values = "\nLat " + TelemetryNumber(v.latitude) + "  Lon " + TelemetryNumber(v.longitude) +
                               "  H " + TelemetryNumber(v.height) + " m\nAz " + TelemetryNumber(v.azimuth) +
                               "\u00b0  Pt " + TelemetryNumber(v.pitch) + "\u00b0\n\n";
    EXPECT_EQ(srt.out.find(values, at), srt.out.find('\n', at + cue.size())) << srt.out;
}

// A picture missing from the stream leaves its interval empty.
TEST_F(ExportRecording, LostPictureLeavesAGapInTheTimeline) {
    const std::vector<uint8_t> whole = Pattern(192, 128, 8);
    std::vector<uint8_t> es;
    int picture = -1;
    for (const UnitSpan& u : FindUnits(whole)) {
        if (StartsPicture(whole.data() + u.offset, u.size)) ++picture;
        // The last picture before a key picture: nothing refers to it.
        if (picture == 3 && IsSliceUnit(whole.data() + u.offset, u.size)) continue;
        es.insert(es.end(), whole.begin() + u.offset, whole.begin() + u.offset + u.size);
    }
    ASSERT_EQ(Record("r.dat", es).pictures, 7u);
    ASSERT_EQ(Export("r.dat -q -o o.mkv").status, 0);
    const ToolRun pts = Execute("ffprobe", "-v error -select_streams v -show_entries packet=pts -of csv=p=0 o.mkv");
    EXPECT_EQ(pts.out, "0\n40\n80\n160\n200\n240\n280\n");
}

TEST_F(ExportRecording, ImpairedRecordingsExportEveryPictureThePlayerShows) {
    const std::vector<uint8_t> es = Pattern(192, 128, 16);
    Impairments drops, flips, cut, garbage;
    drops.dropRate = 0.05;
    drops.seed = 3;
    flips.bitFlipRate = 0.0005;
    flips.seed = 5;
    cut.truncateAt = 20 * 512 + 100;
    garbage.noiseBytesBetweenFrames = 200;
    garbage.noiseProbability = 0.5;
    const struct {
        const char* name;
        Impairments imp;
    } cases[] = {{"dropped frames", drops}, {"bit flips", flips}, {"truncated", cut}, {"garbage", garbage}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordingReport shown = Record("r.dat", es, c.imp);
        ASSERT_GT(shown.pictures, 0u);
        const ToolRun run = Export("r.dat -o o.ts -o o.mkv -o o.mp4");
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string count = std::to_string(shown.pictures);
        EXPECT_NE(run.err.find("exported " + count + " of " + count + " pictures"), std::string::npos) << run.err;
        const int pictures = static_cast<int>(shown.pictures);
        EXPECT_EQ(PacketsByCodec("o.ts"), (std::map<std::string, int>{{"hevc", pictures}, {"klv", pictures}}));
        EXPECT_EQ(PacketsByCodec("o.mkv"), (std::map<std::string, int>{{"hevc", pictures}, {"subrip", pictures}}));
        EXPECT_EQ(PacketsByCodec("o.mp4"), (std::map<std::string, int>{{"hevc", pictures}, {"mov_text", pictures}}));
    }
}

TEST_F(ExportRecording, SizeChangeStopsMatroskaAndMp4ButNotTheTransportStream) {
    std::vector<uint8_t> es = Pattern(192, 128, 4);
    const std::vector<uint8_t> smaller = Pattern(128, 96, 4);
    es.insert(es.end(), smaller.begin(), smaller.end());
    ASSERT_EQ(Record("r.dat", es).pictures, 8u);
    const ToolRun run = Export("r.dat -q -o o.ts -o o.mkv -o o.mp4");
    EXPECT_EQ(run.status, 5);
    for (const char* format : {".mkv", ".mp4"}) {
        EXPECT_NE(run.err.find(std::string("o") + format +
                               ": picture 5 changes the size from 192x128 to 128x96; a size change inside one "
                               "file is not supported in " + format),
                  std::string::npos)
            << run.err;
        EXPECT_FALSE(fs::exists(Path(std::string("o") + format)));
    }
    EXPECT_EQ(PacketsByCodec("o.ts"), (std::map<std::string, int>{{"hevc", 8}, {"klv", 8}}));
}

TEST_F(ExportRecording, FailuresHaveTheirOwnStatusAndLeaveNoFile) {
    Record("r.dat", Pattern(192, 128, 2));
    std::ofstream(Path("junk.dat")) << std::string(4000, 'x');
    const struct {
        const char* args;
        int status;
        const char* says;
    } cases[] = {
        {"r.dat -o good.ts -o o.avi", 1, "o.avi: unknown extension"},
        {"r.dat -o good.ts --fps 0", 1, "invalid value '0' for --fps"},
        {"r.dat -o good.ts --start-time yesterday", 1, "invalid value 'yesterday' for --start-time"},
        {"r.dat -o good.ts --from 1.5", 1, "invalid value '1.5' for --from: expected a picture number"},
        {"r.dat -o good.ts --from 2 --to 1", 1, "--to (picture 1) is before --from (picture 2)\n"},
        {"r.dat -o good.ts --from 0.1s --to 0:00.08", 1, "--to (0.08 s) is before --from (0.1 s)\n"},
        {"r.dat -o good.ts --from 3", 1,
         "r.dat: no picture from picture 3 to the end: the player shows pictures 1 to 2, at 0 to 0.04 s; "
         "nothing written\n"},
        {"r.dat -o good.ts --from 2 --to 0.02s", 1, "no picture from picture 2 to 0.02 s"},
        {"missing.dat -o good.ts", 2, "cannot open missing.dat"},
        {"r.dat -o good.ts -o no/such/dir/o.mkv", 3, "cannot create no/such/dir/o.mkv"},
        {"junk.dat -o good.ts", 4, "junk.dat: the player shows no picture of it"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Export(c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << ": " << run.err;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 4) << c.args;
    }
}

namespace {

// Sensor latitude (tag 13) of each ST 0601 Local Set in `klv`, one set
// after another as the transport stream's data stream holds them.
std::vector<double> KlvLatitudes(const std::vector<uint8_t>& klv) {
    std::vector<double> latitudes;
    size_t pos = 0;
    while (pos < klv.size()) {
        const size_t setStart = pos;
        size_t length = 0;
        pos += klv_reader::kKey.size();
        if (!klv_reader::ReadLength(klv, pos, length) || pos + length > klv.size()) break;
        pos += length;
        const klv_reader::LocalSet set = klv_reader::Read(
            klv_reader::Bytes(klv.begin() + static_cast<long>(setStart), klv.begin() + static_cast<long>(pos)));
        const auto latitude = set.items.find(13);
        if (latitude == set.items.end()) continue;
        latitudes.push_back(int32_t(klv_reader::Unsigned(latitude->second)) * 90.0 / 2147483647.0);
    }
    return latitudes;
}

std::vector<std::string> Fields(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::istringstream s(line);
    for (std::string field; std::getline(s, field, separator);) fields.push_back(field);
    return fields;
}

// The values of a telemetry line, without their names: "Az:1.5" -> "1.5".
std::vector<std::string> LineValues(const std::string& line) {
    std::vector<std::string> values;
    const std::vector<std::string> fields = Fields(line, ',');
    for (size_t i = 2; i < fields.size(); ++i) values.push_back(fields[i].substr(fields[i].find(':') + 1));
    return values;
}

}  // namespace

// The encoder reorders pictures (open GOP, three B-frames, delimiters): the
// player shows each with the record sent before it, and every export carries
// the same values picture by picture.
TEST_F(ExportRecording, ReorderedPicturesCarryTheirOwnRecordsInEveryExport) {
    constexpr int kFrames = 26;
    PatternOptions o;
    o.width = 192;
    o.height = 128;
    o.frames = kFrames;
    o.keyint = 12;
    o.bframes = 3;
    o.accessUnitDelimiters = true;
    std::vector<uint8_t> es;
    std::string error;
    ASSERT_TRUE(EncodeTestPattern(o, es, error)) << error;
    std::vector<TelemetryRecord> records(kFrames);
    std::multiset<int> sentHeights;
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_TRUE(EncodeRecord(TelemetrySample{i * 5.0 - 60, 45, 116.5, 39 + i * 0.01, 1000.0 + i}, records[i], error))
            << error;
        sentHeights.insert(1000 + i);
    }
    const std::vector<uint8_t> bytes = BuildRecording(es, records, RecordingOptions{});
    ASSERT_TRUE(WriteWholeFile(Path("r.dat"), bytes, error)) << error;

    std::vector<std::string> lines;
    std::multiset<int> shownHeights;
    ReadOptions read;
    read.decode = true;
    read.onPicture = [&](const ShownPicture& picture) {
        const TelemetryRecord& record = picture.record;
        std::ostringstream line;
        WriteTelemetryLine(line, int32_t(lines.size() + 1), 1, DecodeTelemetry(record));
        lines.push_back(line.str().substr(0, line.str().size() - 1));
        shownHeights.insert(int(std::lround(DecodeTelemetry(record).height)));
    };
    ReadRecordingBytes(bytes, read);
    ASSERT_EQ(lines.size(), size_t(kFrames));
    // Every record once; the key picture, first in both orders, with the first.
    EXPECT_EQ(shownHeights, sentHeights);
    EXPECT_EQ(LineValues(lines[0]).back(), "1000");

    ASSERT_EQ(Export("r.dat -q -o o.csv -o o.ts").status, 0);
    const std::vector<std::string> rows = Fields(Slurp(Path("o.csv")), '\n');
    ASSERT_EQ(rows.size(), size_t(kFrames + 1));
    ASSERT_EQ(Execute("ffmpeg", "-v error -i o.ts -map 0:d -c copy -f data o.klv").status, 0);
    std::vector<uint8_t> klv;
    ASSERT_TRUE(ReadWholeFile(Path("o.klv"), klv, error)) << error;
    const std::vector<double> latitudes = KlvLatitudes(klv);
    ASSERT_EQ(latitudes.size(), size_t(kFrames));
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string> values = LineValues(lines[i]);
        std::vector<std::string> row = Fields(rows[i + 1], ',');
        row.erase(row.begin(), row.begin() + 2);  // picture number and time
        EXPECT_EQ(row, values) << "picture " << i + 1;
        EXPECT_NEAR(latitudes[i], std::stod(values[3]), 1e-5) << "picture " << i + 1;
    }
}

namespace {

// Rows of a CSV export after its header.
std::vector<std::string> CsvRows(const std::string& text) {
    std::vector<std::string> rows = Fields(text, '\n');
    if (!rows.empty()) rows.erase(rows.begin());
    return rows;
}

// Milliseconds of the row's UTC time: "...T03:23:05.863Z" -> its place in the day.
int64_t RowMillis(const std::string& row) {
    const std::string time = Fields(row, ',').at(1);
    const size_t t = time.find('T');
    return ((std::stoll(time.substr(t + 1, 2)) * 60 + std::stoll(time.substr(t + 4, 2))) * 60000) +
           std::lround(std::stod(time.substr(t + 7, 6)) * 1000);
}

}  // namespace

// A stretch cut out of a recording: the per-picture outputs hold exactly the
// rows of a whole export from X to Y, the video starts at a key picture no
// more than one key interval before X, decodes without an error in every
// container, and shows the player's pictures X to Y at their places.
TEST_F(ExportRecording, RangeHoldsItsPicturesAndItsVideoDecodesFromAKeyPicture) {
    constexpr int kKeyint = 12;
    PatternOptions o;
    o.width = 192;
    o.height = 128;
    o.frames = 60;
    o.keyint = kKeyint;
    o.bframes = 3;  // open GOP: the key pictures after the first have leading pictures
    std::vector<uint8_t> reordered;
    std::string error;
    ASSERT_TRUE(EncodeTestPattern(o, reordered, error)) << error;
    // A picture lost before a key picture: times and numbers part from there.
    const std::vector<uint8_t> whole = Pattern(192, 128, 16);
    std::vector<uint8_t> lossy;
    int picture = -1;
    for (const UnitSpan& u : FindUnits(whole)) {
        if (StartsPicture(whole.data() + u.offset, u.size)) ++picture;
        if (picture == 7 && IsSliceUnit(whole.data() + u.offset, u.size)) continue;
        lossy.insert(lossy.end(), whole.begin() + u.offset, whole.begin() + u.offset + u.size);
    }
    const struct {
        const char* name;
        const std::vector<uint8_t>& es;
        const char* range;
        int from;  // the pictures it should hold
        int to;
    } cases[] = {
        {"B-frames, a key picture's trailing picture on", reordered, "--from 27 --to 40", 27, 40},
        {"B-frames, a leading picture of the next key picture", reordered, "--from 23 --to 26", 23, 26},
        {"B-frames, from a key picture", reordered, "--from 13 --to 13", 13, 13},
        {"B-frames, times", reordered, "--from 0:00.52 --to 1.6s", 14, 41},
        {"B-frames, to the end", reordered, "--from 50", 50, 60},
        {"lost picture, times after the gap", lossy, "--from 0.32s --to 0:00:00.4", 8, 10},
        {"lost picture, from the start", lossy, "--to 9", 1, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordingReport shown = Record("r.dat", c.es);
        ASSERT_TRUE(WriteWholeFile(Path("handed-over.hevc"), shown.elementaryStream, error));
        const std::vector<std::string> reference = FrameHashes("handed-over.hevc");
        ASSERT_EQ(reference.size(), shown.pictures);
        ASSERT_EQ(Export("r.dat -q -o whole.csv").status, 0);
        const std::vector<std::string> wholeRows = CsvRows(Slurp(Path("whole.csv")));

        const ToolRun run = Export(std::string("r.dat -q ") + c.range + " -o c.mkv -o c.mp4 -o c.ts -o c.csv -o c.srt");
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> rows = CsvRows(Slurp(Path("c.csv")));
        EXPECT_EQ(rows, std::vector<std::string>(wholeRows.begin() + c.from - 1, wholeRows.begin() + c.to));
        const int count = c.to - c.from + 1;
        EXPECT_EQ(PacketsByCodec("c.ts")["klv"], count);
        EXPECT_EQ(PacketsByCodec("c.mkv")["subrip"], count);
        EXPECT_EQ(PacketsByCodec("c.mp4")["mov_text"], count);

        // The first cue tells where X stands in the cut's timeline, so where
        // the video starts; its time of day, which picture that is.
        const std::string srt = Slurp(Path("c.srt"));
        ASSERT_EQ(srt.rfind("1\n00:00:", 0), 0u) << srt;
        const int64_t leadIn = std::stoll(srt.substr(8, 2)) * 25 + std::stoll(srt.substr(11, 3)) / 40;
        EXPECT_LT(leadIn, kKeyint);
        const auto start = std::find_if(wholeRows.begin(), wholeRows.end(), [&](const std::string& row) {
            return RowMillis(row) == RowMillis(rows.front()) - leadIn * 40;
        });
        ASSERT_NE(start, wholeRows.end()) << "no picture at the video's start";
        const int key = static_cast<int>(start - wholeRows.begin()) + 1;
        for (const char* file : {"c.mkv", "c.mp4", "c.ts"}) {
            SCOPED_TRACE(file);
            const ToolRun decode = Execute("ffmpeg", std::string("-v error -threads 1 -i ") + file + " -f null -");
            EXPECT_EQ(decode.status, 0);
            EXPECT_EQ(decode.err, "");
            // Every packet is a picture shown; the first a key picture.
            const std::string counting = "-v error -select_streams v -count_frames -count_packets "
                                         "-show_entries stream=nb_read_frames,nb_read_packets -of csv=p=0 ";
            const ToolRun probe = Execute("ffprobe", counting + file);
            const std::vector<std::string> counts = Fields(probe.out.substr(0, probe.out.find('\n')), ',');
            ASSERT_EQ(counts.size(), 2u) << probe.out;
            EXPECT_EQ(counts[0], counts[1]);
            // The pictures it shows, by the player's numbers: from the key
            // picture on, in order, each of X to Y among them.
            const ToolRun frames = Execute("ffmpeg", std::string("-v quiet -threads 1 -i ") + file +
                                                         " -map 0:v -fps_mode passthrough -f framemd5 -");
            std::vector<int> numbers;
            std::istringstream lines(frames.out);
            for (std::string line; std::getline(lines, line);) {
                if (line.empty() || line[0] == '#') continue;
                const auto at = std::find(reference.begin(), reference.end(), line.substr(line.rfind(',') + 1));
                numbers.push_back(at == reference.end() ? 0 : int(at - reference.begin()) + 1);
            }
            ASSERT_FALSE(numbers.empty());
            EXPECT_EQ(numbers.front(), key);
            EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end())) << ::testing::PrintToString(numbers);
            EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
            for (int n = c.from; n <= c.to; ++n) {
                EXPECT_NE(std::find(numbers.begin(), numbers.end(), n), numbers.end()) << "picture " << n;
            }
        }
    }
}
