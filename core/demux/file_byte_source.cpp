#include "core/demux/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

// One read(2) asks for no more than this: its count must fit ssize_t.
constexpr size_t kLargestRead = size_t{1} << 30;

}  // namespace

std::unique_ptr<FileByteSource> FileByteSource::Open(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<FileByteSource>(new FileByteSource(fd));
}

FileByteSource::~FileByteSource() { close(fd_); }

// read(2) rather than pread(2): a pipe or a terminal named as a file reads too.
int64_t FileByteSource::Read(uint8_t* buffer, size_t size) {
    ssize_t n;
    do {
        n = read(fd_, buffer, std::min(size, kLargestRead));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        Fail(std::strerror(errno));
        return -1;
    }
    position_ += static_cast<uint64_t>(n);
    return n;
}

bool FileByteSource::Seek(uint64_t offset) {
    if (!WithinSize(offset, Size())) return false;
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return Fail(std::strerror(EOVERFLOW));
    if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return Fail(std::strerror(errno));
    position_ = offset;
    return true;
}

// Only a regular file's size means anything; a pipe's is 0 whatever it holds.
int64_t FileByteSource::Size() {
    struct stat info;
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<int64_t>(info.st_size);
}
