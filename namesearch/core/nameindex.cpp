#include "namesearch/core/nameindex.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "namesearch/core/filetableimage.h"
#include "store/xbase/coding.h"

namespace qv {

namespace {

constexpr char kMagic[4] = {'Q', 'V', 'N', 'I'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kRecordsPerBuildSlice = 8192;
constexpr std::size_t kRowsPerSearchSlice = 32768;
constexpr std::uint32_t kRecordsPerScanSlice = 8192;

// Four lanes of a multiply-xor hash, so that the processor runs them side
// by side: hundreds of megabytes are checked in a fraction of a second.
std::uint64_t checksumPart(const std::uint8_t* p, std::size_t n) {
    std::uint64_t h[4] = {0x9e3779b97f4a7c15ull, 0xc2b2ae3d27d4eb4full, 0x165667b19e3779f9ull,
                          0x27d4eb2f165667c5ull};
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        for (int k = 0; k < 4; ++k) {
            std::uint64_t w;
            std::memcpy(&w, p + i + 8 * k, 8);
            h[k] = (h[k] ^ w) * 0xff51afd7ed558ccdull;
            h[k] ^= h[k] >> 29;
        }
    }
    std::uint64_t r = h[0] ^ (h[1] << 1) ^ (h[2] << 2) ^ (h[3] << 3) ^ n;
    for (; i < n; ++i)
        r = (r ^ p[i]) * 0x100000001b3ull;
    return r ^ (r >> 31);
}

// The checksum of a whole buffer, its two halves hashed on two threads.
std::uint64_t checksum(const std::uint8_t* p, std::size_t n) {
    const std::size_t half = (n / 2) & ~std::size_t{31};
    std::uint64_t second = 0;
    std::thread t([&] { second = checksumPart(p + half, n - half); });
    const std::uint64_t first = checksumPart(p, half);
    t.join();
    return first ^ ((second << 17) | (second >> 47)) ^ 0x51ed27;
}

std::size_t align8(std::size_t n) {
    return (n + 7) & ~std::size_t{7};
}

// The head of the file: magic, version, folder, stamp, counts.
std::vector<std::uint8_t> head(const std::string& dir, const std::string& stamp, std::uint64_t rows,
                               std::uint64_t textBytes) {
    std::vector<std::uint8_t> h(align8(8 + 4 + dir.size() + 4 + stamp.size() + 16));
    std::uint8_t* p = h.data();
    std::memcpy(p, kMagic, 4);
    xb::putU32LE(p + 4, kVersion);
    p += 8;
    for (const std::string* s : {&dir, &stamp}) {
        xb::putU32LE(p, static_cast<std::uint32_t>(s->size()));
        std::memcpy(p + 4, s->data(), s->size());
        p += 4 + s->size();
    }
    std::memcpy(p, &rows, 8);
    std::memcpy(p + 8, &textBytes, 8);
    return h;
}

}  // namespace

// ---- slices ------------------------------------------------------------------------------

std::uint64_t runSlices(std::size_t slices, int threads,
                        const std::function<void(std::size_t, std::vector<std::uint32_t>&)>& work,
                        const MatchSink& sink, std::uint64_t limit,
                        const std::atomic<bool>* cancel) {
    std::vector<std::vector<std::uint32_t>> results(slices);
    std::vector<char> done(slices, 0);
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    auto worker = [&] {
        for (;;) {
            if (stop.load(std::memory_order_relaxed) ||
                (cancel && cancel->load(std::memory_order_relaxed)))
                break;
            const std::size_t s = next.fetch_add(1);
            if (s >= slices) break;
            std::vector<std::uint32_t> out;
            work(s, out);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                results[s] = std::move(out);
                done[s] = 1;
            }
            ready.notify_all();
        }
        // Whatever this worker will not do any more counts as done, so the
        // caller never waits for it.
        const std::lock_guard<std::mutex> lock(mutex);
        ready.notify_all();
    };
    threads = std::max(1, threads);
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i)
        pool.emplace_back(worker);
    std::uint64_t handed = 0;
    for (std::size_t s = 0; s < slices; ++s) {
        std::vector<std::uint32_t> out;
        {
            std::unique_lock<std::mutex> lock(mutex);
            ready.wait(lock, [&] { return done[s] || (cancel && cancel->load()); });
            if (!done[s]) break;
            out = std::move(results[s]);
        }
        if (limit && handed + out.size() > limit) out.resize(limit - handed);
        handed += out.size();
        bool more = true;
        if (!out.empty()) more = sink(out);
        if (!more || (limit && handed >= limit)) {
            stop = true;
            break;
        }
    }
    stop = true;
    for (std::thread& t : pool)
        t.join();
    return handed;
}

