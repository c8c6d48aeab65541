// The index of a recording that is still being written, and the cache file
// that saves a pass over a recording opened again.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/demux/byte_source.h"
#include "lib/view/index_builder.h"
#include "lib/view/index_cache.h"
#include "tests/view/view_recordings.h"

namespace {

std::string TempFolder() {
    char name[] = "/tmp/dlp-view-index-XXXXXX";
    const char* folder = mkdtemp(name);
    if (folder == nullptr) throw std::runtime_error("mkdtemp");
    return folder;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, std::ios::openmode mode) {
    std::ofstream out(path, std::ios::binary | mode);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void ExpectSameIndex(const PictureIndex& a, const PictureIndex& b) {
    ASSERT_EQ(a.Count(), b.Count());
    for (int64_t n = 1; n <= static_cast<int64_t>(a.Count()); ++n) {
        const IndexedPicture& x = a.Picture(n);
        const IndexedPicture& y = b.Picture(n);
        EXPECT_EQ(x.tag, y.tag) << n;
        EXPECT_EQ(x.seekOffset, y.seekOffset) << n;
        EXPECT_EQ(x.running, y.running) << n;
        EXPECT_EQ(x.key, y.key) << n;
        EXPECT_EQ(x.parameterSets, y.parameterSets) << n;
        EXPECT_EQ(x.hasTelemetry, y.hasTelemetry) << n;
        EXPECT_EQ(x.values.height, y.values.height) << n;
        EXPECT_EQ(x.values.azimuth, y.values.azimuth) << n;
    }
    EXPECT_EQ(a.Marks().size(), b.Marks().size());
    EXPECT_EQ(a.ParameterSetTable(), b.ParameterSetTable());
}

// A recording written in pieces of every kind of size (mid-frame, mid-unit)
// while the index follows it ends with the index of the whole file.
TEST(PictureIndex, FollowingAGrowingFileEndsWithTheIndexOfTheWholeFile) {
    for (int bframes : {0, 3}) {
        SCOPED_TRACE(bframes);
        ViewRecordingOptions options{50, 10, bframes, true, 1, {}};
        options.impairments.dropRate = 0.005;
        options.impairments.noiseBytesBetweenFrames = 30;
        options.impairments.noiseProbability = 0.05;
        const std::vector<uint8_t> recording = MakeViewRecording(options);
        const std::string folder = TempFolder();
        const std::string path = folder + "/growing.dat";
        WriteFile(path, {}, std::ios::trunc);
        std::string error;
        PictureIndex index;
        IndexBuilder builder(FileByteSource::Open(path, error), index);
        size_t written = 0, lastCount = 0;
        const size_t pieces[] = {7, 513, 1000, 20000, 3, 511, 9999};
        for (size_t i = 0; written < recording.size(); ++i) {
            const size_t size = std::min(pieces[i % std::size(pieces)], recording.size() - written);
            const auto from = recording.begin() + static_cast<std::ptrdiff_t>(written);
            WriteFile(path, {from, from + static_cast<std::ptrdiff_t>(size)}, std::ios::app);
            written += size;
            while (builder.Step()) {
            }
            EXPECT_GE(index.Count(), lastCount) << "pictures never go away";
            lastCount = index.Count();
        }
        builder.Finish();
        index.SetComplete(true);
        EXPECT_EQ(index.BytesIndexed(), recording.size());
        ExpectSameIndex(index, IndexOf(recording));
        std::remove(path.c_str());
        rmdir(folder.c_str());
    }
}

struct CacheCase {
    const char* name;
    std::function<void(const std::string& recording, const std::string& cache)> change;
    bool loads;
};

void SetModified(const std::string& path, time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

TEST(IndexCache, LoadsOnlyTheIndexOfTheRecordingAsItIsNow) {
    const std::vector<uint8_t> recording = MakeViewRecording({30, 10, 3, true, 1, {}});
    const PictureIndex index = IndexOf(recording);
    const CacheCase cases[] = {
        {"unchanged", [](const std::string&, const std::string&) {}, true},
        {"grown", [](const std::string& r, const std::string&) { WriteFile(r, {0}, std::ios::app); }, false},
        {"touched", [](const std::string& r, const std::string&) { SetModified(r, 1700000000); }, false},
        {"a byte changed, size and time kept",
         [](const std::string& r, const std::string&) {
             std::fstream f(r, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(100);
             f.put('\x55');
             f.close();
             SetModified(r, 1600000000);
         },
         false},
        {"cache cut short", [](const std::string&, const std::string& c) { truncate(c.c_str(), 200); }, false},
        {"cache's count damaged",
         [](const std::string&, const std::string& c) {
             std::fstream f(c, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(48);  // the first count, after the magic, stamp and bytes indexed
             f.write("\xff\xff\xff\xff\xff\xff\xff\x7f", 8);
         },
         false},
        {"cache with bytes after its end", [](const std::string&, const std::string& c) { WriteFile(c, {1}, std::ios::app); },
         false},
    };
    for (const CacheCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = TempFolder();
        const std::string path = folder + "/flight.dat";
        WriteFile(path, recording, std::ios::trunc);
        SetModified(path, 1600000000);
        PictureIndex saved = index;
        saved.SetBytesIndexed(recording.size());
        ASSERT_TRUE(index_cache::Save(path, saved));
        c.change(path, index_cache::BesidePath(path));
        PictureIndex loaded;
        EXPECT_EQ(index_cache::Load(path, loaded), c.loads);
        if (c.loads) ExpectSameIndex(loaded, index);
        std::remove(index_cache::BesidePath(path).c_str());
        std::remove(path.c_str());
        rmdir(folder.c_str());
    }
}

// Where the index cannot be written beside the recording (a folder the user
// cannot write, such as the packaged sample's; here a folder standing in
// the way, which stops root too), it is kept in the user's cache folder.
TEST(IndexCache, WhereItCannotGoBesideTheRecordingItGoesToTheCacheFolder) {
    const std::vector<uint8_t> recording = MakeViewRecording({20, 10, 0, true, 1, {}});
    const std::string folder = TempFolder();
    const std::string cache = TempFolder();
    const std::string path = folder + "/flight.dat";
    WriteFile(path, recording, std::ios::trunc);
    ASSERT_EQ(mkdir(index_cache::BesidePath(path).c_str(), 0755), 0);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    PictureIndex index = IndexOf(recording);
    index.SetBytesIndexed(recording.size());
    EXPECT_TRUE(index_cache::Save(path, index));
    EXPECT_EQ(index_cache::CacheFolderPath(path).rfind(cache + "/downlink-view/", 0), 0u);
    PictureIndex loaded;
    EXPECT_TRUE(index_cache::Load(path, loaded));
    ExpectSameIndex(loaded, index);
    std::remove(index_cache::CacheFolderPath(path).c_str());
    rmdir(index_cache::BesidePath(path).c_str());
    std::remove(path.c_str());
    rmdir((cache + "/downlink-view").c_str());
    rmdir(cache.c_str());
    rmdir(folder.c_str());
    unsetenv("XDG_CACHE_HOME");
}

}  // namespace
