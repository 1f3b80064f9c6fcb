#include "duplicates/core/duplicates.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "catalogue/cataloguesession.h"
#include "store/conversion.h"
#include "store/tables/cataloguetables.h"
#include "store/ttable.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/dbf_header.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {

// ---- reading fields from raw records ---------------------------------------------------

std::int64_t digitsOf(const std::uint8_t* p, std::size_t n) {
    std::int64_t v = 0;
    bool negative = false;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = p[i];
        if (c >= '0' && c <= '9')
            v = v * 10 + (c - '0');
        else if (c == '-')
            negative = true;
        else if (c == '.')
            break;
    }
    return negative ? -v : v;
}

QString trimmedField(const std::uint8_t* rec, const xb::FieldDesc& f) {
    std::size_t n = f.len;
    const char* p = reinterpret_cast<const char*>(rec + f.offset);
    while (n > 0 && p[n - 1] == ' ')
        --n;
    return fromCp1252(std::string_view(p, n));
}

// The longest key: name 15, extension 3, size 8, date 8, time 5.
constexpr std::size_t kMaxKey = 40;
using KeyBytes = std::array<char, kMaxKey>;

// The fields of the file table a key is made of, and the rule.
class KeyMaker {
  public:
    KeyMaker(const xb::Table& t, DuplicateRule rule)
        : m_rule(rule),
          m_number(field(t, "dirnumm")),
          m_name(field(t, "dirname")),
          m_ext(field(t, "direndung")),
          m_path(field(t, "dirpfad")),
          m_date(field(t, "dirdate")),
          m_size(field(t, "dirsize")),
          m_time(field(t, "dirtime")) {}

    int owner(const std::uint8_t* rec) const {
        return static_cast<int>(digitsOf(rec + m_number.offset, m_number.len));
    }
    std::int64_t size(const std::uint8_t* rec) const {
        return digitsOf(rec + m_size.offset, m_size.len);
    }
    // The upper-cased extension, padded to three bytes.
    std::array<char, 3> extension(const std::uint8_t* rec) const {
        std::array<char, 3> e{' ', ' ', ' '};
        for (std::size_t i = 0; i < std::min<std::size_t>(3, m_ext.len); ++i)
            e[i] = static_cast<char>(xb::upper1252(rec[m_ext.offset + i]));
        return e;
    }
    // Writes the record's key; returns its length.
    std::size_t make(const std::uint8_t* rec, char* out) const {
        std::size_t n = 0;
        if (m_rule != DuplicateRule::SizeAndDate) {
            n = upper(rec, m_name, out, n, 15);
            n = upper(rec, m_ext, out, n, 3);
        }
        const std::int64_t s = size(rec);
        std::memcpy(out + n, &s, sizeof s);
        n += sizeof s;
        if (m_rule != DuplicateRule::Name) {
            n = copy(rec, m_date, out, n, 8);
            n = copy(rec, m_time, out, n, 5);
        }
        return n;
    }
    const xb::FieldDesc& pathField() const { return m_path; }

  private:
    static const xb::FieldDesc& field(const xb::Table& t, const char* name) {
        const int i = t.fieldIndex(name);
        if (i < 0)
            throw Error(ErrorCode::NotFound,
                        std::string("Feld ") + name + " in der Dateitabelle nicht gefunden");
        return t.field(i);
    }
    static std::size_t upper(const std::uint8_t* rec, const xb::FieldDesc& f, char* out,
                             std::size_t n, std::size_t width) {
        const std::size_t len = std::min<std::size_t>(width, f.len);
        for (std::size_t i = 0; i < len; ++i)
            out[n + i] = static_cast<char>(xb::upper1252(rec[f.offset + i]));
        for (std::size_t i = len; i < width; ++i)
            out[n + i] = ' ';
        return n + width;
    }
    static std::size_t copy(const std::uint8_t* rec, const xb::FieldDesc& f, char* out,
                            std::size_t n, std::size_t width) {
        const std::size_t len = std::min<std::size_t>(width, f.len);
        std::memcpy(out + n, rec + f.offset, len);
        for (std::size_t i = len; i < width; ++i)
            out[n + i] = ' ';
        return n + width;
    }

    DuplicateRule m_rule;
    xb::FieldDesc m_number, m_name, m_ext, m_path, m_date, m_size, m_time;
};

