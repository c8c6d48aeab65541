#include "core/demux/byte_source.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

class ByteSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/dlp-bytes-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const std::vector<uint8_t>& bytes, std::ios::openmode mode = std::ios::trunc) const {
        const std::string path = (dir_ / "bytes.dat").string();
        std::ofstream(path, std::ios::binary | mode)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::unique_ptr<ByteSource> Open(const std::string& name) const {
        std::string error;
        std::unique_ptr<ByteSource> source = OpenByteSource(name, error);
        EXPECT_NE(source, nullptr) << name << ": " << error;
        return source;
    }

    std::filesystem::path dir_;
};

// Longer than FFmpeg's I/O buffer, and not repeating every 256 bytes, so
// that a piece from the wrong offset shows.
std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 253);
    return bytes;
}

std::vector<uint8_t> ReadSome(ByteSource& source, size_t size) {
    std::vector<uint8_t> piece(size);
    const int64_t n = source.Read(piece.data(), size);
    EXPECT_GE(n, 0) << source.Error();
    piece.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return piece;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t size) {
    return {bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + size)};
}

TEST_F(ByteSourceTest, EveryKindReadsSeeksAndSizesAlike) {
    const std::vector<uint8_t> bytes = Pattern(100003);
    const std::string path = Write(bytes);
    const std::vector<std::pair<const char*, std::function<std::unique_ptr<ByteSource>()>>> kinds = {
        {"file", [&] { return Open(path); }},
        {"memory", [&] { return std::make_unique<MemoryByteSource>(bytes.data(), bytes.size()); }},
        {"avio", [&] { return Open("file:" + path); }},
    };
    const size_t n = bytes.size();
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.first);
        std::unique_ptr<ByteSource> source = kind.second();
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->Size(), static_cast<int64_t>(n));

        std::vector<uint8_t> whole;
        const size_t pieces[] = {1, 7, 509, 4093, 65537};
        for (size_t i = 0; whole.size() < n && i < 1000; ++i) {
            const std::vector<uint8_t> piece = ReadSome(*source, pieces[i % 5]);
            whole.insert(whole.end(), piece.begin(), piece.end());
            EXPECT_EQ(source->Position(), whole.size());
        }
        EXPECT_EQ(whole, bytes);
        EXPECT_TRUE(ReadSome(*source, 10).empty());

        // Middle, start and the exact end, where a read gives 0.
        for (const size_t offset : {n / 2, size_t{0}, n}) {
            ASSERT_TRUE(source->Seek(offset));
            EXPECT_EQ(source->Position(), offset);
            EXPECT_EQ(ReadSome(*source, 1000), Slice(bytes, offset, std::min<size_t>(1000, n - offset)));
        }
        // Past the end the seek fails and the source stays where it was.
        ASSERT_TRUE(source->Seek(17));
        EXPECT_FALSE(source->Seek(n + 1));
        EXPECT_NE(source->Error().find("past the end"), std::string::npos) << source->Error();
        EXPECT_EQ(ReadSome(*source, 5), Slice(bytes, 17, 5));
    }
}

TEST_F(ByteSourceTest, ReadsWhatAGrowingFileGainsWithoutReopening) {
    const std::vector<uint8_t> bytes = Pattern(6000);
    for (const std::string prefix : {"", "file:"}) {
        SCOPED_TRACE(prefix);
        const std::string path = Write(Slice(bytes, 0, 4000));
        std::unique_ptr<ByteSource> source = Open(prefix + path);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(ReadSome(*source, 5000), Slice(bytes, 0, 4000));
        EXPECT_TRUE(ReadSome(*source, 5000).empty());
        EXPECT_FALSE(source->Seek(5000));

        Write(Slice(bytes, 4000, 2000), std::ios::app);
        EXPECT_EQ(source->Size(), 6000);
        EXPECT_EQ(ReadSome(*source, 1500), Slice(bytes, 4000, 1500));
        ASSERT_TRUE(source->Seek(5000));
        EXPECT_EQ(ReadSome(*source, 5000), Slice(bytes, 5000, 1000));
    }
}

TEST_F(ByteSourceTest, AMissingFileSaysWhy) {
    const std::string missing = (dir_ / "missing.dat").string();
    for (const std::string& name : {missing, "file:" + missing}) {
        std::string error;
        EXPECT_EQ(OpenByteSource(name, error), nullptr) << name;
        EXPECT_EQ(error, "No such file or directory") << name;
    }
}

TEST_F(ByteSourceTest, APipeReadsOnButCannotSeek) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::vector<uint8_t> bytes = Pattern(100);
    ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), 100);
    close(fds[1]);
    {
        std::unique_ptr<ByteSource> source = Open("pipe:" + std::to_string(fds[0]));
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->Size(), -1);
        EXPECT_EQ(ReadSome(*source, 10), Slice(bytes, 0, 10));
        EXPECT_FALSE(source->Seek(0));
        EXPECT_EQ(source->Error(), "Illegal seek");
        EXPECT_EQ(ReadSome(*source, 200), Slice(bytes, 10, 90));
    }
    close(fds[0]);
}

}  // namespace
