#include "store/xbase/env.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/xbase/error.h"

namespace xb {

std::string describeErrno(int err) {
    switch (err) {
        case ENOENT:
            return "Datei oder Verzeichnis nicht vorhanden";
        case EACCES:
        case EPERM:
            return "Zugriff verweigert";
        case EROFS:
            return "Dateisystem ist schreibgeschützt";
        case ENOSPC:
            return "kein Platz mehr auf dem Datenträger";
        case EDQUOT:
            return "Speicherplatzkontingent erschöpft";
        case EIO:
            return "Ein-/Ausgabefehler";
        case EISDIR:
            return "ist ein Verzeichnis";
        case EMFILE:
        case ENFILE:
            return "zu viele offene Dateien";
        case EFBIG:
            return "Datei zu groß";
        default:
            return "Systemfehler " + std::to_string(err);
    }
}

void RandomFile::readExact(std::uint64_t offset, void* buf, std::size_t n, const char* what) {
    if (readAt(offset, buf, n) != n)
        throw xb::fileDamaged("Die Datei", path(), std::string(what) + " ist unvollständig");
}

namespace {

[[noreturn]] void throwIo(const std::string& path, const char* action, int err) {
    throw fileError("Die Datei", path, action, describeErrno(err));
}

// Taking down a read view costs time in proportion to the pages it came to
// map: tens of milliseconds for a table read all over, which a closing table
// would wait for. A view is therefore released on a thread of its own, a
// few megabytes at a time, so that the program's own use of its address
// space (the next file opened, a page touched) never waits long behind it.
void releaseView(Env& env, void* map, std::size_t len) {
    const auto release = [map, len] {
        constexpr std::size_t kStep = std::size_t{4} << 20;
        auto* p = static_cast<char*>(map);
        for (std::size_t done = 0; done < len; done += kStep) {
            ::munmap(p + done, std::min(kStep, len - done));
            std::this_thread::yield();
        }
    };
    try {
        std::thread t = env.startThread(release);
        if (t.joinable()) t.detach();
    } catch (...) {  // no thread to be had: release it here
        ::munmap(map, len);
    }
}

class PosixFile final : public RandomFile {
  public:
    PosixFile(std::string path, int fd, Env& env)
        : RandomFile(std::move(path)), fd_(fd), env_(env) {}
    ~PosixFile() override {
        if (wmap_) ::munmap(wmap_, wmapLen_);
        if (map_) {
            // The view keeps the open file alive until it is gone, and with
            // it the lock: the lock goes now.
            ::flock(fd_, LOCK_UN);
            releaseView(env_, map_, mapLen_);
        }
        ::close(fd_);  // closing also drops the flock
    }

    std::uint8_t* writableView(std::uint64_t length) override {
        if (wmap_ && length <= wmapLen_) return static_cast<std::uint8_t*>(wmap_);
        if (wmap_) ::munmap(wmap_, wmapLen_);
        wmap_ = nullptr;
        wmapLen_ = 0;
        // Room to grow: the mapping may reach past the end of the file, which
        // is fine as long as nothing there is touched.
        std::uint64_t len = std::max<std::uint64_t>(length * 2, std::uint64_t{1} << 22);
        len = (len + (std::uint64_t{1} << 20) - 1) & ~((std::uint64_t{1} << 20) - 1);
        void* m = ::mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (m == MAP_FAILED) return nullptr;
        wmap_ = m;
        wmapLen_ = len;
        return static_cast<std::uint8_t*>(wmap_);
    }

    void syncData() override {
        if (::fdatasync(fd_) != 0) throwIo(path(), "gesichert werden", errno);
    }

    const std::uint8_t* view(std::uint64_t length) override {
        if (map_ && length <= mapLen_) return static_cast<const std::uint8_t*>(map_);
        if (map_) ::munmap(map_, mapLen_);
        map_ = nullptr;
        // Room to grow: appends do not remap on every record.
        constexpr std::uint64_t kSlack = 64u << 20;
        const std::uint64_t len = (length + kSlack) / kSlack * kSlack;
        void* m = ::mmap(nullptr, len, PROT_READ, MAP_SHARED, fd_, 0);
        if (m == MAP_FAILED) return nullptr;
        ::madvise(m, len, MADV_RANDOM);
        map_ = m;
        mapLen_ = len;
        return static_cast<const std::uint8_t*>(map_);
    }

    void prefaultView(std::uint64_t offset, std::size_t n) override {
        if (!map_ || n == 0 || offset + n > mapLen_) return;
        const std::uint64_t from = offset & ~std::uint64_t{4095};
        ::madvise(static_cast<char*>(map_) + from, offset + n - from, MADV_POPULATE_READ);
    }