// ---- building ----------------------------------------------------------------------------

NameIndex::~NameIndex() {
    if (m_map) ::munmap(m_map, m_mapLength);
}

std::string_view NameIndex::textOf(std::size_t i) const {
    const std::uint32_t start = m_rows[i].text;
    const std::uint64_t end = i + 1 < m_rowCount ? m_rows[i + 1].text : m_textBytes;
    return {m_text + start, static_cast<std::size_t>(end - start - 1)};
}

std::unique_ptr<NameIndex> NameIndex::build(const FileTableImage& image, int threads,
                                            const std::function<void(int)>& progress,
                                            const std::atomic<bool>* cancel) {
    const std::string before = FileTableImage::stampOf(image.directory());
    const std::uint32_t count = image.recordCount();
    const std::size_t slices = (count + kRecordsPerBuildSlice - 1) / kRecordsPerBuildSlice;
    struct Part {
        std::vector<NameRow> rows;
        std::string text;
    };
    std::vector<Part> parts(slices);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    auto worker = [&] {
        std::vector<std::uint8_t> buf;
        std::string path;
        for (;;) {
            if (cancel && cancel->load()) return;
            const std::size_t s = next.fetch_add(1);
            if (s >= slices) return;
            const std::uint32_t first = static_cast<std::uint32_t>(s * kRecordsPerBuildSlice + 1);
            const std::uint32_t n = image.readRecords(first, kRecordsPerBuildSlice, buf);
            Part& part = parts[s];
            part.rows.reserve(n);
            part.text.reserve(std::size_t{n} * 48);
            for (std::uint32_t i = 0; i < n; ++i) {
                const std::uint8_t* r = buf.data() + std::size_t{i} * image.recordLength();
                const FileFacts f = image.facts(first + i, r);
                if (!f.catalogued) continue;
                image.fullPath(r, path);
                upperUtf8InPlace(path);
                // A line feed ends each text; one inside a name would split it.
                std::replace(path.begin(), path.end(), '\n', ' ');
                part.rows.push_back(NameRow{f.recno, f.entry, f.date,
                                            static_cast<std::uint32_t>(part.text.size()), f.size});
                part.text += path;
                part.text += '\n';
            }
            finished.fetch_add(1);
        }
    };
    threads = std::max(1, threads);
    std::atomic<int> running{threads};
    auto counted = [&] {
        worker();
        running.fetch_sub(1);
    };
    std::vector<std::thread> pool;
    for (int i = progress ? 0 : 1; i < threads; ++i)
        pool.emplace_back(counted);
    if (progress) {
        // The workers build; the calling thread reports.
        int shown = -1;
        while (running.load() > 0) {
            const int pct = slices ? static_cast<int>(finished.load() * 100 / slices) : 100;
            if (pct != shown) progress(shown = pct);
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
    } else {
        counted();
    }
    for (std::thread& t : pool)
        t.join();
    if (cancel && cancel->load()) return nullptr;
    if (FileTableImage::stampOf(image.directory()) != before) return nullptr;

    auto index = std::unique_ptr<NameIndex>(new NameIndex);
    index->m_dir = image.directory();
    index->m_stamp = before;
    std::size_t rows = 0, text = 0;
    for (const Part& p : parts) {
        rows += p.rows.size();
        text += p.text.size();
    }
    if (text >= 0xFFFFFFFFull) return nullptr;  // offsets are 32-bit
    index->m_ownRows.resize(rows);
    index->m_ownText.resize(text);
    // Where each part goes; the parts are then copied on two threads.
    std::vector<std::size_t> rowAt(slices + 1, 0), textAt(slices + 1, 0);
    for (std::size_t i = 0; i < slices; ++i) {
        rowAt[i + 1] = rowAt[i] + parts[i].rows.size();
        textAt[i + 1] = textAt[i] + parts[i].text.size();
    }
    auto copy = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            Part& p = parts[i];
            NameRow* out = index->m_ownRows.data() + rowAt[i];
            for (NameRow row : p.rows) {
                row.text += static_cast<std::uint32_t>(textAt[i]);
                *out++ = row;
            }
            if (!p.text.empty())
                std::memcpy(index->m_ownText.data() + textAt[i], p.text.data(), p.text.size());
            p = Part{};
        }
    };
    {
        std::thread second(copy, slices / 2, slices);
        copy(0, slices / 2);
        second.join();
    }
    index->m_rows = index->m_ownRows.data();
    index->m_rowCount = rows;
    index->m_text = index->m_ownText.data();
    index->m_textBytes = text;
    if (progress) progress(100);
    return index;
}

