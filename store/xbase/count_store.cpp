#include "store/xbase/count_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "store/xbase/coding.h"

namespace xb {

namespace {

namespace fs = std::filesystem;

// The file: "QVTC", u32 version, then three byte strings (u32 length and
// the bytes: the index's full path, its content stamp, its root page), u32
// number of counts and the counts (u32 each), and a u64 checksum of all
// that. Little-endian throughout.
constexpr char kMagic[4] = {'Q', 'V', 'T', 'C'};
constexpr std::uint32_t kVersion = 1;
// No index has more pages than this (4 GiB of 1 KiB pages).
constexpr std::uint32_t kMaxCounts = 1u << 22;

struct Config {
    std::mutex mutex;
    std::string folder;
    std::uint32_t minPages = 4096;
};

Config& config() {
    static Config c;
    return c;
}

std::string fullPath(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(path), ec);
    if (ec) p = fs::absolute(fs::path(path), ec);
    return ec ? path : p.string();
}

std::uint64_t fnv1a(const std::string& s) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

// A checksum that reads the counts a word at a time: two megabytes of them
// are checked in well under a millisecond.
std::uint64_t checksum(const std::uint8_t* p, std::size_t n) {
    std::uint64_t h = 0x9e3779b97f4a7c15ull ^ n;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0xff51afd7ed558ccdull;
        h ^= h >> 29;
    }
    for (; i < n; ++i)
        h = (h ^ p[i]) * 0x100000001b3ull;
    return h ^ (h >> 32);
}

// Reads the bytes of a file of at most `cap` bytes.
bool readFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t cap) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    std::uint8_t buf[1 << 16];
    for (;;) {
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 || out.size() + static_cast<std::size_t>(r) > cap) {
            ok = false;
            break;
        }
        if (r == 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    ::close(fd);
    return ok;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += static_cast<std::size_t>(w);
    }
    return ::close(fd) == 0 && done == bytes.size();
}

// Takes one byte string of the file apart; false past its end.
bool takeBytes(const std::vector<std::uint8_t>& in, std::size_t& at, std::string& out) {
    if (in.size() - at < 4) return false;
    const std::uint32_t n = getU32LE(in.data() + at);
    at += 4;
    if (in.size() - at < n) return false;
    out.assign(reinterpret_cast<const char*>(in.data() + at), n);
    at += n;
    return true;
}

}  // namespace

void setCountCache(std::string folder, std::uint32_t minPages) {
    Config& c = config();
    const std::lock_guard<std::mutex> lock(c.mutex);
    c.folder = std::move(folder);
    c.minPages = minPages;
}

std::string countCacheFolder() {
    Config& c = config();
    const std::lock_guard<std::mutex> lock(c.mutex);
    return c.folder;
}

bool worthACountFile(std::uint64_t pages) {
    Config& c = config();
    const std::lock_guard<std::mutex> lock(c.mutex);
    return !c.folder.empty() && pages >= c.minPages;
}

std::string countFilePath(const std::string& indexPath) {
    const std::string folder = countCacheFolder();
    if (folder.empty()) return {};
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.cnt",
                  static_cast<unsigned long long>(fnv1a(fullPath(indexPath))));
    return (fs::path(folder) / name).string();
}

bool loadCounts(const std::string& indexPath, CountSnapshot& out) {
    const std::string file = countFilePath(indexPath);
    if (file.empty()) return false;
    std::vector<std::uint8_t> in;
    if (!readFile(file, in, 64u + 3u * 65536u + 4u * std::size_t{kMaxCounts}) || in.size() < 20)
        return false;
    const std::size_t body = in.size() - 8;
    std::uint64_t sum;
    std::memcpy(&sum, in.data() + body, 8);
    if (std::memcmp(in.data(), kMagic, 4) != 0 || getU32LE(in.data() + 4) != kVersion ||
        sum != checksum(in.data(), body))
        return false;
    in.resize(body);
    std::size_t at = 8;
    std::string path, stamp, root;
    if (!takeBytes(in, at, path) || !takeBytes(in, at, stamp) || !takeBytes(in, at, root))
        return false;
    if (path != fullPath(indexPath) || in.size() - at < 4) return false;
    const std::uint32_t n = getU32LE(in.data() + at);
    at += 4;
    if (n > kMaxCounts || in.size() - at != std::size_t{n} * 4) return false;
    out.stamp = std::move(stamp);
    out.root.assign(root.begin(), root.end());
    out.counts.resize(n);
    for (std::uint32_t i = 0; i < n; ++i)
        out.counts[i] = getU32LE(in.data() + at + 4 * std::size_t{i});
    return true;
}

bool saveCounts(const std::string& indexPath, const CountSnapshot& s) {
    const std::string file = countFilePath(indexPath);
    if (file.empty() || s.counts.size() > kMaxCounts) return false;
    const std::string path = fullPath(indexPath);
    const std::size_t size =
        8 + 12 + path.size() + s.stamp.size() + s.root.size() + 4 + 4 * s.counts.size() + 8;
    std::vector<std::uint8_t> out(size);
    std::uint8_t* p = out.data();
    std::memcpy(p, kMagic, 4);
    putU32LE(p + 4, kVersion);
    p += 8;
    for (const std::string_view b :
         {std::string_view(path), std::string_view(s.stamp),
          std::string_view(reinterpret_cast<const char*>(s.root.data()), s.root.size())}) {
        putU32LE(p, static_cast<std::uint32_t>(b.size()));
        if (!b.empty()) std::memcpy(p + 4, b.data(), b.size());
        p += 4 + b.size();
    }
    putU32LE(p, static_cast<std::uint32_t>(s.counts.size()));
    p += 4;
    for (const std::uint32_t c : s.counts) {
        putU32LE(p, c);
        p += 4;
    }
    const std::uint64_t sum = checksum(out.data(), size - 8);
    std::memcpy(p, &sum, 8);

    std::error_code ec;
    fs::create_directories(fs::path(file).parent_path(), ec);
    const std::string temp = file + "." + std::to_string(::getpid()) + ".tmp";
    if (!writeFile(temp, out)) {
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, file, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace xb