    std::size_t readAt(std::uint64_t offset, void* buf, std::size_t n) override {
        auto* p = static_cast<char*>(buf);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                throwIo(path(), "gelesen werden", errno);
            }
            if (r == 0) break;
            done += static_cast<std::size_t>(r);
        }
        return done;
    }

    void writeAt(std::uint64_t offset, const void* buf, std::size_t n) override {
        const auto* p = static_cast<const char*>(buf);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                throwIo(path(), "geschrieben werden", errno);
            }
            done += static_cast<std::size_t>(r);
        }
    }

    std::uint64_t size() override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) throwIo(path(), "gelesen werden", errno);
        return static_cast<std::uint64_t>(st.st_size);
    }

    std::string contentStamp() override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) return {};
        const std::int64_t parts[] = {static_cast<std::int64_t>(st.st_dev),
                                      static_cast<std::int64_t>(st.st_ino),
                                      static_cast<std::int64_t>(st.st_size),
                                      static_cast<std::int64_t>(st.st_mtim.tv_sec),
                                      static_cast<std::int64_t>(st.st_mtim.tv_nsec),
                                      static_cast<std::int64_t>(st.st_ctim.tv_sec),
                                      static_cast<std::int64_t>(st.st_ctim.tv_nsec)};
        return std::string(reinterpret_cast<const char*>(parts), sizeof parts);
    }

    void truncate(std::uint64_t size) override {
        while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
            if (errno != EINTR) throwIo(path(), "gekürzt werden", errno);
        }
    }

    void sync() override {
        if (::fsync(fd_) != 0) throwIo(path(), "gesichert werden", errno);
    }

  private:
    int fd_;
    Env& env_;  // starts the thread that releases the view
    void* map_ = nullptr;
    std::uint64_t mapLen_ = 0;
    void* wmap_ = nullptr;
    std::uint64_t wmapLen_ = 0;
};

// Takes the lock or throws Locked. File systems without flock support are
// accepted without a lock: the catalogue is single-user anyway, and refusing
// to open would leave the user without any way in.
void lockOrThrow(int fd, const std::string& path, bool exclusive) {
    for (;;) {
        if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return;
        const int err = errno;
        if (err == EINTR) continue;
        if (err == EWOULDBLOCK) {
            ::close(fd);
            throw fileLocked(path);
        }
        return;  // ENOLCK, EINVAL, EOPNOTSUPP: no locking on this file system
    }
}

class PosixEnv final : public Env {
  public:
    std::unique_ptr<RandomFile> open(const std::string& path, FileAccess access) override {
        const bool write =
            access == FileAccess::WriteExclusive || access == FileAccess::WriteUnlocked;
        int fd;
        do {
            fd = ::open(path.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            if (errno == ENOENT) throw fileNotFound(path);
            throwIo(path, "geöffnet werden", errno);
        }
        struct stat st;
        if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw fileError("Die Datei", path, "geöffnet werden", "keine normale Datei");
        }
        if (access == FileAccess::ReadShared || access == FileAccess::WriteExclusive)
            lockOrThrow(fd, path, write);
        return std::make_unique<PosixFile>(path, fd, *this);
    }

    std::unique_ptr<RandomFile> create(const std::string& path) override {
        int fd;
        do {
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) throwIo(path, "angelegt werden", errno);
        lockOrThrow(fd, path, true);
        auto file = std::make_unique<PosixFile>(path, fd, *this);
        file->truncate(0);
        return file;
    }

    bool exists(const std::string& path) override {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0;
    }

    void rename(const std::string& from, const std::string& to) override {
        if (std::rename(from.c_str(), to.c_str()) != 0) throwIo(from, "umbenannt werden", errno);
    }

    void remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) throwIo(path, "gelöscht werden", errno);
    }

    bool createFolder(const std::string& path) override {
        std::error_code ec;
        std::filesystem::create_directories(path, ec);
        return !ec;
    }

    void syncDirectoryOf(const std::string& path) override {
        const std::string parent = std::filesystem::path(path).parent_path().string();
        const std::string dir = parent.empty() ? std::string(".") : parent;
        int fd;
        do {
            fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            throw fileError("Das Verzeichnis", dir, "geöffnet werden", describeErrno(errno));
        const int rc = ::fsync(fd);
        const int err = errno;
        ::close(fd);
        // Some file systems cannot sync a directory; their renames are as
        // durable as they get.
        if (rc != 0 && err != EINVAL && err != EROFS)
            throw fileError("Das Verzeichnis", dir, "gesichert werden", describeErrno(err));
    }
};

}  // namespace

Env& Env::posix() {
    static PosixEnv env;
    return env;
}

}  // namespace xb