// A 64-bit hash of a short key: eight bytes at a time, multiplied and mixed.
std::uint64_t hashKey(const char* p, std::size_t n) {
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = 0xD6E8FEB86659FD93ull ^ n;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * kMul;
        h ^= h >> 29;
    }
    if (i < n) {
        std::uint64_t w = 0;
        std::memcpy(&w, p + i, n - i);
        h = (h ^ w) * kMul;
        h ^= h >> 29;
    }
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return h;
}

// A counted record in the first pass.
struct Keyed {
    std::uint64_t hash;
    std::uint32_t recno;
    std::int32_t owner;
};

// Decides per record whether it counts, and makes its hash.
struct Admission {
    const KeyMaker& keys;
    const EntryDirectory& entries;
    std::int64_t minSize = 0;
    std::vector<std::array<char, 3>> extensions;

    // The owner of a counted record, or 0.
    int admit(const std::uint8_t* rec) const {
        if (rec[0] == xb::kDeletedFlag) return 0;
        const int owner = keys.owner(rec);
        if (owner <= 0 || owner >= kReleasedEntryNumber || !entries.counts(owner)) return 0;
        if (minSize > 0 && keys.size(rec) < minSize) return 0;
        if (!extensions.empty()) {
            const std::array<char, 3> e = keys.extension(rec);
            if (std::find(extensions.begin(), extensions.end(), e) == extensions.end()) return 0;
        }
        return owner;
    }
};

// Runs `perRecord(recno, rec)` over every record of `t` in two halves on two
// threads (this one and a helper); `perRecord` gets the half's number (0, 1)
// too. Reports progress from this thread up to `span` permille; false when
// stopped.
template <typename Fn>
bool scanInHalves(xb::Table& t, const ScanProgress& progress, int span, Fn&& perRecord) {
    const std::uint32_t n = t.recCount();
    if (n == 0) return true;
    const std::size_t rl = t.recordLength();
    // Records still held back by the table are written before the threads
    // read the file; from then on the reads share nothing.
    std::vector<std::uint8_t> one(rl);
    t.readRecordsAt(n, 1, one.data());

    const std::uint32_t chunk =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, (1u << 20) / rl));
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> done{0};
    const std::uint32_t mid = n / 2;
    auto half = [&](int which, std::uint32_t from, std::uint32_t to, std::exception_ptr& failure) {
        try {
            std::vector<std::uint8_t> block(std::size_t{chunk} * rl);
            for (std::uint32_t first = from; first <= to && !stop.load();) {
                const std::uint32_t k = std::min(chunk, to - first + 1);
                t.readRecordsAt(first, k, block.data());
                for (std::uint32_t i = 0; i < k; ++i)
                    perRecord(which, first + i, block.data() + std::size_t{i} * rl);
                first += k;
                done.fetch_add(k);
            }
        } catch (...) {
            failure = std::current_exception();
            stop = true;
        }
    };
    std::exception_ptr failures[2];
    std::thread helper;
    if (mid >= 1 && n >= 2 * chunk) {
        helper = std::thread(half, 1, mid + 1, n, std::ref(failures[1]));
    }
    const std::uint32_t myEnd = helper.joinable() ? mid : n;
    // This thread's half, with the progress between its blocks.
    {
        std::vector<std::uint8_t> block(std::size_t{chunk} * rl);
        try {
            for (std::uint32_t first = 1; first <= myEnd && !stop.load();) {
                const std::uint32_t k = std::min(chunk, myEnd - first + 1);
                t.readRecordsAt(first, k, block.data());
                for (std::uint32_t i = 0; i < k; ++i)
                    perRecord(0, first + i, block.data() + std::size_t{i} * rl);
                first += k;
                done.fetch_add(k);
                if (progress && !progress(static_cast<int>(done.load() * span / n))) stop = true;
            }
        } catch (...) {
            failures[0] = std::current_exception();
            stop = true;
        }
    }
    if (helper.joinable()) {
        // The helper's rest, with progress while waiting for it.
        while (progress && !stop.load() && done.load() < n) {
            if (!progress(static_cast<int>(done.load() * span / n))) stop = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        helper.join();
    }
    for (const std::exception_ptr& f : failures)
        if (f) std::rethrow_exception(f);
    return done.load() >= n;
}

