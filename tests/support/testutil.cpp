#include "testutil.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <signal.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qvtest {

fs::path xbaseFixtures() { return fs::path(QV_FIXTURES_DIR) / "xbase"; }

fs::path largeFixture() {
    fs::path p(QV_LARGE_FIXTURE_DIR);
    return fs::exists(p / "_qvdir.dbf") ? p : fs::path();
}

fs::path binDir() { return fs::path(QV_BIN_DIR); }

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "qvtest-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void copyDirFiles(const fs::path& from, const fs::path& to) {
    for (const auto& e : fs::directory_iterator(from)) {
        if (!e.is_regular_file()) continue;
        fs::path dst = to / e.path().filename();
        fs::copy_file(e.path(), dst, fs::copy_options::overwrite_existing);
        fs::permissions(dst, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add);
    }
}

std::vector<std::uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string toHex(const std::uint8_t* data, std::size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        s.push_back(digits[data[i] >> 4]);
        s.push_back(digits[data[i] & 15]);
    }
    return s;
}

std::string toHex(const std::string& bytes) {
    return toHex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string fromHex(const std::string& hex) {
    auto nib = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        throw std::invalid_argument("bad hex digit");
    };
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(nib(hex[i]) * 16 + nib(hex[i + 1])));
    return out;
}

std::uint64_t testSeed() {
    static const std::uint64_t seed = [] {
        std::uint64_t s;
        if (const char* env = std::getenv("QV_SEED")) {
            s = std::strtoull(env, nullptr, 10);
        } else {
            s = static_cast<std::uint64_t>(
                std::chrono::steady_clock::now().time_since_epoch().count());
        }
        std::fprintf(stderr, "[qvtest] random seed %llu (set QV_SEED to replay)\n",
                     static_cast<unsigned long long>(s));
        return s;
    }();
    return seed;
}

FullDisk::FullDisk(const fs::path& dir, std::uintmax_t room) {
    std::uintmax_t largest = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) largest = std::max(largest, e.file_size());
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    handler_ = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved_;
    limit.rlim_cur = largest + room;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FullDisk::~FullDisk() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, handler_);
}

}  // namespace qvtest
