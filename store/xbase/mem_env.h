// Files kept in memory, for fuzzers and tests.
//
// Behaves like the operating system's files as far as the engine can tell:
// positional reads and writes, growth with zero bytes, truncation, and the
// same locking rules (an exclusive opener keeps out everybody else, shared
// openers keep out exclusive ones). A file that would grow beyond the size
// limit raises IoError, so a damaged length in a fuzzed file cannot exhaust
// memory.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "store/xbase/env.h"

namespace xb {

class MemEnv final : public Env {
  public:
    explicit MemEnv(std::uint64_t sizeLimit = std::uint64_t{1} << 30) : sizeLimit_(sizeLimit) {}

    std::unique_ptr<RandomFile> open(const std::string& path, FileAccess access) override;
    std::unique_ptr<RandomFile> create(const std::string& path) override;
    bool exists(const std::string& path) override;
    // Renames and removals count as writes for failWritesAfter().
    void rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    void syncDirectoryOf(const std::string&) override {}
    // Folders are implied by the paths of the files in them.
    bool createFolder(const std::string&) override { return true; }
    // The fixed time of setNow(), else the system clock.
    std::time_t now() override { return now_ != 0 ? now_ : Env::now(); }
    // Counts the threads started; with runThreadsInline() each runs at once
    // on the calling thread.
    std::thread startThread(std::function<void()> fn) override;
    // The fixed count of setHardwareThreads(), else the machine's.
    unsigned hardwareThreads() override {
        return hardwareThreads_ != 0 ? hardwareThreads_ : Env::hardwareThreads();
    }

    // Fixes the clock at `t` (0: the system clock again).
    void setNow(std::time_t t) { now_ = t; }
    void runThreadsInline(bool on) { threadsInline_ = on; }
    void setHardwareThreads(unsigned n) { hardwareThreads_ = n; }
    long threadsStarted() const { return threadsStarted_; }

    // Puts a file in place (replacing one of that name).
    void setFile(const std::string& path, std::vector<std::uint8_t> bytes);
    // The current bytes of a file; empty when there is none.
    std::vector<std::uint8_t> fileBytes(const std::string& path) const;
    // Names of all files, sorted.
    std::vector<std::string> fileNames() const;

    // Simulates a process that is killed after `n` more writes: every write
    // or truncation after those is refused with IoError and leaves the files
    // as they are. A negative `n` lifts the limit.
    void failWritesAfter(long n) { *budget_ = n; }
    // Writes, truncations, creations, renames and removals done so far (the
    // refused ones not counted): run an operation once to learn how many
    // crash points it has.
    long writesDone() const { return *done_; }

    // Simulates a disk that holds `bytes` in all (0: no limit). A write or
    // truncation that would take the files past it stores what still fits
    // (as a short write does) and raises IoError "kein Platz mehr auf dem
    // Datenträger"; overwriting bytes that are there, cutting files and
    // removing them always work, as on a full disk.
    void setCapacity(std::uint64_t bytes) { disk_->capacity = bytes; }
    // The bytes all files hold.
    std::uint64_t bytesUsed() const { return disk_->used; }

    struct Disk {
        std::uint64_t capacity = 0;
        std::uint64_t used = 0;
    };

    struct Node;  // one file's bytes and lock state

  private:
    void spend(const std::string& path, const char* action);

    std::uint64_t sizeLimit_;
    std::time_t now_ = 0;
    bool threadsInline_ = false;
    unsigned hardwareThreads_ = 0;
    long threadsStarted_ = 0;
    std::shared_ptr<long> budget_ = std::make_shared<long>(-1);
    std::shared_ptr<long> done_ = std::make_shared<long>(0);
    std::shared_ptr<Disk> disk_ = std::make_shared<Disk>();
    std::map<std::string, std::shared_ptr<Node>> files_;
};

}  // namespace xb