// Reads the records `recnos` (ascending) and calls fn(index, rec) for each:
// in large blocks when they lie close together, one by one otherwise.
template <typename Fn>
void readSorted(xb::Table& t, const std::vector<std::uint32_t>& recnos, Fn&& fn) {
    const std::size_t rl = t.recordLength();
    const std::uint32_t n = t.recCount();
    const std::uint32_t chunk =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, (1u << 20) / rl));
    std::vector<std::uint8_t> block;
    if (recnos.size() * 64 < n) {
        constexpr std::size_t kBatch = 4096;
        block.resize(kBatch * rl);
        for (std::size_t i = 0; i < recnos.size(); i += kBatch) {
            const std::size_t k = std::min(kBatch, recnos.size() - i);
            t.readScatteredAt(recnos.data() + i, k, block.data());
            for (std::size_t j = 0; j < k; ++j)
                fn(i + j, block.data() + j * rl);
        }
        return;
    }
    block.resize(std::size_t{chunk} * rl);
    std::uint32_t blockFirst = 0, blockCount = 0;
    for (std::size_t i = 0; i < recnos.size(); ++i) {
        const std::uint32_t r = recnos[i];
        if (blockCount == 0 || r >= blockFirst + blockCount) {
            blockFirst = r;
            blockCount = std::min(chunk, n - r + 1);
            t.readRecordsAt(blockFirst, blockCount, block.data());
        }
        fn(i, block.data() + std::size_t{r - blockFirst} * rl);
    }
}

