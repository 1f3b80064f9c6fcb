// The directory walk of a carrier reading: which files of a mounted volume
// are offered for storing, in which order, under which stored path.
//
// Order. A directory's files come before its subdirectories; both in the
// order the file system lists them. Subdirectories are read depth first.
//
// Linux rules. Dot files are offered like any other file; dot directories
// are not read. Symbolic links are never followed into directories; a link
// to a regular file is offered under its own name and path with the size and
// time of the file it points to. Devices, sockets, FIFOs and dangling links
// are skipped. Directories that cannot be listed and entries that cannot be
// examined are left out and counted (skipped()). The walk stays on the root's file system (a
// directory on another device is a mount point and is not read), and a directory that is already on
// the current descent path (a bind mount of an ancestor) is not read again. One directory is open
// at a time: a directory's files are handed on while it is listed, its subdirectories are
// remembered and read after it has been closed.
//
// Paths. The walker hands each file with its directory's path from the
// volume root in Windows-1252 ("/", "/TOOLS/": "/" separators, a trailing
// "/"; the mount point is not part of it) and its name in Windows-1252.
// Names that are not valid UTF-8, or hold characters Windows-1252 does not
// have, get a "?" for each such character. Beside that form the walker hands
// the same path and name as the file system holds them (rawDirectory,
// rawName: "/" + the raw directory names + "/"), and whether the
// Windows-1252 form lost a character on the way (lossy).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// One entry of a directory listing, as the walker needs it.
struct DirEntry {
    // Unreadable: listed, but what it is could not be found out.
    enum Kind { File, Directory, Other, Unreadable };
    std::string name;  // raw bytes as the file system holds them
    Kind kind = Other;
    std::int64_t size = 0;   // files: bytes (of the target for a link)
    std::int64_t mtime = 0;  // files: last write, seconds since the epoch
    std::uint64_t device = 0;
    std::uint64_t inode = 0;  // directories: identity for the mount and loop checks
};

// Where the walker gets its listings from: the file system, or a fake in
// tests (unreadable directories cannot be made where tests run as root).
class DirectorySource {
  public:
    virtual ~DirectorySource() = default;
    // The identity of the directory at `path` (raw bytes); false when it is
    // not a directory that can be reached.
    virtual bool identify(const std::string& path, DirEntry& out) = 0;
    // Lists `path`, calling `each` for every entry but "." and ".."; false
    // when the directory cannot be opened (nothing listed then). Symbolic
    // links come resolved as the header says (File with the target's size
    // and time, or Other).
    virtual bool list(const std::string& path,
                      const std::function<void(const DirEntry&)>& each) = 0;
};

// The real file system (opendir/readdir/fstatat).
class PosixDirectorySource : public DirectorySource {
  public:
    bool identify(const std::string& path, DirEntry& out) override;
    bool list(const std::string& path, const std::function<void(const DirEntry&)>& each) override;
};

struct WalkedFile {
    const std::string& directory;  // Windows-1252, from the volume root, "/" ... "/"
    const std::string& name;       // Windows-1252
    std::int64_t size;
    std::int64_t mtime;
    const std::string& rawDirectory;  // as the file system holds it, "/" ... "/"
    const std::string& rawName;       // as the file system holds it
    bool lossy = false;               // directory or name got a "?" for a character
};

class CarrierWalker {
  public:
    explicit CarrierWalker(DirectorySource& source) : m_source(source) {}

    // Whether `root` can be listed at all (checked before anything is
    // released).
    bool rootReadable(const std::string& root);

    // Walks `root` (raw bytes, a directory path). `directory` is called when
    // a directory's listing starts, with its file-system path as raw bytes;
    // `file` for each file offered. With `topOnly` no subdirectory is read.
    void walk(const std::string& root, bool topOnly,
              const std::function<void(const std::string& path)>& directory,
              const std::function<void(const WalkedFile&)>& file);
    // Directories the last walk could not list and entries it could not
    // examine: what it had to leave out.
    int skipped() const { return m_skipped; }
    // Called from a callback: the walk offers nothing more and reads no
    // further directory.
    void stop() { m_stopped = true; }

  private:
    struct Frame {
        std::uint64_t device;
        std::uint64_t inode;
    };
    void walkDirectory(const std::string& path, const std::string& stored, const std::string& raw,
                       bool lossy, std::vector<Frame>& descent);

    DirectorySource& m_source;
    bool m_topOnly = false;
    bool m_stopped = false;
    std::uint64_t m_rootDevice = 0;
    int m_skipped = 0;
    const std::function<void(const std::string&)>* m_directory = nullptr;
    const std::function<void(const WalkedFile&)>* m_file = nullptr;
};

// A name from the file system as Windows-1252 ("?" for what cannot be held).
// `lossy`, when given, is set when a character became "?".
std::string storedName(const std::string& raw, bool* lossy = nullptr);

}  // namespace qv