// ---- the file ----------------------------------------------------------------------------

bool NameIndex::save(const std::string& file) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(file).parent_path(), ec);
    const std::string temp = file + "." + std::to_string(::getpid()) + ".tmp";
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const std::vector<std::uint8_t> h = head(m_dir, m_stamp, m_rowCount, m_textBytes);
    const std::size_t rowBytes = m_rowCount * sizeof(NameRow);
    const std::size_t total = h.size() + rowBytes + m_textBytes;
    bool ok = ::ftruncate(fd, static_cast<off_t>(total + 8)) == 0;
    void* map =
        ok ? ::mmap(nullptr, total + 8, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    if (map != MAP_FAILED) {
        auto* p = static_cast<std::uint8_t*>(map);
        std::memcpy(p, h.data(), h.size());
        if (rowBytes) std::memcpy(p + h.size(), m_rows, rowBytes);
        if (m_textBytes) std::memcpy(p + h.size() + rowBytes, m_text, m_textBytes);
        const std::uint64_t sum = checksum(p, total);
        std::memcpy(p + total, &sum, 8);
        ok = ::munmap(map, total + 8) == 0;
    } else {
        ok = false;
    }
    ok = ::close(fd) == 0 && ok;
    if (ok) {
        fs::rename(temp, file, ec);
        ok = !ec;
    }
    if (!ok) fs::remove(temp, ec);
    return ok;
}

std::unique_ptr<NameIndex> NameIndex::load(const std::string& file, const std::string& dir) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size < 40) {
        ::close(fd);
        return nullptr;
    }
    const auto length = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) return nullptr;
    auto index = std::unique_ptr<NameIndex>(new NameIndex);
    index->m_map = map;
    index->m_mapLength = length;
    const auto* p = static_cast<const std::uint8_t*>(map);
    if (std::memcmp(p, kMagic, 4) != 0 || xb::getU32LE(p + 4) != kVersion) return nullptr;
    std::size_t at = 8;
    std::string strings[2];
    for (std::string& s : strings) {
        if (length - at < 4) return nullptr;
        const std::uint32_t n = xb::getU32LE(p + at);
        at += 4;
        if (length - at < n) return nullptr;
        s.assign(reinterpret_cast<const char*>(p + at), n);
        at += n;
    }
    if (strings[0] != dir || length - at < 16) return nullptr;
    std::uint64_t rows, text;
    std::memcpy(&rows, p + at, 8);
    std::memcpy(&text, p + at + 8, 8);
    const std::size_t headSize = align8(at + 16);
    if (rows > length / sizeof(NameRow) || text > length) return nullptr;
    const std::uint64_t total = headSize + rows * sizeof(NameRow) + text;
    if (total + 8 != length) return nullptr;
    std::uint64_t sum;
    std::memcpy(&sum, p + total, 8);
    if (sum != checksum(p, total)) return nullptr;
    index->m_dir = strings[0];
    index->m_stamp = strings[1];
    index->m_rows = reinterpret_cast<const NameRow*>(p + headSize);
    index->m_rowCount = rows;
    index->m_text = reinterpret_cast<const char*>(p + headSize + rows * sizeof(NameRow));
    index->m_textBytes = text;
    // Offsets must stay inside the texts and rise, or a search would read
    // past them.
    for (std::size_t i = 0; i < rows; ++i) {
        const std::uint64_t end = i + 1 < rows ? index->m_rows[i + 1].text : text;
        if (index->m_rows[i].text >= end || end > text) return nullptr;
    }
    return index;
}