// readSorted() on two threads, each with half of `recnos`; `fn` must be
// safe to call from both for different indexes.
template <typename Fn>
void readSortedInHalves(xb::Table& t, const std::vector<std::uint32_t>& recnos, Fn&& fn) {
    if (recnos.size() < 100000) {
        readSorted(t, recnos, fn);
        return;
    }
    const std::size_t mid = recnos.size() / 2;
    const std::vector<std::uint32_t> second(recnos.begin() + static_cast<std::ptrdiff_t>(mid),
                                            recnos.end());
    std::exception_ptr failure;
    std::thread helper([&] {
        try {
            readSorted(t, second,
                       [&](std::size_t i, const std::uint8_t* rec) { fn(mid + i, rec); });
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        const std::vector<std::uint32_t> first(recnos.begin(),
                                               recnos.begin() + static_cast<std::ptrdiff_t>(mid));
        readSorted(t, first, fn);
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    if (failure) std::rethrow_exception(failure);
}

// The records of both halves in one vector sorted by hash: one pass into
// 4096 buckets by the top bits, then each bucket on its own (small, in
// cache); two threads share the buckets. Empties the halves.
std::vector<Keyed> sortByHash(std::vector<Keyed> (&halves)[2]) {
    constexpr int kBits = 12;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    std::vector<std::size_t> start(kBuckets + 1, 0);
    for (const std::vector<Keyed>& h : halves)
        for (const Keyed& k : h)
            ++start[(k.hash >> (64 - kBits)) + 1];
    for (std::size_t b = 0; b < kBuckets; ++b)
        start[b + 1] += start[b];
    std::vector<Keyed> v(start[kBuckets]);
    {
        std::vector<std::size_t> at(start.begin(), start.end() - 1);
        for (std::vector<Keyed>& h : halves) {
            for (const Keyed& k : h)
                v[at[k.hash >> (64 - kBits)]++] = k;
            h = {};
        }
    }
    const auto less = [](const Keyed& a, const Keyed& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.recno < b.recno;
    };
    auto sortBuckets = [&](std::size_t from, std::size_t to) {
        for (std::size_t b = from; b < to; ++b)
            std::sort(v.begin() + static_cast<std::ptrdiff_t>(start[b]),
                      v.begin() + static_cast<std::ptrdiff_t>(start[b + 1]), less);
    };
    if (v.size() < 100000) {
        sortBuckets(0, kBuckets);
        return v;
    }
    std::thread helper(sortBuckets, kBuckets / 2, kBuckets);
    sortBuckets(0, kBuckets / 2);
    helper.join();
    return v;
}

// The whole path the reading kept in the record's memo DIRMEMO; empty when
// the record has none. A damaged memo gives none: the fields still name the
// file, and the catalogue check reports the memo.
QString keptPath(xb::Table& t, const std::uint8_t* rec, std::uint32_t recno) {
    return QString::fromStdString(
        tables::storedMemoText(t, t.fieldIndex(std::string(tables::kFullPathMemo)), rec, recno));
}

xb::Table& fileEngine(CatalogueSession& session) {
    xb::Table* t = session.table(CatalogueTable::Files).engine();
    if (!t) throw Error(ErrorCode::State, "Die Dateitabelle ist nicht geöffnet");
    return *t;
}

std::vector<std::array<char, 3>> extensionKeys(const QStringList& list) {
    std::vector<std::array<char, 3>> keys;
    for (const QString& e : list) {
        QString s = e.trimmed();
        if (s.startsWith(QLatin1Char('.'))) s.remove(0, 1);
        if (s.isEmpty()) continue;
        const std::string bytes = toCp1252(engineUpper(s));
        std::array<char, 3> k{' ', ' ', ' '};
        for (std::size_t i = 0; i < std::min<std::size_t>(3, bytes.size()); ++i)
            k[i] = bytes[i];
        keys.push_back(k);
    }
    return keys;
}

}  // namespace

// ---- entries ----------------------------------------------------------------------------

EntryDirectory::EntryDirectory(CatalogueSession& session, bool onlyQueryEntries) {
    xb::Table* t = session.table(CatalogueTable::Entries).engine();
    if (!t) throw Error(ErrorCode::State, "Die Tabelle der Einträge ist nicht geöffnet");
    const xb::FieldDesc& number = t->field(t->fieldIndex("eindeutig"));
    const xb::FieldDesc& title = t->field(t->fieldIndex("bezeich"));
    const xb::FieldDesc& box = t->field(t->fieldIndex("boxnummer"));
    const xb::FieldDesc& disk = t->field(t->fieldIndex("disknummer"));
    const bool subset = onlyQueryEntries && t->index().queryActive();
    m_bits.assign((static_cast<std::size_t>(kReleasedEntryNumber) >> 6) + 1, 0);
    t->scanRecords([&](std::uint32_t recno, const std::uint8_t* rec) {
        if (rec[0] == xb::kDeletedFlag) return;
        if (subset && !t->index().queryBit(recno)) return;
        EntryRef e;
        e.number = static_cast<int>(digitsOf(rec + number.offset, number.len));
        if (e.number <= 0 || e.number >= kReleasedEntryNumber) return;
        e.recno = recno;
        e.title = trimmedField(rec, title);
        e.box = static_cast<int>(digitsOf(rec + box.offset, box.len));
        e.disk = static_cast<int>(digitsOf(rec + disk.offset, disk.len));
        m_entries.push_back(std::move(e));
    });
    // Two entries with one number: the first in the table names them.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const EntryRef& a, const EntryRef& b) { return a.number < b.number; });
    m_entries.erase(
        std::unique(m_entries.begin(), m_entries.end(),
                    [](const EntryRef& a, const EntryRef& b) { return a.number == b.number; }),
        m_entries.end());
    for (const EntryRef& e : m_entries)
        m_bits[static_cast<std::size_t>(e.number) >> 6] |= std::uint64_t{1} << (e.number & 63);
}

const EntryRef* EntryDirectory::find(int number) const {
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), number,
                                     [](const EntryRef& e, int n) { return e.number < n; });
    return it != m_entries.end() && it->number == number ? &*it : nullptr;
}

bool EntryDirectory::counts(int number) const {
    if (number <= 0 || number >= kReleasedEntryNumber) return false;
    return (m_bits[static_cast<std::size_t>(number) >> 6] >> (number & 63)) & 1;
}

// ---- duplicates -------------------------------------------------------------------------

