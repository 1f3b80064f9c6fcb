// Helpers shared by all test programs: fixture locations, temporary
// directories that clean up after themselves, small file utilities.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace qvtest {

// ../shared/fixtures/xbase (the catalogue and edge sets live below it).
std::filesystem::path xbaseFixtures();
// The unpacked large set (build tree), or an empty path when it is missing.
std::filesystem::path largeFixture();
// Directory of the built programs (qv-tessarin, qvdb).
std::filesystem::path binDir();

// A fresh directory below the system temp dir, removed with everything in it
// when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Copies every regular file of `from` (not recursive) into `to`, made writable.
void copyDirFiles(const std::filesystem::path& from, const std::filesystem::path& to);

std::vector<std::uint8_t> readFile(const std::filesystem::path& p);

// While it lives, no file of the process may grow past the largest file in
// `dir` plus `room` bytes: writes beyond fail as on a full disk.
class FullDisk {
public:
    FullDisk(const std::filesystem::path& dir, std::uintmax_t room);
    ~FullDisk();

private:
    struct rlimit saved_ {};
    void (*handler_)(int) = nullptr;
};
void writeFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes);
std::string toHex(const std::uint8_t* data, std::size_t n);
std::string toHex(const std::string& bytes);
std::string fromHex(const std::string& hex);

// Seed for randomized tests: QV_SEED from the environment, else a fresh one.
// The seed is printed so that a failure can be replayed.
std::uint64_t testSeed();

}  // namespace qvtest
