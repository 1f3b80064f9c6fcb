#include "namesearch/core/filetableimage.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "store/tables/cataloguetables.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/dbf_header.h"
#include "store/xbase/env.h"
#include "store/xbase/error.h"
#include "store/xbase/smt_file.h"

namespace qv {

namespace {

std::string join(const std::string& dir, const char* file) {
    if (dir.empty()) return file;
    return dir.back() == '/' ? dir + file : dir + '/' + file;
}

int openForReading(const std::string& path, bool required) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && required)
        throw Error(errno == ENOENT ? ErrorCode::NotFound : ErrorCode::IoError,
                    "Die Datei " + path + " kann nicht gelesen werden: " + xb::describeErrno(errno),
                    path);
    return fd;
}

std::size_t readAt(int fd, std::uint64_t offset, void* buf, std::size_t n) {
    std::size_t done = 0;
    auto* p = static_cast<std::uint8_t*>(buf);
    while (done < n) {
        const ssize_t r = ::pread(fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

struct Header {
    xb::DbfHeader h;
    std::uint32_t count = 0;
};

// The header of the table in `fd`, and its record count as the file's size
// gives it (the header's count may lag behind appends).
Header readHeader(int fd, const std::string& path) {
    std::uint8_t fixed[xb::kFixedHeaderSize];
    if (readAt(fd, 0, fixed, sizeof fixed) != sizeof fixed)
        throw Error(ErrorCode::Corrupt, "Die Datei " + path + " ist zu kurz", path);
    const std::uint16_t length = xb::headerLengthOf(fixed);
    std::vector<std::uint8_t> bytes(length);
    if (readAt(fd, 0, bytes.data(), length) != length)
        throw Error(ErrorCode::Corrupt, "Die Datei " + path + " ist zu kurz", path);
    Header out;
    out.h = xb::parseDbfHeader(bytes.data(), bytes.size(), path);
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end > static_cast<off_t>(out.h.headerLength) && out.h.recordLength > 0)
        out.count = static_cast<std::uint32_t>(
            (static_cast<std::uint64_t>(end) - out.h.headerLength) / out.h.recordLength);
    return out;
}

int requiredField(const xb::DbfHeader& h, const char* name, const std::string& path) {
    const int i = h.fields.find(name);
    if (i < 0)
        throw Error(ErrorCode::NotFound,
                    "Die Tabelle " + path + " hat kein Feld " + std::string(name), path);
    return i;
}

std::string_view trimmed(const std::uint8_t* p, std::size_t width) {
    std::size_t n = width;
    // Eight blanks at a time first: most fields are far from full.
    constexpr std::uint64_t kBlanks = 0x2020202020202020ull;
    for (std::uint64_t w; n >= 8 && (std::memcpy(&w, p + n - 8, 8), w == kBlanks);)
        n -= 8;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0))
        --n;
    return {reinterpret_cast<const char*>(p), n};
}

}  // namespace

std::int64_t parseNumberField(const std::uint8_t* p, std::size_t width) {
    std::size_t i = 0;
    while (i < width && p[i] == ' ')
        ++i;
    bool negative = false;
    if (i < width && p[i] == '-') {
        negative = true;
        ++i;
    }
    std::int64_t v = 0;
    for (; i < width && p[i] >= '0' && p[i] <= '9'; ++i)
        v = v * 10 + (p[i] - '0');
    return negative ? -v : v;
}

FileTableImage::FileTableImage(const std::string& dir) : m_dir(dir) {
    const std::string path = join(dir, "_qvdir.dbf");
    m_fd = openForReading(path, true);
    try {
        const Header hd = readHeader(m_fd, path);
        const xb::DbfHeader& h = hd.h;
        m_count = hd.count;
        m_headerLength = h.headerLength;
        m_recordLength = h.recordLength;
        m_num = h.fields[static_cast<std::size_t>(requiredField(h, "dirnumm", path))].offset;
        m_numWidth = h.fields[static_cast<std::size_t>(h.fields.find("dirnumm"))].len;
        const auto& name = h.fields[static_cast<std::size_t>(requiredField(h, "dirname", path))];
        m_name = name.offset;
        m_nameWidth = name.len;
        const auto& p = h.fields[static_cast<std::size_t>(requiredField(h, "dirpfad", path))];
        m_path = p.offset;
        m_pathWidth = p.len;
        const auto& s = h.fields[static_cast<std::size_t>(requiredField(h, "dirsize", path))];
        m_size = s.offset;
        m_sizeWidth = s.len;
        m_date = h.fields[static_cast<std::size_t>(requiredField(h, "dirdate", path))].offset;
        const int memo = h.fields.find("dirmemo");
        if (memo >= 0 && h.memo == xb::MemoKind::Smt) {
            m_memo = h.fields[static_cast<std::size_t>(memo)].offset;
            m_memoFd = openForReading(join(dir, "_qvdir.smt"), false);
            std::uint8_t head[8];
            if (m_memoFd >= 0 && readAt(m_memoFd, 0, head, 8) == 8) {
                const std::uint32_t bs = xb::getU32LE(head + 4);
                if (bs > 0) m_blockSize = bs;
            }
        }
    } catch (...) {
        ::close(m_fd);
        if (m_memoFd >= 0) ::close(m_memoFd);
        throw;
    }
}

FileTableImage::~FileTableImage() {
    if (m_fd >= 0) ::close(m_fd);
    if (m_memoFd >= 0) ::close(m_memoFd);
}