std::optional<DuplicateReport> findDuplicates(CatalogueSession& session,
                                              const DuplicateOptions& options,
                                              const ScanProgress& progress) {
    xb::Table& t = fileEngine(session);
    const EntryDirectory entries(session, options.onlyQueryEntries);
    const KeyMaker keys(t, options.rule);
    Admission admission{keys, entries, options.minSize, extensionKeys(options.extensions)};

    // First pass: the hash of every counted record.
    std::vector<Keyed> halves[2];
    halves[0].reserve(t.recCount() / 2 + 1);
    halves[1].reserve(t.recCount() / 2 + 1);
    const bool complete = scanInHalves(
        t, progress, 700, [&](int which, std::uint32_t recno, const std::uint8_t* rec) {
            const int owner = admission.admit(rec);
            if (owner == 0) return;
            char key[kMaxKey];
            const std::size_t n = keys.make(rec, key);
            halves[which].push_back({hashKey(key, n), recno, owner});
        });
    if (!complete) return std::nullopt;
    std::vector<Keyed> all = sortByHash(halves);
    DuplicateReport report;
    report.filesCounted = static_cast<std::int64_t>(all.size());
    if (progress && !progress(800)) return std::nullopt;

    // The records of runs of equal hashes, read again for their keys.
    std::vector<Keyed> candidates;
    for (std::size_t i = 0; i < all.size();) {
        std::size_t j = i + 1;
        while (j < all.size() && all[j].hash == all[i].hash)
            ++j;
        if (j - i > 1)
            candidates.insert(candidates.end(), all.begin() + static_cast<std::ptrdiff_t>(i),
                              all.begin() + static_cast<std::ptrdiff_t>(j));
        i = j;
    }
    all = {};
    // Read in record order; each candidate's facts land at its own index.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byRecord(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i)
        byRecord[i] = {candidates[i].recno, static_cast<std::uint32_t>(i)};
    std::sort(byRecord.begin(), byRecord.end());
    std::vector<std::uint32_t> recnos(byRecord.size());
    for (std::size_t i = 0; i < byRecord.size(); ++i)
        recnos[i] = byRecord[i].first;
    struct Fact {
        KeyBytes key;
        std::uint8_t len;
        std::int64_t size;
    };
    std::vector<Fact> facts(candidates.size());
    readSortedInHalves(t, recnos, [&](std::size_t i, const std::uint8_t* rec) {
        Fact& f = facts[byRecord[i].second];
        f.len = static_cast<std::uint8_t>(keys.make(rec, f.key.data()));
        f.size = keys.size(rec);
    });
    byRecord = {};
    recnos = {};
    if (progress && !progress(950)) return std::nullopt;

    // Each candidate with the index of its facts.
    struct Candidate {
        std::uint64_t hash;
        std::uint32_t recno;
        std::int32_t owner;
        std::uint32_t fact;
    };
    std::vector<Candidate> cands(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Keyed& k = candidates[i];
        cands[i] = {k.hash, k.recno, k.owner, static_cast<std::uint32_t>(i)};
    }
    candidates = {};
    const auto keyOf = [&](const Candidate& c) {
        const Fact& f = facts[c.fact];
        return std::string_view(f.key.data(), f.len);
    };

    // Each run split by exact key (a run almost always is one group).
    struct Pending {
        DuplicateGroup group;
        std::string_view key;
    };
    std::vector<Pending> groups;
    for (std::size_t i = 0; i < cands.size();) {
        std::size_t j = i + 1;
        while (j < cands.size() && cands[j].hash == cands[i].hash)
            ++j;
        auto run = cands.begin() + static_cast<std::ptrdiff_t>(i);
        auto end = cands.begin() + static_cast<std::ptrdiff_t>(j);
        const std::string_view first = keyOf(*run);
        if (!std::all_of(run + 1, end, [&](const Candidate& c) { return keyOf(c) == first; }))
            std::stable_sort(run, end, [&](const Candidate& a, const Candidate& b) {
                return keyOf(a) < keyOf(b);
            });
        for (auto g = run; g != end;) {
            auto h = g + 1;
            while (h != end && keyOf(*h) == keyOf(*g))
                ++h;
            if (h - g > 1) {
                std::sort(g, h, [](const Candidate& a, const Candidate& b) {
                    return a.owner != b.owner ? a.owner < b.owner : a.recno < b.recno;
                });
                Pending p;
                p.group.size = facts[g->fact].size;
                p.group.first = static_cast<std::uint32_t>(g - cands.begin());
                p.group.copies = static_cast<std::uint32_t>(h - g);
                p.key = keyOf(*g);
                groups.push_back(p);
            }
            g = h;
        }
        i = j;
    }
    std::sort(groups.begin(), groups.end(), [](const Pending& a, const Pending& b) {
        if (a.group.wasted() != b.group.wasted()) return a.group.wasted() > b.group.wasted();
        if (a.group.size != b.group.size) return a.group.size > b.group.size;
        return a.key < b.key;
    });
    report.groups.reserve(groups.size());
    for (const Pending& p : groups) {
        DuplicateGroup g = p.group;
        const std::uint32_t from = g.first;
        g.first = static_cast<std::uint32_t>(report.copies.size());
        for (std::uint32_t k = 0; k < g.copies; ++k)
            report.copies.push_back({cands[from + k].recno, cands[from + k].owner});
        report.copyCount += g.copies;
        report.wastedBytes += g.wasted();
        report.groups.push_back(g);
    }
    if (progress && !progress(1000)) return std::nullopt;
    return report;
}

