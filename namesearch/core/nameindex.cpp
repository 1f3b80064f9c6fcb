#include "namesearch/core/nameindex.h"

#include <fcntl.h>
#include <immintrin.h>
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
#include "store/xbase/cp1252.h"

namespace qv {

namespace {

constexpr char kMagic[4] = {'Q', 'V', 'N', 'I'};
constexpr std::uint32_t kVersion = 2;
constexpr std::uint32_t kRecordsPerBuildSlice = 8192;
constexpr std::uint32_t kRecordsPerScanSlice = 8192;

// Four lanes of 64-bit running sums and sums of those (every word changes
// the first, its place the second), mixed at the end. The wide kernel and
// the plain one compute the same value; either reads at the speed the
// memory delivers.
struct Sums {
    std::uint64_t a[4] = {0, 0, 0, 0};
    std::uint64_t b[4] = {0, 0, 0, 0};
};

__attribute__((target("avx2"))) void sumWide(const std::uint8_t* p, std::size_t chunks, Sums& s) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.a));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.b));
    for (std::size_t i = 0; i < chunks; ++i) {
        a = _mm256_add_epi64(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i)));
        b = _mm256_add_epi64(b, a);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s.a), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s.b), b);
}

void sumPlain(const std::uint8_t* p, std::size_t chunks, Sums& s) {
    for (std::size_t i = 0; i < chunks; ++i)
        for (int k = 0; k < 4; ++k) {
            std::uint64_t w;
            std::memcpy(&w, p + 32 * i + 8 * k, 8);
            s.a[k] += w;
            s.b[k] += s.a[k];
        }
}

std::uint64_t checksumPart(const std::uint8_t* p, std::size_t n) {
    static const bool wide = __builtin_cpu_supports("avx2");
    Sums s;
    const std::size_t chunks = n / 32;
    if (wide)
        sumWide(p, chunks, s);
    else
        sumPlain(p, chunks, s);
    std::uint64_t r = n;
    for (int k = 0; k < 4; ++k) {
        r = (r ^ s.a[k]) * 0xff51afd7ed558ccdull;
        r = (r ^ s.b[k] ^ (r >> 29)) * 0xc4ceb9fe1a85ec53ull;
    }
    for (std::size_t i = chunks * 32; i < n; ++i)
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
                               std::uint64_t textBytes, std::uint64_t blocks) {
    std::vector<std::uint8_t> h(align8(8 + 4 + dir.size() + 4 + stamp.size() + 24));
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
    std::memcpy(p + 16, &blocks, 8);
    return h;
}

}  // namespace

// ---- slices ------------------------------------------------------------------------------