// ---- searching ---------------------------------------------------------------------------

std::size_t NameIndex::slices() const {
    return (m_rowCount + kRowsPerSearchSlice - 1) / kRowsPerSearchSlice;
}

void NameIndex::searchSlice(std::size_t s, const NamePattern& pattern, const NameFilter& filter,
                            std::vector<std::uint32_t>& out) const {
    const std::string& literal = pattern.literal();
    // A pattern without wildcards is its own literal: a hit is a match.
    const bool literalDecides = !pattern.wildcard();
    const std::size_t firstRow = s * kRowsPerSearchSlice;
    const std::size_t endRow = std::min(m_rowCount, firstRow + kRowsPerSearchSlice);
    const char* base = m_text;
    const std::uint64_t end = endRow < m_rowCount ? m_rows[endRow].text : m_textBytes;
    std::uint64_t at = m_rows[firstRow].text;
    std::size_t row = firstRow;
    while (at < end) {
        const void* hit = ::memmem(base + at, end - at, literal.data(), literal.size());
        if (!hit) break;
        const std::uint64_t off = static_cast<const char*>(hit) - base;
        // The row holding the hit: the last one starting at or before it.
        std::size_t lo = row, hi = endRow;
        while (hi - lo > 1) {
            const std::size_t mid = (lo + hi) / 2;
            if (m_rows[mid].text <= off)
                lo = mid;
            else
                hi = mid;
        }
        row = lo;
        const NameRow& r = m_rows[row];
        const std::string_view text = textOf(row);
        if ((literalDecides || pattern.matches(text)) &&
            filter.passes(r.entry, r.size, r.date, text))
            out.push_back(r.recno);
        ++row;
        if (row >= endRow) break;
        at = m_rows[row].text;
    }
}

std::size_t NameIndex::searchHead(const NamePattern& pattern, const NameFilter& filter,
                                  const MatchSink& sink, std::size_t enough,
                                  std::chrono::microseconds budget, std::uint64_t& handed) const {
    const auto start = std::chrono::steady_clock::now();
    const std::size_t n = slices();
    std::vector<std::uint32_t> out;
    std::size_t s = 0;
    while (s < n) {
        out.clear();
        searchSlice(s++, pattern, filter, out);
        handed += out.size();
        if (!out.empty() && !sink(out)) return n;
        if (handed >= enough || std::chrono::steady_clock::now() - start >= budget) break;
    }
    return s;
}

std::uint64_t NameIndex::search(const NamePattern& pattern, const NameFilter& filter,
                                const MatchSink& sink, std::uint64_t limit, int threads,
                                const std::atomic<bool>* cancel, std::size_t fromSlice) const {
    const std::size_t n = slices();
    if (fromSlice >= n) return 0;
    auto work = [&](std::size_t s, std::vector<std::uint32_t>& out) {
        searchSlice(fromSlice + s, pattern, filter, out);
    };
    return runSlices(n - fromSlice, threads, work, sink, limit, cancel);
}

std::uint64_t scanFileTable(const FileTableImage& image, const NamePattern& pattern,
                            const NameFilter& filter, const MatchSink& sink, std::uint64_t limit,
                            int threads, const std::atomic<bool>* cancel) {
    const std::uint32_t count = image.recordCount();
    const std::size_t slices = (count + kRecordsPerScanSlice - 1) / kRecordsPerScanSlice;
    auto work = [&](std::size_t s, std::vector<std::uint32_t>& out) {
        thread_local std::vector<std::uint8_t> buf;
        thread_local std::string path;
        const std::uint32_t first = static_cast<std::uint32_t>(s * kRecordsPerScanSlice + 1);
        const std::uint32_t n = image.readRecords(first, kRecordsPerScanSlice, buf);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint8_t* r = buf.data() + std::size_t{i} * image.recordLength();
            const FileFacts f = image.facts(first + i, r);
            if (!f.catalogued) continue;
            image.fullPath(r, path);
            upperUtf8InPlace(path);
            std::replace(path.begin(), path.end(), '\n', ' ');
            if (pattern.matches(path) && filter.passes(f.entry, f.size, f.date, path))
                out.push_back(f.recno);
        }
    };
    return runSlices(slices, threads, work, sink, limit, cancel);
}

}  // namespace qv