// ---- comparison -------------------------------------------------------------------------

namespace {

// The records filed under entry `number`, in path order: from the file
// table's first tag (key "str(dirnumm,8)+dirpfad") through a cursor of its
// own, so the table stays where it is. Without that tag, by a scan in record
// order; `pathOrder` tells which.
std::vector<std::uint32_t> entryRecords(xb::Table& t, const KeyMaker& keys, int number,
                                        bool* pathOrder) {
    std::vector<std::uint32_t> recnos;
    xb::NsxTag* tag = t.index().hasIndex() ? t.index().indexFile()->findTag("dirnumm") : nullptr;
    *pathOrder = tag != nullptr;
    if (tag) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%8d", number);
        const std::string_view p(prefix, 8);
        xb::NsxCursor c(*tag);
        for (bool on = c.seek(p); on && c.key().substr(0, 8) == p; on = c.next())
            recnos.push_back(c.recno());
    } else {
        t.scanRecords([&](std::uint32_t recno, const std::uint8_t* rec) {
            if (keys.owner(rec) == number) recnos.push_back(recno);
        });
    }
    return recnos;
}

// A set of sizes with false positives: one bit per mixed size.
class SizeSieve {
  public:
    void add(std::int64_t size) {
        m_bits[slot(size) >> 6] |= std::uint64_t{1} << (slot(size) & 63);
    }
    bool mayHold(std::int64_t size) const {
        return (m_bits[slot(size) >> 6] >> (slot(size) & 63)) & 1;
    }

  private:
    static constexpr int kBits = 22;
    static std::uint64_t slot(std::int64_t size) {
        return (static_cast<std::uint64_t>(size) * 0x9E3779B97F4A7C15ull) >> (64 - kBits);
    }
    std::vector<std::uint64_t> m_bits = std::vector<std::uint64_t>((1u << kBits) / 64, 0);
};

}  // namespace

