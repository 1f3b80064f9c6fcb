#include "reading/core/carrierwalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "store/xbase/cp1252.h"

namespace qv {

namespace {

bool isDotOrDotDot(const char* n) {
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

// Fills `e` from a stat result; links are resolved by the caller.
void classify(const struct stat& st, DirEntry& e) {
    if (S_ISREG(st.st_mode)) {
        e.kind = DirEntry::File;
        e.size = static_cast<std::int64_t>(st.st_size);
        e.mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    } else if (S_ISDIR(st.st_mode)) {
        e.kind = DirEntry::Directory;
    } else {
        e.kind = DirEntry::Other;
    }
    e.device = static_cast<std::uint64_t>(st.st_dev);
    e.inode = static_cast<std::uint64_t>(st.st_ino);
}

std::string joined(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + '/' + name;
}

}  // namespace

// ---- the file system ---------------------------------------------------------------------

bool PosixDirectorySource::identify(const std::string& path, DirEntry& out) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    classify(st, out);
    return true;
}

bool PosixDirectorySource::list(const std::string& path,
                                const std::function<void(const DirEntry&)>& each) {
    DIR* d = ::opendir(path.c_str());
    if (!d) return false;
    struct Closer {
        DIR* d;
        ~Closer() { ::closedir(d); }
    } closer{d};
    const int fd = ::dirfd(d);
    DirEntry e;
    struct stat st;
    while (const struct dirent* de = ::readdir(d)) {
        if (isDotOrDotDot(de->d_name)) continue;
        e.name.assign(de->d_name);
        e.kind = DirEntry::Other;
        e.size = e.mtime = 0;
        e.device = e.inode = 0;
        switch (de->d_type) {
            case DT_REG:
            case DT_DIR:
            case DT_LNK:
            case DT_UNKNOWN:
                if (::fstatat(fd, de->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    // Listed, but the system would not say what it is.
                    e.kind = DirEntry::Unreadable;
                    each(e);
                    continue;
                }
                if (S_ISLNK(st.st_mode)) {
                    // Only a link to a regular file counts, as that file.
                    if (::fstatat(fd, de->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
                }
                classify(st, e);
                break;
            default:  // devices, sockets, FIFOs
                continue;
        }
        if (e.kind == DirEntry::Other) continue;
        each(e);
    }
    return true;
}

// ---- the walk ----------------------------------------------------------------------------

std::string storedName(const std::string& raw, bool* lossy) {
    if (lossy) *lossy = false;
    for (unsigned char c : raw) {
        if (c < 0x80) continue;
        std::string s = xb::utf8ToCp1252(raw);
        // Every character that could not be held became one '?' more.
        if (lossy)
            *lossy = std::count(s.begin(), s.end(), '?') > std::count(raw.begin(), raw.end(), '?');
        return s;
    }
    return raw;
}

bool CarrierWalker::rootReadable(const std::string& root) {
    DirEntry id;
    if (!m_source.identify(root, id)) return false;
    // Opening is the test; the entries are read again by the walk.
    return m_source.list(root, [](const DirEntry&) {});
}

void CarrierWalker::walk(const std::string& root, bool topOnly,
                         const std::function<void(const std::string&)>& directory,
                         const std::function<void(const WalkedFile&)>& file) {
    DirEntry id;
    if (!m_source.identify(root, id)) return;
    m_topOnly = topOnly;
    m_stopped = false;
    m_rootDevice = id.device;
    m_directory = &directory;
    m_file = &file;
    m_skipped = 0;
    std::vector<Frame> descent{{id.device, id.inode}};
    walkDirectory(root, std::string("/"), std::string("/"), false, descent);
}

void CarrierWalker::walkDirectory(const std::string& path, const std::string& stored,
                                  const std::string& raw, bool lossy, std::vector<Frame>& descent) {
    (*m_directory)(path);
    struct Sub {
        std::string name;
        std::uint64_t device;
        std::uint64_t inode;
    };
    std::vector<Sub> subdirectories;
    std::string name;
    const bool listed = m_source.list(path, [&](const DirEntry& e) {
        if (m_stopped) return;
        if (e.kind == DirEntry::Unreadable) {
            ++m_skipped;
            return;
        }
        if (e.kind == DirEntry::File) {
            bool nameLossy = false;
            name = storedName(e.name, &nameLossy);
            (*m_file)(WalkedFile{stored, name, e.size, e.mtime, raw, e.name, lossy || nameLossy});
            return;
        }
        if (m_topOnly || e.kind != DirEntry::Directory) return;
        // Hidden directories are not read; neither are other file systems
        // mounted below the root.
        if (e.name.empty() || e.name[0] == '.' || e.device != m_rootDevice) return;
        subdirectories.push_back({e.name, e.device, e.inode});
    });
    if (!listed) ++m_skipped;
    for (const Sub& s : subdirectories) {
        if (m_stopped) return;
        const bool onPath = std::any_of(descent.begin(), descent.end(), [&](const Frame& f) {
            return f.device == s.device && f.inode == s.inode;
        });
        if (onPath) continue;
        descent.push_back({s.device, s.inode});
        bool subLossy = false;
        const std::string sub = storedName(s.name, &subLossy);
        walkDirectory(joined(path, s.name), stored + sub + '/', raw + s.name + '/',
                      lossy || subLossy, descent);
        descent.pop_back();
    }
}

}  // namespace qv
