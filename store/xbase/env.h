// The file seam under the engine.
//
// Every byte the table, memo and index code reads or writes goes through a
// RandomFile obtained from an Env, and so does every rename and removal of
// their files. The default Env works on the operating system's files (POSIX
// pread/pwrite, flock for exclusive use); MemEnv (mem_env.h) keeps files in
// memory for fuzzers and tests.
//
// The Env is also the engine's way to the rest of the operating system: the
// clock (the date a table's header records), threads (a bulk index build,
// the release of a file view) and the folder the order-count cache creates.
// An Env for tests can fix the date or run threads as it sees fit.
//
// Failures are thrown as qv::Error with a German text naming the file:
// NotFound when a file to open is missing, Locked when another opener holds
// it, IoError for every other failure of the operating system.
//
// Not thread-safe; the program has one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace xb {

// One open file with positional access. There is no file position: every
// read and write names its offset.
class RandomFile {
  public:
    virtual ~RandomFile() = default;

    const std::string& path() const { return path_; }

    // Reads up to `n` bytes at `offset` into `buf` and returns how many were
    // read; fewer than `n` only when the file ends first.
    virtual std::size_t readAt(std::uint64_t offset, void* buf, std::size_t n) = 0;
    // Writes all `n` bytes at `offset`, extending the file when needed. When
    // it returns the bytes are in the file as far as other openers and a
    // later open after a killed process are concerned (no sync implied).
    virtual void writeAt(std::uint64_t offset, const void* buf, std::size_t n) = 0;
    virtual std::uint64_t size() = 0;
    virtual void truncate(std::uint64_t size) = 0;
    // Forces written data to the storage device.
    virtual void sync() = 0;
    // A read-only view of bytes [0, length) of the file (which must be at
    // least that long), or nullptr when the file cannot be mapped. Writes
    // through writeAt() show in the view. The view stays valid until the
    // next call or until the file is closed. For random reads of large files.
    virtual const std::uint8_t* view(std::uint64_t length) {
        (void)length;
        return nullptr;
    }
    // Maps bytes [offset, offset + n) of the current view in at once, ahead
    // of a pass that reads every one of them (advice only; the bytes must
    // lie inside the file).
    virtual void prefaultView(std::uint64_t offset, std::size_t n) {
        (void)offset;
        (void)n;
    }
    // A writable shared view of bytes [0, length) for files opened for
    // writing, or nullptr when there is none. Bytes stored through it reach
    // the file like writeAt() (the file must already be that long where they
    // are stored). Valid until the next call or until the file is closed.
    virtual std::uint8_t* writableView(std::uint64_t length) {
        (void)length;
        return nullptr;
    }
    // fdatasync: the file's data (not necessarily its times) on the device.
    virtual void syncData() { sync(); }
    // Bytes that change whenever the file's content may have changed since
    // they were taken (for a file on disk: device, inode, size and the
    // times of the last change), so that facts derived from the content can
    // be kept from one opening to the next; "" when the file cannot tell.
    virtual std::string contentStamp() { return {}; }

    // Reads exactly `n` bytes or throws Corrupt naming the file ("what" says
    // which part was cut short).
    void readExact(std::uint64_t offset, void* buf, std::size_t n, const char* what);

  protected:
    explicit RandomFile(std::string path) : path_(std::move(path)) {}

  private:
    std::string path_;
};

// How a file is opened. Exclusive and Shared take an OS lock that stays until
// the file is closed: an exclusive holder keeps out every other opener, a
// shared holder keeps out exclusive ones.
// ReadUnlocked and WriteUnlocked take no lock: for files whose use another
// file's lock already guards (a table's index file, guarded by the table's).
enum class FileAccess {
    ReadShared,      // read only, shared lock
    WriteExclusive,  // read and write, exclusive lock
    ReadUnlocked,    // read only, no lock
    WriteUnlocked,   // read and write, no lock
};

class Env {
  public:
    virtual ~Env() = default;

    // Opens an existing file. NotFound when it does not exist, Locked when
    // the lock cannot be had at once.
    virtual std::unique_ptr<RandomFile> open(const std::string& path, FileAccess access) = 0;
    // Creates the file, or empties an existing one, and holds it with an
    // exclusive lock. Locked when somebody else has it open with a lock; the
    // file is then left as it was.
    virtual std::unique_ptr<RandomFile> create(const std::string& path) = 0;
    virtual bool exists(const std::string& path) = 0;
    // Gives file `from` the name `to`, replacing a file of that name in one
    // step. IoError (naming `from`) when it fails.
    virtual void rename(const std::string& from, const std::string& to) = 0;
    // Deletes the file when it exists. IoError when it exists and cannot be
    // deleted.
    virtual void remove(const std::string& path) = 0;
    // Makes the renames and removals done so far in the directory holding
    // `path` durable.
    virtual void syncDirectoryOf(const std::string& path) = 0;

    // Creates the folder `path` and its missing parents; false when that
    // fails. For caches that live in folders of their own.
    virtual bool createFolder(const std::string& path) = 0;

    // The present time, seconds since the epoch; the system clock unless
    // the environment keeps its own.
    virtual std::time_t now() { return std::time(nullptr); }
    // Starts `fn` on a thread of its own and hands back the thread, to be
    // joined or detached by the caller. An environment may run `fn` at once
    // on the calling thread instead and hand back an empty (not joinable)
    // thread. Throws std::system_error when no thread can be had.
    virtual std::thread startThread(std::function<void()> fn) { return std::thread(std::move(fn)); }
    // How many threads the machine runs at once (0 when it cannot tell).
    virtual unsigned hardwareThreads() { return std::thread::hardware_concurrency(); }

    // The operating system's files.
    static Env& posix();
};

// German description of an errno value, for error texts.
std::string describeErrno(int err);

}  // namespace xb