std::uint64_t runSlices(std::size_t slices, int threads,
                        const std::function<bool(std::size_t, std::vector<std::uint32_t>&)>& work,
                        const MatchSink& sink, std::uint64_t limit,
                        const std::atomic<bool>* cancel) {
    std::vector<std::vector<std::uint32_t>> results(slices);
    std::vector<char> done(slices, 0);  // per slice: 0 waiting, 1 done, 2 failed
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    auto worker = [&] {
        std::vector<std::uint32_t> out;
        for (;;) {
            if (stop.load(std::memory_order_relaxed) ||
                (cancel && cancel->load(std::memory_order_relaxed)))
                break;
            const std::size_t s = next.fetch_add(1);
            if (s >= slices) break;
            out.clear();
            const bool sound = work(s, out);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (!out.empty()) results[s] = out;
                done[s] = sound ? 1 : 2;
            }
            ready.notify_all();
            if (!sound) {
                stop = true;
                break;
            }
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
            if (done[s] != 1) break;
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

namespace {

// DIRPFAD's Windows-1252 bytes as upper-cased UTF-8, byte by byte: the
// same as converting the whole field and folding it after (namepattern.h).
struct UpperBytes {
    char bytes[4][256];
    std::uint8_t length[256];
    UpperBytes() {
        for (int b = 0; b < 256; ++b) {
            std::string u = b == '\n'
                                ? std::string(" ")
                                : upperUtf8(xb::cp1252ToUtf8(std::string(1, static_cast<char>(b))));
            u.resize(std::min<std::size_t>(u.size(), 4));
            length[b] = static_cast<std::uint8_t>(u.size());
            for (std::size_t k = 0; k < 4; ++k)
                bytes[k][b] = k < u.size() ? u[k] : 0;
        }
    }
};

const UpperBytes& upperBytes() {
    static const UpperBytes table;
    return table;
}

constexpr std::size_t kArenaRegion = std::size_t{64} << 20;

// How many of the first `n` bytes of `a` and `b` agree.
std::size_t commonPrefix(const char* a, const char* b, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) return i + static_cast<std::size_t>(__builtin_ctzll(x ^ y) / 8);
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

}  // namespace

// The memory a build writes its rows and texts into: large regions taken
// from the system at once (in huge pages where it gives them) and filled
// front to back, so that no record costs an allocation and no block is
// copied once written. One per building thread.
class NameIndex::Arena {
  public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() {
        for (const auto& [base, size] : m_regions)
            ::munmap(base, size);
    }

    // `n` bytes, 8-aligned; nullptr when the system gives no memory.
    char* take(std::size_t n) {
        if (!fits(m_top, n) && !newRegion(n)) return nullptr;
        char* p = m_top;
        m_top += (n + 7) & ~std::size_t{7};
        return p;
    }
    // Room for `need` more bytes after the `used` bytes written at `start`
    // (which must be the last thing taken); moves them to a new region when
    // this one is full. Returns where they are now, nullptr without memory.
    char* grow(char* start, std::size_t used, std::size_t need) {
        if (fits(start, used + need)) return start;
        std::vector<char> keep(start, start + used);
        if (!newRegion(used + need)) return nullptr;
        std::memcpy(m_top, keep.data(), used);
        return m_top;
    }
    // Ends the run started at `start` after `used` bytes.
    void close(char* start, std::size_t used) { m_top = start + ((used + 7) & ~std::size_t{7}); }
    // Begins a run at the top.
    char* top() { return m_top; }

  private:
    bool fits(const char* at, std::size_t n) const {
        return at && static_cast<std::size_t>(m_end - at) >= n;
    }
    bool newRegion(std::size_t n) {
        const std::size_t size = std::max(kArenaRegion, (n + kArenaRegion) & ~(kArenaRegion - 1));
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) return false;
        ::madvise(p, size, MADV_HUGEPAGE);
        m_regions.emplace_back(p, size);
        m_top = static_cast<char*>(p);
        m_end = m_top + size;
        return true;
    }

    std::vector<std::pair<void*, std::size_t>> m_regions;
    char* m_top = nullptr;
    char* m_end = nullptr;
};

NameIndex::NameIndex() = default;

NameIndex::~NameIndex() {
    if (m_map) ::munmap(m_map, m_mapLength);
}

std::uint64_t NameIndex::partSum(std::size_t b, Part part) const {
    const Place& at = m_places[b];
    const void* p = part == Texts  ? static_cast<const void*>(at.text)
                    : part == Keys ? static_cast<const void*>(at.keys)
                                   : static_cast<const void*>(at.facts);
    const std::size_t n = part == Texts  ? at.textBytes
                          : part == Keys ? std::size_t{at.rowCount} * sizeof(NameKey)
                                         : std::size_t{at.rowCount} * sizeof(NameFacts);
    return checksumPart(static_cast<const std::uint8_t*>(p), n) ^ (b * 3 + part);
}

bool NameIndex::sound(std::size_t b, Part part) const {
    const auto bit = static_cast<std::uint8_t>(1u << part);
    if (m_checked[b].load(std::memory_order_acquire) & bit) return true;
    if (m_damaged.load()) return false;
    if (partSum(b, part) == m_table[b].sums[part]) {
        m_checked[b].fetch_or(bit, std::memory_order_acq_rel);
        return true;
    }
    m_damaged = true;
    // The next search builds the index anew.
    std::call_once(m_dropped, [&] {
        if (!m_file.empty()) ::unlink(m_file.c_str());
    });
    return false;
}

void NameIndex::prepare() {
    // Which bytes are rare: a piece of every so many blocks.
    m_counts = ByteCounts{};
    const std::size_t step = std::max<std::size_t>(1, m_blocks / 64);
    for (std::size_t b = 0; b < m_blocks; b += step) {
        const ByteCounts part = sampleByteCounts(
            m_places[b].text, std::min<std::uint64_t>(m_places[b].textBytes, 4096));
        for (std::size_t c = 0; c < 256; ++c)
            m_counts[c] += part[c];
    }
    m_checked = std::make_unique<std::atomic<std::uint8_t>[]>(m_blocks);
    const std::uint8_t initial = m_map ? 0 : 7;  // a fresh build is sound
    for (std::size_t b = 0; b < m_blocks; ++b)
        m_checked[b].store(initial, std::memory_order_relaxed);
}

std::unique_ptr<NameIndex> NameIndex::build(const FileTableImage& image, int threads,
                                            const std::function<void(int)>& progress,
                                            const std::atomic<bool>* cancel) {
    const std::string before = FileTableImage::stampOf(image.directory());
    const std::uint32_t count = image.recordCount();
    const std::size_t slices = (count + kRecordsPerBuildSlice - 1) / kRecordsPerBuildSlice;
    threads = std::max(1, threads);
    auto index = std::unique_ptr<NameIndex>(new NameIndex);
    index->m_ownPrints.assign(slices * kFingerprintBytes, 0);
    index->m_places.assign(slices, Place{nullptr, nullptr, nullptr, 0, 0});
    index->m_ownTable.assign(slices + 1, Block{0, 0, 0, {0, 0, 0}});
    for (int i = 0; i < threads; ++i)
        index->m_arenas.push_back(std::make_unique<Arena>());
    std::vector<Place>& places = index->m_places;
    std::vector<Block>& table = index->m_ownTable;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    std::atomic<bool> failed{false};
    const UpperBytes& upper = upperBytes();
    auto worker = [&](Arena& arena) {
        std::vector<std::uint8_t> buf;
        std::string scratch;
        for (;;) {
            if ((cancel && cancel->load()) || failed.load()) return;
            const std::size_t s = next.fetch_add(1);
            if (s >= slices) return;
            const std::uint32_t first = static_cast<std::uint32_t>(s * kRecordsPerBuildSlice + 1);
            const std::uint32_t n = image.readRecords(first, kRecordsPerBuildSlice, buf);
            auto* keys = reinterpret_cast<NameKey*>(arena.take(std::size_t{n} * sizeof(NameKey)));
            auto* facts =
                reinterpret_cast<NameFacts*>(arena.take(std::size_t{n} * sizeof(NameFacts)));
            char* text = arena.top();
            if (!keys || !facts || !(text = arena.grow(text, 0, std::size_t{n} * 48))) {
                failed = true;
                return;
            }
            std::uint32_t rowCount = 0;
            std::size_t used = 0;
            std::size_t lastStart = 0, lastLength = 0;  // the text before
            std::uint8_t* const print = index->m_ownPrints.data() + s * kFingerprintBytes;
            for (std::uint32_t i = 0; i < n; ++i) {
                const std::uint8_t* r = buf.data() + std::size_t{i} * image.recordLength();
                const FileFacts f = image.facts(first + i, r);
                if (!f.catalogued) continue;
                keys[rowCount] = NameKey{f.recno, static_cast<std::uint32_t>(used)};
                facts[rowCount++] = NameFacts{f.entry, f.date, f.size};
                const std::string_view memo = image.memoText(r, scratch);
                const std::string_view path = memo.empty() ? image.pathField(r) : memo;
                if (!(text = arena.grow(text, used, path.size() * 3 + 4))) {
                    failed = true;
                    return;
                }
                char* o = text + used;
                if (!memo.empty()) {
                    std::memcpy(o, memo.data(), memo.size());
                    upperUtf8InPlace(o, memo.size());
                    // A line feed ends each text; one inside a name would split it.
                    std::replace(o, o + memo.size(), '\n', ' ');
                    o += memo.size();
                } else {
                    for (const char c : path) {
                        const auto b = static_cast<unsigned char>(c);
                        if (upper.length[b] == 1) {
                            *o++ = upper.bytes[0][b];
                        } else {
                            for (int k = 0; k < upper.length[b]; ++k)
                                *o++ = upper.bytes[k][b];
                        }
                    }
                }
                // Texts in a row mostly share their folders: the runs of three
                // within the part the text before has too are in the
                // fingerprint already.
                const std::size_t length = static_cast<std::size_t>(o - text) - used;
                const std::size_t same =
                    commonPrefix(text + lastStart, text + used, std::min(lastLength, length));
                const std::size_t from = same >= 2 ? same - 2 : 0;
                addToFingerprint(print, text + used + from, length - from);
                lastStart = used;
                lastLength = length;
                *o++ = '\n';
                used = static_cast<std::size_t>(o - text);
            }
            if (used >= 0xFFFFFFFFull) {  // offsets in a block are 32-bit
                failed = true;
                return;
            }
            arena.close(text, used);
            places[s] = Place{keys, facts, text, rowCount, used};
            for (const Part part : {Texts, Keys, Facts})
                table[s].sums[part] = index->partSum(s, part);
            finished.fetch_add(1);
        }
    };
    std::atomic<int> running{threads};
    auto counted = [&](int i) {
        worker(*index->m_arenas[static_cast<std::size_t>(i)]);
        running.fetch_sub(1);
    };
    std::vector<std::thread> pool;
    for (int i = progress ? 0 : 1; i < threads; ++i)
        pool.emplace_back(counted, i);
    if (progress) {
        // The workers build; the calling thread reports.
        int shown = -1;
        while (running.load() > 0) {
            const int pct = slices ? static_cast<int>(finished.load() * 100 / slices) : 100;
            if (pct != shown) progress(shown = pct);
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
    } else {
        counted(0);
    }
    for (std::thread& t : pool)
        t.join();
    if ((cancel && cancel->load()) || failed.load()) return nullptr;
    if (FileTableImage::stampOf(image.directory()) != before) return nullptr;

    index->m_dir = image.directory();
    index->m_stamp = before;
    for (std::size_t i = 0; i < slices; ++i) {
        table[i].firstRow = static_cast<std::uint32_t>(index->m_rowCount);
        table[i].text = index->m_textBytes;
        index->m_rowCount += places[i].rowCount;
        index->m_textBytes += places[i].textBytes;
    }
    table[slices] =
        Block{index->m_textBytes, static_cast<std::uint32_t>(index->m_rowCount), 0, {0, 0, 0}};
    index->m_table = table.data();
    index->m_blocks = slices;
    index->m_prints = index->m_ownPrints.data();
    index->prepare();
    if (progress) progress(100);
    return index;
}

// ---- the file ----------------------------------------------------------------------------

namespace {

bool writeAll(int fd, const void* data, std::size_t n) {
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, std::min<std::size_t>(n, std::size_t{1} << 26));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

bool NameIndex::save(const std::string& file) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(file).parent_path(), ec);
    const std::string temp = file + "." + std::to_string(::getpid()) + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    // The head, block table and fingerprints, then their checksum.
    std::vector<std::uint8_t> front = head(m_dir, m_stamp, m_rowCount, m_textBytes, m_blocks);
    const std::size_t tableAt = front.size();
    const std::size_t tableBytes = (m_blocks + 1) * sizeof(Block);
    const std::size_t printBytes = m_blocks * kFingerprintBytes;
    front.resize(tableAt + tableBytes + printBytes + 8);
    std::memcpy(front.data() + tableAt, m_table, tableBytes);
    if (printBytes) std::memcpy(front.data() + tableAt + tableBytes, m_prints, printBytes);
    const std::uint64_t sum = checksum(front.data(), front.size() - 8);
    std::memcpy(front.data() + front.size() - 8, &sum, 8);
    bool ok = writeAll(fd, front.data(), front.size());
    for (std::size_t b = 0; ok && b < m_blocks; ++b)
        ok = writeAll(fd, m_places[b].keys, std::size_t{m_places[b].rowCount} * sizeof(NameKey));
    for (std::size_t b = 0; ok && b < m_blocks; ++b)
        ok = writeAll(fd, m_places[b].facts, std::size_t{m_places[b].rowCount} * sizeof(NameFacts));
    for (std::size_t b = 0; ok && b < m_blocks; ++b)
        ok = writeAll(fd, m_places[b].text, m_places[b].textBytes);
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
    if (::fstat(fd, &st) != 0 || st.st_size < 48) {
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
    if (strings[0] != dir || length - at < 24) return nullptr;
    std::uint64_t rows, text, blocks;
    std::memcpy(&rows, p + at, 8);
    std::memcpy(&text, p + at + 8, 8);
    std::memcpy(&blocks, p + at + 16, 8);
    const std::size_t tableAt = align8(at + 24);
    constexpr std::size_t kRowBytes = sizeof(NameKey) + sizeof(NameFacts);
    if (rows > length / kRowBytes || text > length ||
        blocks > length / (kFingerprintBytes + sizeof(Block)))
        return nullptr;
    const std::uint64_t sumAt = tableAt + (blocks + 1) * sizeof(Block) + blocks * kFingerprintBytes;
    const std::uint64_t rowsAt = sumAt + 8;
    if (rowsAt + rows * kRowBytes + text != length) return nullptr;
    std::uint64_t sum;
    std::memcpy(&sum, p + sumAt, 8);
    if (sum != checksum(p, sumAt)) return nullptr;
    index->m_dir = strings[0];
    index->m_stamp = strings[1];
    index->m_file = file;
    index->m_table = reinterpret_cast<const Block*>(p + tableAt);
    index->m_blocks = blocks;
    index->m_prints = p + tableAt + (blocks + 1) * sizeof(Block);
    index->m_rowCount = rows;
    index->m_textBytes = text;
    // The blocks must divide the rows and texts among them in order, or a
    // search would read past them; the rows inside a block are checked by
    // its checksum before a search reads them.
    const Block* table = index->m_table;
    if (table[0].firstRow != 0 || table[0].text != 0 || table[blocks].firstRow != rows ||
        table[blocks].text != text)
        return nullptr;
    const auto* allKeys = reinterpret_cast<const NameKey*>(p + rowsAt);
    const auto* allFacts = reinterpret_cast<const NameFacts*>(p + rowsAt + rows * sizeof(NameKey));
    const char* allText = reinterpret_cast<const char*>(p + rowsAt + rows * kRowBytes);
    index->m_places.resize(blocks);
    for (std::size_t b = 0; b < blocks; ++b) {
        const Block& from = table[b];
        const Block& to = table[b + 1];
        if (to.firstRow < from.firstRow || to.text < from.text ||
            (to.firstRow > from.firstRow && to.text == from.text) ||
            to.text - from.text >= 0xFFFFFFFFull)
            return nullptr;
        index->m_places[b] =
            Place{allKeys + from.firstRow, allFacts + from.firstRow, allText + from.text,
                  to.firstRow - from.firstRow, to.text - from.text};
    }
    index->prepare();
    return index;
}

// ---- searching ---------------------------------------------------------------------------

struct NameIndex::Probe {
    LiteralFinder finder;
    std::vector<std::uint16_t> bits;
    bool factsNeeded;
    Probe(const NamePattern& pattern, const NameFilter& filter, const ByteCounts& counts)
        : finder(pattern.literal(), counts),
          bits(fingerprintBits(pattern.literal())),
          factsNeeded(filter.minSize || filter.maxSize || filter.fromDate || filter.toDate ||
                      filter.entries) {}
};

bool NameIndex::searchSlice(std::size_t s, const Probe& probe, const NamePattern& pattern,
                            const NameFilter& filter, std::vector<std::uint32_t>& out) const {
    const Place& place = m_places[s];
    if (place.rowCount == 0) return true;
    if (!fingerprintHas(m_prints + s * kFingerprintBytes, probe.bits)) return true;
    if (!sound(s, Texts)) return false;
    // A pattern without wildcards is its own literal: a hit is a match.
    const bool literalDecides = !pattern.wildcard();
    const NameKey* keys = place.keys;
    const std::size_t endRow = place.rowCount;
    const char* text = place.text;
    const std::uint64_t end = place.textBytes;
    std::uint64_t at = 0;
    std::size_t row = 0;
    bool keysSound = false, factsSound = false;
    while (at < end) {
        const std::size_t found = probe.finder.find(text + at, end - at);
        if (found == LiteralFinder::npos) break;
        if (!keysSound && !(keysSound = sound(s, Keys))) return false;
        const std::uint64_t off = at + found;
        // The row holding the hit: the last one starting at or before it,
        // looked for in growing steps from the row the scan is at, since
        // hits close together are common.
        std::size_t lo = row, step = 1;
        while (lo + step < endRow && keys[lo + step].text <= off) {
            lo += step;
            step *= 2;
        }
        std::size_t hi = std::min(endRow, lo + step);
        while (hi - lo > 1) {
            const std::size_t mid = (lo + hi) / 2;
            if (keys[mid].text <= off)
                lo = mid;
            else
                hi = mid;
        }
        row = lo;
        const NameKey& k = keys[row];
        const std::uint64_t next = row + 1 < endRow ? keys[row + 1].text : end;
        const std::string_view path(text + k.text, static_cast<std::size_t>(next - k.text - 1));
        if (literalDecides || pattern.matches(path)) {
            bool passes = true;
            if (probe.factsNeeded) {
                if (!factsSound && !(factsSound = sound(s, Facts))) return false;
                const NameFacts& f = place.facts[row];
                passes = filter.passes(f.entry, f.size, f.date, path);
            } else if (!filter.extensions.empty()) {
                passes = filter.passes(0, 0, 0, path);
            }
            if (passes) out.push_back(k.recno);
        }
        ++row;
        if (row >= endRow) break;
        at = next;
    }
    return true;
}

bool NameIndex::countSlice(std::size_t s, const Probe& probe, const NamePattern& pattern,
                           const NameFilter& filter, std::uint64_t& n) const {
    const Place& place = m_places[s];
    if (place.rowCount == 0) return true;
    if (!fingerprintHas(m_prints + s * kFingerprintBytes, probe.bits)) return true;
    if (!sound(s, Texts)) return false;
    const bool literalDecides = !pattern.wildcard() && filter.extensions.empty();
    const char* text = place.text;
    const std::size_t end = place.textBytes;
    std::size_t at = 0;
    while (at < end) {
        const std::size_t found = probe.finder.find(text + at, end - at);
        if (found == LiteralFinder::npos) break;
        // Each text ends with a line feed and holds none.
        const char* hit = text + at + found;
        const auto* stop = static_cast<const char*>(std::memchr(hit, '\n', text + end - hit));
        const std::size_t next = stop ? static_cast<std::size_t>(stop - text) + 1 : end;
        if (literalDecides) {
            ++n;
        } else {
            const char* begin = hit;
            while (begin > text + at && begin[-1] != '\n')
                --begin;
            const std::string_view path(begin, static_cast<std::size_t>(text + next - 1 - begin));
            if (pattern.matches(path) && filter.passes(0, 0, 0, path)) ++n;
        }
        at = next;
    }
    return true;
}

std::uint64_t NameIndex::count(const NamePattern& pattern, const NameFilter& filter,
                               int threads) const {
    const Probe probe(pattern, filter, m_counts);
    if (probe.factsNeeded)
        return search(
            pattern, filter, [](const auto&) { return true; }, 0, threads);
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> total{0};
    auto worker = [&] {
        std::uint64_t n = 0;
        for (std::size_t s; !m_damaged.load() && (s = next.fetch_add(1)) < m_blocks;)
            if (!countSlice(s, probe, pattern, filter, n)) break;
        total += n;
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
    return total.load();
}

std::size_t NameIndex::searchHead(const NamePattern& pattern, const NameFilter& filter,
                                  const MatchSink& sink, std::size_t enough,
                                  std::chrono::microseconds budget, std::uint64_t& handed) const {
    const auto start = std::chrono::steady_clock::now();
    const Probe probe(pattern, filter, m_counts);
    const std::size_t n = slices();
    std::vector<std::uint32_t> out;
    std::size_t s = 0;
    while (s < n) {
        out.clear();
        if (!searchSlice(s, probe, pattern, filter, out)) break;  // damaged: stop before it
        ++s;
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
    const Probe probe(pattern, filter, m_counts);
    auto work = [&](std::size_t s, std::vector<std::uint32_t>& out) {
        return searchSlice(fromSlice + s, probe, pattern, filter, out);
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
        return true;
    };
    return runSlices(slices, threads, work, sink, limit, cancel);
}

std::uint64_t searchNames(const NameIndex* index, const FileTableImage& image,
                          const NamePattern& pattern, const NameFilter& filter,
                          const MatchSink& sink, std::uint64_t limit, int threads,
                          const std::atomic<bool>* cancel, std::size_t fromSlice,
                          std::uint64_t handedBefore) {
    std::uint64_t handed = 0;
    if (index && !index->damaged()) {
        handed = index->search(pattern, filter, sink, limit, threads, cancel, fromSlice);
        if (!index->damaged()) return handed;
    }
    if ((cancel && cancel->load()) || (limit && handed >= limit)) return handed;
    // The scan finds the same matches in the same order: those handed on
    // already are passed over.
    std::uint64_t skip = index ? handedBefore + handed : 0;
    bool more = true;
    auto rest = [&](const std::vector<std::uint32_t>& recnos) {
        if (skip >= recnos.size()) {
            skip -= recnos.size();
            return true;
        }
        std::vector<std::uint32_t> tail(recnos.begin() + static_cast<std::ptrdiff_t>(skip),
                                        recnos.end());
        skip = 0;
        if (limit && handed + tail.size() > limit) tail.resize(limit - handed);
        handed += tail.size();
        if (!tail.empty()) more = sink(tail);
        return more && !(limit && handed >= limit);
    };
    scanFileTable(image, pattern, filter, rest, 0, threads, cancel);
    return handed;
}

std::uint64_t countNames(const NameIndex* index, const FileTableImage& image,
                         const NamePattern& pattern, const NameFilter& filter, int threads) {
    if (index && !index->damaged()) {
        const std::uint64_t n = index->count(pattern, filter, threads);
        if (!index->damaged()) return n;
    }
    return scanFileTable(
        image, pattern, filter, [](const auto&) { return true; }, 0, threads);
}

}  // namespace qv
