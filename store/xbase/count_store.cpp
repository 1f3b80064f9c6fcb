#include "store/xbase/count_store.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "store/xbase/coding.h"
#include "store/xbase/env.h"

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
bool readFile(Env& env, const std::string& path, std::vector<std::uint8_t>& out, std::size_t cap) {
    try {
        if (!env.exists(path)) return false;
        std::unique_ptr<RandomFile> f = env.open(path, FileAccess::ReadUnlocked);
        const std::uint64_t size = f->size();
        if (size > cap) return false;
        out.resize(static_cast<std::size_t>(size));
        f->readExact(0, out.data(), out.size(), "der Inhalt");
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool writeFile(Env& env, const std::string& path, const std::vector<std::uint8_t>& bytes) {
    try {
        std::unique_ptr<RandomFile> f = env.create(path);
        f->writeAt(0, bytes.data(), bytes.size());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Removes a file, quietly.
void removeFile(Env& env, const std::string& path) {
    try {
        env.remove(path);
    } catch (const std::exception&) {
    }
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

bool loadCounts(Env& env, const std::string& indexPath, CountSnapshot& out) {
    const std::string file = countFilePath(indexPath);
    if (file.empty()) return false;
    std::vector<std::uint8_t> in;
    if (!readFile(env, file, in, 64u + 3u * 65536u + 4u * std::size_t{kMaxCounts}) ||
        in.size() < 20)
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

bool saveCounts(Env& env, const std::string& indexPath, const CountSnapshot& s) {
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

    env.createFolder(fs::path(file).parent_path().string());
    const std::string temp = file + "." + std::to_string(::getpid()) + ".tmp";
    if (!writeFile(env, temp, out)) {
        removeFile(env, temp);
        return false;
    }
    try {
        env.rename(temp, file);
    } catch (const std::exception&) {
        removeFile(env, temp);
        return false;
    }
    return true;
}

}  // namespace xb