std::optional<CarrierComparison> compareCarrier(CatalogueSession& session, int number,
                                                DuplicateRule rule, const ScanProgress& progress) {
    xb::Table& t = fileEngine(session);
    const EntryDirectory entries(session);
    const EntryRef* self = entries.find(number);
    if (!self)
        throw Error(ErrorCode::NotFound,
                    "Kein Eintrag mit der Nummer " + std::to_string(number) + " vorhanden");
    CarrierComparison result;
    result.entry = *self;
    const KeyMaker keys(t, rule);
    const Admission admission{keys, entries, 0, {}};

    // The carrier's own files with their keys, grouped by key.
    struct Own {
        std::uint64_t hash;
        std::string key;
        std::int64_t size;
        std::uint32_t recno;
        std::uint32_t rank;  // place in the path order
        std::string path;    // the field's bytes, trimmed
        QString kept;        // the whole path from the memo, if kept
    };
    std::vector<Own> own;
    bool pathOrder = false;
    std::vector<std::uint32_t> ownRecnos = entryRecords(t, keys, number, &pathOrder);
    // Each record's place in the path order, read in record order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranked(ownRecnos.size());
    for (std::size_t i = 0; i < ownRecnos.size(); ++i)
        ranked[i] = {ownRecnos[i], static_cast<std::uint32_t>(i)};
    std::sort(ranked.begin(), ranked.end());
    for (std::size_t i = 0; i < ranked.size(); ++i)
        ownRecnos[i] = ranked[i].first;
    own.reserve(ownRecnos.size());
    const xb::FieldDesc& pathField = keys.pathField();
    readSorted(t, ownRecnos, [&](std::size_t i, const std::uint8_t* rec) {
        if (admission.admit(rec) != number) return;
        char key[kMaxKey];
        const std::size_t n = keys.make(rec, key);
        std::size_t len = pathField.len;
        const char* p = reinterpret_cast<const char*>(rec + pathField.offset);
        while (len > 0 && p[len - 1] == ' ')
            --len;
        own.push_back({hashKey(key, n), std::string(key, n), keys.size(rec), ownRecnos[i],
                       ranked[i].second, std::string(p, len), keptPath(t, rec, ownRecnos[i])});
    });
    // By hash, then key: equal keys lie together.
    std::vector<std::uint32_t> order(own.size());
    for (std::size_t i = 0; i < own.size(); ++i)
        order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (own[a].hash != own[b].hash) return own[a].hash < own[b].hash;
        const int c = own[a].key.compare(own[b].key);
        return c != 0 ? c < 0 : a < b;
    });
    struct OwnKey {
        std::string_view key;
        std::size_t first, count;  // in `order`
        std::int64_t size;
        bool elsewhere = false;
    };
    std::vector<OwnKey> ownKeys;
    SizeSieve sizes;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> hashes;  // (hash, own key)
    for (std::size_t i = 0; i < order.size();) {
        const Own& o = own[order[i]];
        std::size_t j = i + 1;
        while (j < order.size() && own[order[j]].hash == o.hash && own[order[j]].key == o.key)
            ++j;
        hashes.emplace_back(o.hash, static_cast<std::uint32_t>(ownKeys.size()));
        ownKeys.push_back({o.key, i, j - i, o.size});
        sizes.add(o.size);
        i = j;
    }
    std::sort(hashes.begin(), hashes.end());
    if (progress && !progress(50)) return std::nullopt;

    // One pass over all other files: most are passed over by their size
    // alone; the rest are keyed and compared with the carrier's keys.
    std::vector<std::pair<std::uint32_t, int>> found[2];  // (own key, entry)
    const bool complete =
        ownKeys.empty() ||
        scanInHalves(t, progress ? [&](int p) { return progress(50 + p); } : ScanProgress(), 900,
                     [&](int which, std::uint32_t, const std::uint8_t* rec) {
                         if (rec[0] == xb::kDeletedFlag) return;
                         const int owner = keys.owner(rec);
                         if (owner == number || !entries.counts(owner)) return;
                         if (!sizes.mayHold(keys.size(rec))) return;
                         char key[kMaxKey];
                         const std::size_t n = keys.make(rec, key);
                         const std::uint64_t h = hashKey(key, n);
                         auto it = std::lower_bound(hashes.begin(), hashes.end(),
                                                    std::pair<std::uint64_t, std::uint32_t>{h, 0});
                         for (; it != hashes.end() && it->first == h; ++it)
                             if (ownKeys[it->second].key == std::string_view(key, n))
                                 found[which].emplace_back(it->second, owner);
                     });
    if (!complete) return std::nullopt;
    std::vector<std::pair<std::uint32_t, int>> pairs = std::move(found[0]);
    pairs.insert(pairs.end(), found[1].begin(), found[1].end());
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    for (const auto& p : pairs)
        ownKeys[p.first].elsewhere = true;
    std::sort(pairs.begin(), pairs.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    for (std::size_t i = 0; i < pairs.size();) {
        SharedWith s;
        s.entry = *entries.find(pairs[i].second);
        std::size_t j = i;
        for (; j < pairs.size() && pairs[j].second == pairs[i].second; ++j) {
            const OwnKey& o = ownKeys[pairs[j].first];
            s.files += static_cast<std::int64_t>(o.count);
            s.bytes += static_cast<std::int64_t>(o.count) * o.size;
        }
        result.sharedWith.push_back(std::move(s));
        i = j;
    }
    std::sort(result.sharedWith.begin(), result.sharedWith.end(),
              [](const SharedWith& a, const SharedWith& b) {
                  if (a.files != b.files) return a.files > b.files;
                  if (a.bytes != b.bytes) return a.bytes > b.bytes;
                  return a.entry.number < b.entry.number;
              });

    std::vector<std::uint32_t> only;
    for (const OwnKey& o : ownKeys) {
        result.files += static_cast<std::int64_t>(o.count);
        result.bytes += static_cast<std::int64_t>(o.count) * o.size;
        if (o.elsewhere) {
            result.elsewhere += static_cast<std::int64_t>(o.count);
            continue;
        }
        for (std::size_t k = 0; k < o.count; ++k) {
            only.push_back(order[o.first + k]);
            result.onlyBytes += o.size;
        }
    }
    // In path order (the stored bytes), then by record.
    std::sort(only.begin(), only.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (pathOrder) return own[a].rank < own[b].rank;
        const int c = own[a].path.compare(own[b].path);
        return c != 0 ? c < 0 : own[a].recno < own[b].recno;
    });
    result.onlyHere.reserve(only.size());
    for (std::uint32_t i : only)
        result.onlyHere.push_back({own[i].recno,
                                   own[i].kept.isEmpty() ? fromCp1252(own[i].path) : own[i].kept,
                                   own[i].size});
    if (progress && !progress(1000)) return std::nullopt;
    return result;
}

