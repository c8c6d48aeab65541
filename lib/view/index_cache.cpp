#include "lib/view/index_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>

namespace index_cache {

namespace {

constexpr char kMagic[8] = {'D', 'L', 'V', 'I', 'N', 'D', 'X', '1'};
constexpr size_t kHashedBytes = 64 * 1024;
// Far above any recording's: a count beyond it is a damaged cache file.
constexpr uint64_t kMaxEntries = uint64_t{1} << 28;

struct Stamp {
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    uint64_t headHash = 0;
    uint64_t tailHash = 0;
    bool operator==(const Stamp& o) const {
        return size == o.size && modifiedNs == o.modifiedNs && headHash == o.headHash && tailHash == o.tailHash;
    }
};

uint64_t Fnv1a(const std::vector<char>& bytes) {
    uint64_t hash = 1469598103934665603ULL;
    for (char c : bytes) hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ULL;
    return hash;
}

bool HashRange(std::ifstream& in, uint64_t start, uint64_t size, uint64_t& hash) {
    std::vector<char> bytes(size);
    in.seekg(static_cast<std::streamoff>(start));
    if (size > 0 && !in.read(bytes.data(), static_cast<std::streamsize>(size))) return false;
    hash = Fnv1a(bytes);
    return true;
}

bool StampOf(const std::string& recording, Stamp& stamp) {
    struct stat st {};
    if (stat(recording.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    std::ifstream in(recording, std::ios::binary);
    if (!in) return false;
    const uint64_t hashed = std::min<uint64_t>(stamp.size, kHashedBytes);
    return HashRange(in, 0, hashed, stamp.headHash) && HashRange(in, stamp.size - hashed, hashed, stamp.tailHash);
}

template <typename T>
void Put(std::ostream& out, const T& value) {
    out.write(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
bool Get(std::istream& in, T& value) {
    return static_cast<bool>(in.read(reinterpret_cast<char*>(&value), sizeof value));
}

void PutStamp(std::ostream& out, const Stamp& stamp) {
    Put(out, stamp.size);
    Put(out, stamp.modifiedNs);
    Put(out, stamp.headHash);
    Put(out, stamp.tailHash);
}

bool GetStamp(std::istream& in, Stamp& stamp) {
    return Get(in, stamp.size) && Get(in, stamp.modifiedNs) && Get(in, stamp.headHash) && Get(in, stamp.tailHash);
}

// Fixed-size fields, written one by one so that the file does not depend
// on the compiler's padding.
void PutPicture(std::ostream& out, const IndexedPicture& p) {
    Put(out, p.tag);
    Put(out, p.seekOffset);
    Put(out, p.running);
    Put(out, p.parameterSets);
    const uint8_t flags = static_cast<uint8_t>((p.key ? 1 : 0) | (p.hasTelemetry ? 2 : 0));
    Put(out, flags);
    Put(out, p.values.azimuth);
    Put(out, p.values.pitch);
    Put(out, p.values.longitude);
    Put(out, p.values.latitude);
    Put(out, p.values.height);
}

bool GetPicture(std::istream& in, IndexedPicture& p) {
    uint8_t flags = 0;
    if (!(Get(in, p.tag) && Get(in, p.seekOffset) && Get(in, p.running) && Get(in, p.parameterSets) &&
          Get(in, flags) && Get(in, p.values.azimuth) && Get(in, p.values.pitch) && Get(in, p.values.longitude) &&
          Get(in, p.values.latitude) && Get(in, p.values.height)))
        return false;
    p.key = (flags & 1) != 0;
    p.hasTelemetry = (flags & 2) != 0;
    return true;
}

bool Write(const std::string& path, const Stamp& stamp, const PictureIndex& index) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(kMagic, sizeof kMagic);
        PutStamp(out, stamp);
        Put(out, index.BytesIndexed());
        Put(out, static_cast<uint64_t>(index.ParameterSetTable().size()));
        for (const std::vector<uint8_t>& sets : index.ParameterSetTable()) {
            Put(out, static_cast<uint64_t>(sets.size()));
            out.write(reinterpret_cast<const char*>(sets.data()), static_cast<std::streamsize>(sets.size()));
        }
        Put(out, static_cast<uint64_t>(index.Count()));
        for (const IndexedPicture& p : index.DecodeOrder()) PutPicture(out, p);
        Put(out, static_cast<uint64_t>(index.Marks().size()));
        for (const LinkMark& m : index.Marks()) {
            Put(out, m.offset);
            Put(out, static_cast<uint8_t>(m.kind));
            Put(out, m.count);
        }
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool Read(const std::string& path, const Stamp& expected, PictureIndex& index) {
    std::ifstream in(path, std::ios::binary);
    char magic[sizeof kMagic];
    Stamp stamp;
    uint64_t bytesIndexed = 0, count = 0;
    if (!in.read(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0) return false;
    if (!GetStamp(in, stamp) || !(stamp == expected) || !Get(in, bytesIndexed)) return false;
    PictureIndex loaded;
    loaded.SetBytesIndexed(bytesIndexed);
    if (!Get(in, count) || count > kMaxEntries) return false;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t size = 0;
        if (!Get(in, size) || size > (uint64_t{1} << 24)) return false;
        std::vector<uint8_t> sets(size);
        if (!in.read(reinterpret_cast<char*>(sets.data()), static_cast<std::streamsize>(size))) return false;
        loaded.AddParameterSets(sets);
    }
    const int64_t tables = static_cast<int64_t>(loaded.ParameterSetTable().size());
    if (!Get(in, count) || count > kMaxEntries) return false;
    int64_t lastTag = 0;
    for (uint64_t i = 0; i < count; ++i) {
        IndexedPicture p;
        if (!GetPicture(in, p) || p.tag <= lastTag || p.parameterSets >= tables || p.seekOffset > stamp.size)
            return false;
        lastTag = p.tag;
        loaded.Add(p);
    }
    if (!Get(in, count) || count > kMaxEntries) return false;
    for (uint64_t i = 0; i < count; ++i) {
        LinkMark m;
        uint8_t kind = 0;
        if (!Get(in, m.offset) || !Get(in, kind) || !Get(in, m.count) ||
            kind > static_cast<uint8_t>(LinkMark::Kind::kSequenceBreak))
            return false;
        m.kind = static_cast<LinkMark::Kind>(kind);
        loaded.AddMark(m);
    }
    if (in.peek() != std::char_traits<char>::eof()) return false;
    index = std::move(loaded);
    return true;
}

std::vector<char> AsBytes(const std::string& text) { return std::vector<char>(text.begin(), text.end()); }

std::string AbsolutePath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

}  // namespace

std::string BesidePath(const std::string& recording) { return recording + ".dlvindex"; }

std::string CacheFolderPath(const std::string& recording) {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::string folder;
    if (xdg != nullptr && xdg[0] == '/') {
        folder = xdg;
    } else if (home != nullptr && home[0] != '\0') {
        folder = std::string(home) + "/.cache";
    } else {
        return {};
    }
    char name[32];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(Fnv1a(AsBytes(AbsolutePath(recording)))));
    return folder + "/downlink-view/" + name + ".dlvindex";
}

bool Load(const std::string& recording, PictureIndex& index) {
    Stamp stamp;
    if (!StampOf(recording, stamp)) return false;
    for (const std::string& path : {BesidePath(recording), CacheFolderPath(recording)}) {
        if (!path.empty() && Read(path, stamp, index)) return true;
    }
    return false;
}

bool Save(const std::string& recording, const PictureIndex& index) {
    Stamp stamp;
    if (!StampOf(recording, stamp) || stamp.size != index.BytesIndexed()) return false;
    if (Write(BesidePath(recording), stamp, index)) return true;
    const std::string path = CacheFolderPath(recording);
    if (path.empty()) return false;
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string parent = folder.substr(0, folder.rfind('/'));
    mkdir(parent.c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    return Write(path, stamp, index);
}

}  // namespace index_cache