std::uint32_t FileTableImage::readRecords(std::uint32_t first, std::uint32_t n,
                                          std::vector<std::uint8_t>& buffer) const {
    if (first < 1 || first > m_count) return 0;
    n = std::min(n, m_count - first + 1);
    buffer.resize(std::size_t{n} * m_recordLength);
    const std::size_t got = readAt(m_fd, m_headerLength + std::uint64_t{first - 1} * m_recordLength,
                                   buffer.data(), buffer.size());
    return static_cast<std::uint32_t>(got / m_recordLength);
}

FileFacts FileTableImage::facts(std::uint32_t recno, const std::uint8_t* r) const {
    FileFacts f;
    f.recno = recno;
    const std::int64_t entry = parseNumberField(r + m_num, static_cast<std::size_t>(m_numWidth));
    f.entry = static_cast<std::uint32_t>(entry < 0 ? 0 : entry);
    f.size = parseNumberField(r + m_size, static_cast<std::size_t>(m_sizeWidth));
    f.date = xb::parseDbfDate(reinterpret_cast<const char*>(r + m_date));
    f.catalogued = r[0] != xb::kDeletedFlag && entry < 99999999;
    return f;
}

std::string_view FileTableImage::memoText(const std::uint8_t* r, std::string& scratch) const {
    if (m_memo < 0 || m_memoFd < 0) return {};
    const xb::SmtRef ref = xb::SmtRef::decode(r + m_memo);
    if (ref.blank || ref.type != 1 || ref.block == 0 || ref.length == 0 || ref.length >= (1u << 20))
        return {};
    const std::uint64_t start = std::uint64_t{ref.block} * m_blockSize;
    if (start + ref.length <= m_memoFile.size()) return {m_memoFile.data() + start, ref.length};
    scratch.resize(ref.length);
    scratch.resize(readAt(m_memoFd, start, scratch.data(), ref.length));
    return scratch;
}

std::string_view FileTableImage::pathField(const std::uint8_t* r) const {
    return trimmed(r + m_path, static_cast<std::size_t>(m_pathWidth));
}

void FileTableImage::fullPath(const std::uint8_t* r, std::string& out) const {
    const std::string_view memo = memoText(r, out);
    if (!memo.empty()) {
        out = tables::memoTextUtf8(tables::kFullPathMemo, memo);
        return;
    }
    const std::string_view path = pathField(r);
    bool ascii = true;
    for (const char c : path)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        out.assign(path);
    else
        out = xb::cp1252ToUtf8(path);
}

void FileTableImage::readMemoFile() {
    if (m_memoFd < 0) return;
    const off_t end = ::lseek(m_memoFd, 0, SEEK_END);
    if (end <= 0) return;
    m_memoFile.resize(static_cast<std::size_t>(end));
    m_memoFile.resize(readAt(m_memoFd, 0, m_memoFile.data(), m_memoFile.size()));
}

std::string FileTableImage::fullPathOf(std::uint32_t recno) const {
    std::vector<std::uint8_t> buf;
    std::string out;
    if (readRecords(recno, 1, buf) == 1) fullPath(buf.data(), out);
    return out;
}

FileFacts FileTableImage::factsOf(std::uint32_t recno) const {
    std::vector<std::uint8_t> buf;
    if (readRecords(recno, 1, buf) != 1) return {};
    return facts(recno, buf.data());
}

std::string FileTableImage::stampOf(const std::string& dir) {
    std::string stamp;
    for (const char* file : {"_qvdir.dbf", "_qvdir.smt"}) {
        const std::string path = join(dir, file);
        try {
            stamp += xb::Env::posix().open(path, xb::FileAccess::ReadUnlocked)->contentStamp();
        } catch (const Error&) {
            stamp += "-";
        }
        stamp += '|';
    }
    return stamp;
}

std::unordered_map<std::uint32_t, EntryFacts> readEntryFacts(const std::string& dir) {
    const std::string path = join(dir, "_qvdisk.dbf");
    const int fd = openForReading(path, true);
    std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    const Header hd = readHeader(fd, path);
    const xb::DbfHeader& h = hd.h;
    const auto& num = h.fields[static_cast<std::size_t>(requiredField(h, "eindeutig", path))];
    const auto& title = h.fields[static_cast<std::size_t>(requiredField(h, "bezeich", path))];
    const auto& box = h.fields[static_cast<std::size_t>(requiredField(h, "boxnummer", path))];
    const auto& disk = h.fields[static_cast<std::size_t>(requiredField(h, "disknummer", path))];
    std::unordered_map<std::uint32_t, EntryFacts> out;
    std::vector<std::uint8_t> buf(std::size_t{h.recordLength} * 4096);
    for (std::uint32_t first = 1; first <= hd.count; first += 4096) {
        const std::uint32_t n = std::min<std::uint32_t>(4096, hd.count - first + 1);
        const std::size_t got =
            readAt(fd, h.headerLength + std::uint64_t{first - 1} * h.recordLength, buf.data(),
                   std::size_t{n} * h.recordLength);
        for (std::size_t i = 0; i < got / h.recordLength; ++i) {
            const std::uint8_t* r = buf.data() + i * h.recordLength;
            if (r[0] == xb::kDeletedFlag) continue;
            EntryFacts e;
            e.title = xb::cp1252ToUtf8(trimmed(r + title.offset, title.len));
            e.box = static_cast<int>(parseNumberField(r + box.offset, box.len));
            e.disk = static_cast<int>(parseNumberField(r + disk.offset, disk.len));
            out.emplace(static_cast<std::uint32_t>(parseNumberField(r + num.offset, num.len)),
                        std::move(e));
        }
    }
    return out;
}

}  // namespace qv