QString CarrierComparison::verdict() const {
    const std::int64_t only = static_cast<std::int64_t>(onlyHere.size());
    if (files == 0) return QStringLiteral("Der Datenträger enthält keine Dateien.");
    if (only == 0) {
        if (files == 1)
            return QStringLiteral("Die Datei ist auch auf einem anderen Datenträger vorhanden.");
        return QStringLiteral("Alle %1 Dateien sind auch auf anderen Datenträgern vorhanden.")
            .arg(groupedNumber(files));
    }
    if (only == 1) return QStringLiteral("1 Datei (%1) gibt es nur hier.").arg(byteText(onlyBytes));
    return QStringLiteral("%1 Dateien (%2) gibt es nur hier.")
        .arg(groupedNumber(only), byteText(onlyBytes));
}

// ---- single records and texts -----------------------------------------------------------

FileFacts readFileFacts(CatalogueSession& session, std::uint32_t recno) {
    xb::Table& t = fileEngine(session);
    std::vector<std::uint8_t> rec(t.recordLength());
    t.readScatteredAt(&recno, 1, rec.data());
    const auto f = [&](const char* name) -> const xb::FieldDesc& {
        return t.field(t.fieldIndex(name));
    };
    FileFacts facts;
    facts.path = trimmedField(rec.data(), f("dirpfad"));
    facts.name = trimmedField(rec.data(), f("dirname"));
    facts.extension = trimmedField(rec.data(), f("direndung"));
    const xb::FieldDesc& size = f("dirsize");
    facts.size = digitsOf(rec.data() + size.offset, size.len);
    const QString ymd = trimmedField(rec.data(), f("dirdate"));
    if (ymd.size() == 8)
        facts.date =
            ymd.mid(6, 2) + QLatin1Char('.') + ymd.mid(4, 2) + QLatin1Char('.') + ymd.left(4);
    facts.time = trimmedField(rec.data(), f("dirtime"));
    facts.fullPath = keptPath(t, rec.data(), recno);
    return facts;
}

QString FileFacts::shownName() const {
    if (!fullPath.isEmpty()) {
        // The kept path has the form of DIRPFAD: directory, one blank, name.
        const qsizetype cut = std::max(fullPath.lastIndexOf(QLatin1String("/ ")),
                                       fullPath.lastIndexOf(QLatin1String("\\ ")));
        return cut < 0 ? fullPath : fullPath.mid(cut + 2);
    }
    // The name as read holds its extension (the field's may be cut from a
    // longer one, the name's cut short); a name stored without any gets it
    // back.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (extension.isEmpty() || dot >= 0) return name;
    return name + QLatin1Char('.') + extension;
}

std::vector<QString> readPaths(CatalogueSession& session,
                               const std::vector<std::uint32_t>& ascending) {
    xb::Table& t = fileEngine(session);
    const xb::FieldDesc& path = t.field(t.fieldIndex("dirpfad"));
    std::vector<QString> paths(ascending.size());
    readSorted(t, ascending, [&](std::size_t i, const std::uint8_t* rec) {
        paths[i] = keptPath(t, rec, ascending[i]);
        if (paths[i].isEmpty()) paths[i] = trimmedField(rec, path);
    });
    return paths;
}

QString groupedNumber(std::int64_t n) {
    QString digits = QString::number(n < 0 ? -n : n);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char('.'));
    return n < 0 ? QLatin1Char('-') + digits : digits;
}

QString byteText(std::int64_t bytes) {
    if (bytes < 1024) return QStringLiteral("%1 Bytes").arg(bytes);
    static const char* units[] = {"KB", "MB", "GB", "TB"};
    double v = static_cast<double>(bytes) / 1024.0;
    int u = 0;
    while (v >= 1024.0 && u < 3) {
        v /= 1024.0;
        ++u;
    }
    return QString::number(v, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(',')) +
           QLatin1Char(' ') + QLatin1String(units[u]);
}

}  // namespace qv
