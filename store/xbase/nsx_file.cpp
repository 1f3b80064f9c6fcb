#include "store/xbase/nsx_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "store/xbase/count_store.h"
#include "store/xbase/error.h"
#include "store/xbase/limits.h"
#include "store/xbase/nsx_tag.h"

namespace xb {

using namespace nsx;

namespace {

std::string upperAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && upperAscii(a) == upperAscii(b);
}

// A NUL-terminated text of at most `cap` bytes.
std::string readText(const std::uint8_t* p, std::size_t cap) {
    std::size_t n = 0;
    while (n < cap && p[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

// The subtree counts of index files closed in this process, with what
// their files looked like at close. Counting a large tag's subtrees reads
// every page of it once; a table closed and opened again (another opening
// mode for a while, a window that opens the file for itself) would pay that
// again on its first position deep in the order. An opening takes the
// counts over only when the file is provably untouched since: the same
// content stamp (inode, size, change times) and the same root page.
// The counts of a large file are also saved to disk (count_store.h) for the
// next process; `saved` says the saved ones equal these.
struct KeptCounts {
    CountSnapshot snapshot;
    bool saved = false;
};
constexpr std::size_t kKeptFiles = 8;

std::mutex& keptMutex() {
    static std::mutex m;
    return m;
}
std::unordered_map<std::string, KeptCounts>& keptCounts() {
    static std::unordered_map<std::string, KeptCounts> kept;
    return kept;
}

}  // namespace

NsxFile::NsxFile(std::unique_ptr<RandomFile> file, bool readOnly, Env& env)
    : path_(file->path()),
      env_(&env),
      readOnly_(readOnly),
      cache_(std::make_unique<PageCache>(std::move(file))) {
    std::memset(root_, 0, sizeof root_);
}

NsxFile::~NsxFile() {
    try {
        close();
    } catch (...) {
    }
}

std::unique_ptr<NsxFile> NsxFile::open(const std::string& path, Mode mode, Env& env) {
    const bool ro = mode == Mode::ReadOnly;
    std::unique_ptr<NsxFile> f(new NsxFile(
        env.open(path, ro ? FileAccess::ReadUnlocked : FileAccess::WriteUnlocked), ro, env));
    if (!ro) f->cache_->useMappedWrites();
    f->readRoot();
    f->loadTags();
    // The kept counts first: they move in whole, and the noted ones (the
    // same, for an unchanged file) go into them.
    f->takeKeptCounts();
    f->applyNoteCounts();
    return f;
}

void NsxFile::takeKeptCounts() {
    KeptCounts k;
    bool found = false;
    {
        const std::lock_guard<std::mutex> lock(keptMutex());
        auto it = keptCounts().find(path_);
        if (it != keptCounts().end()) {
            k = std::move(it->second);
            keptCounts().erase(it);
            found = true;
        }
    }
    if (interrupted_) return;
    const std::size_t pages = fileEnd_ / kPageSize;
    if (!found) {
        // Another process left them, or this one before it closed the file
        // for a while.
        if (!worthACountFile(pages) || !loadCounts(*env_, path_, k.snapshot)) return;
        k.saved = true;
    }
    CountSnapshot& s = k.snapshot;
    if (s.stamp.empty() || s.stamp != cache_->file().contentStamp() || s.root.size() != kPageSize ||
        std::memcmp(s.root.data(), root_, kPageSize) != 0)
        return;
    // Only counts of pages inside the file.
    if (s.counts.size() > pages) s.counts.resize(pages);
    counts_ = std::move(s.counts);
    countsTaken_ = std::move(s.stamp);
    countsSaved_ = k.saved;
    countsChanged_ = false;
}

void NsxFile::forgetKeptCounts() {
    const std::lock_guard<std::mutex> lock(keptMutex());
    keptCounts().clear();
}

void NsxFile::keepCounts() {
    KeptCounts k;
    if (!damaged_ && !interrupted_ && !counts_.empty()) {
        k.snapshot.stamp = cache_->file().contentStamp();
        k.snapshot.root.assign(root_, root_ + kPageSize);
        // The file is closing: its counts move, a copy of megabytes of them
        // would cost the close milliseconds.
        k.snapshot.counts = std::move(counts_);
        counts_.clear();
        const std::size_t pages = fileEnd_ / kPageSize;
        if (k.snapshot.counts.size() > pages) k.snapshot.counts.resize(pages);
        k.saved = countsSaved_ && !countsChanged_ && k.snapshot.stamp == countsTaken_;
        if (!k.saved && !k.snapshot.stamp.empty() && worthACountFile(fileEnd_ / kPageSize))
            k.saved = saveCounts(*env_, path_, k.snapshot);
    }
    const std::lock_guard<std::mutex> lock(keptMutex());
    auto& kept = keptCounts();
    kept.erase(path_);
    if (k.snapshot.stamp.empty()) return;
    if (kept.size() >= kKeptFiles) kept.erase(kept.begin());
    kept.emplace(path_, std::move(k));
}

std::unique_ptr<NsxFile> NsxFile::create(const std::string& path, Env& env) {
    std::unique_ptr<NsxFile> f(new NsxFile(env.create(path), false, env));
    f->cache_->useMappedWrites();
    f->root_[kRootSig] = kSignature;
    putU32LE(f->root_ + kRootFreeHead, kNoPage);
    putU32LE(f->root_ + kRootFileSize, kPageSize);
    f->fileEnd_ = kPageSize;
    f->cache_->writeRaw(0, f->root_, kPageSize);
    return f;
}

void NsxFile::corrupt(const std::string& what, std::int64_t page) const {
    throw fileDamaged("Die Indexdatei", path_, what, -1, page);
}

void NsxFile::requireWritable() const {
    if (readOnly_ || closed_) {
        throw openedReadOnly("Die Indexdatei", path_);
    }
}

void NsxFile::readRoot() {
    const std::uint64_t size = cache_->fileSize();
    if (size < kPageSize) corrupt("die Datei ist kürzer als eine Seite", 0);
    cache_->readRaw(0, root_, kPageSize);
    if (root_[kRootSig] != kSignature) {
        corrupt(root_[kRootSig] == 0x49 ? "das Großdateiformat wird nicht unterstützt"
                                        : "falsche Kennung im Dateikopf",
                0);
    }
    if (root_[kRootFlags] != 0) corrupt("unbekannte Kennzeichen im Dateikopf", 0);
    if (getU16LE(root_ + kRootTagCount) > kMaxTags) corrupt("unmögliche Anzahl von Tags", 0);
    interrupted_ = std::memcmp(root_ + kMarkerOffset, kDirtyMarker, 8) == 0;
    markerOnDisk_ = interrupted_;
    const std::uint64_t pages = size / kPageSize * kPageSize;
    fileEnd_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(pages, 0xFFFFFC00u));
}

void NsxFile::loadTags() {
    const int n = getU16LE(root_ + kRootTagCount);
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* e = root_ + kRootTagTable + i * kTagEntrySize;
        const std::string where = "Eintrag " + std::to_string(i + 1) + " der Tag-Tabelle";
        if (e[0] <= 0x20) corrupt(where + " hat keinen Namen", 0);
        if (std::memchr(e, 0, 12) == nullptr) corrupt(where + " hat einen zu langen Namen", 0);
        const std::string name = readText(e, 12);
        const std::uint32_t addr = getU32LE(e + 12);
        if (addr == 0) corrupt("Tag " + name + " hat keine Kopfseite", 0);
        if (!validAddress(addr))
            corrupt("Tag " + name + " verweist auf die ungültige Seite " + std::to_string(addr), 0);
        tags_.push_back(readTag(name, addr));
    }
}

std::unique_ptr<NsxTag> NsxFile::readTag(const std::string& name, std::uint32_t headerAddr) {
    std::unique_ptr<NsxTag> t(new NsxTag(*this, headerAddr));
    const std::uint8_t* h = page(headerAddr)->data;
    const std::string where = "Kopfseite " + std::to_string(headerAddr) + " (Tag " + name + ")";
    if (h[kTagSig] != kSignature) corrupt(where + " hat eine falsche Kennung", headerAddr);
    if (h[kTagFlags] & ~kKnownTagFlags) corrupt(where + " hat unbekannte Kennzeichen", headerAddr);
    const std::uint16_t type = getU16LE(h + kTagKeyType);
    const int keyLen = getU16LE(h + kTagKeyLen);
    const int uniq = getU16LE(h + kTagUnique);
    const int desc = getU16LE(h + kTagDescend);
    if (!isKnownKeyType(type)) corrupt(where + " hat einen unbekannten Schlüsseltyp", headerAddr);
    if (keyLen < 1 || keyLen > kMaxKeyLen)
        corrupt(where + " hat eine unmögliche Schlüssellänge", headerAddr);
    if (uniq > 1 || desc > 1) corrupt(where + " hat ungültige Kennzeichen", headerAddr);
    if (h[kTagKeyExpr] < 0x20) corrupt(where + " hat keinen Schlüsselausdruck", headerAddr);
    const std::uint32_t root = getU32LE(h + kTagRoot);
    // An interrupted file is only read for its tag definitions and built
    // anew: a root that did not reach the file (a full disk) is no damage.
    if ((root == 0 || !validAddress(root)) && !interrupted_)
        corrupt(where + " verweist auf die ungültige Wurzelseite " + std::to_string(root),
                headerAddr);
    t->name_ = upperAscii(name);
    t->flags_ = h[kTagFlags];
    t->root_ = root;
    t->keyType_ = type == static_cast<std::uint16_t>(KeyType::NumericAlt)
                      ? static_cast<std::uint16_t>(KeyType::Numeric)
                      : type;
    t->fmt_ = KeyFormat{keyLen, trailFor(type)};
    t->unique_ = uniq == 1;
    t->descending_ = desc == 1;
    t->keyExpr_ = readText(h + kTagKeyExpr, 256);
    t->forExpr_ = h[kTagForExpr] < 0x20 ? std::string() : readText(h + kTagForExpr, 256);
    return t;
}

bool NsxFile::validAddress(std::uint32_t addr) const {
    return addr != 0 && addr % kPageSize == 0 && addr <= fileEnd_ - kPageSize;
}

Page* NsxFile::page(std::uint32_t addr) {
    if (!validAddress(addr)) corrupt("Verweis auf die ungültige Seite " + std::to_string(addr));
    return cache_->get(addr);
}

std::uint32_t NsxFile::allocAddress() {
    requireWritable();
    const std::uint32_t head = getU32LE(root_ + kRootFreeHead);
    if (head != kNoPage && head != 0) {
        if (!validAddress(head))
            corrupt(
                "die Liste freier Seiten verweist auf die ungültige Seite " + std::to_string(head),
                0);
        const Page* p = cache_->get(head);
        if (p->data[0] != kTypeFree)
            corrupt("die Liste freier Seiten enthält die belegte Seite " + std::to_string(head),
                    head);
        putU32LE(root_ + kRootFreeHead, getU32LE(p->data + kFreeNext));
        rootDirty_ = true;
        forgetCount(head);
        return head;
    }
    std::uint32_t end = getU32LE(root_ + kRootFileSize);
    end = std::max(end, fileEnd_);
    end = (end + kPageSize - 1) / kPageSize * kPageSize;
    if (std::uint64_t{end} + kPageSize > fileLimits().indexBytes) {
        markDamaged();  // a change stopped half-way
        throwLimit("Die Indexdatei", path_,
                   "sie darf höchstens " + sizeText(fileLimits().indexBytes) + " groß werden");
    }
    putU32LE(root_ + kRootFileSize, end + kPageSize);
    fileEnd_ = end + kPageSize;
    rootDirty_ = true;
    forgetCount(end);
    return end;
}

Page* NsxFile::allocPage() {
    const std::uint32_t addr = allocAddress();
    return cache_->create(addr);
}

void NsxFile::freePage(std::uint32_t addr) {
    requireWritable();
    Page* p = cache_->create(addr);
    p->data[0] = kTypeFree;
    putU32LE(p->data + kFreeNext, getU32LE(root_ + kRootFreeHead));
    putU32LE(root_ + kRootFreeHead, addr);
    rootDirty_ = true;
    forgetCount(addr);
}

bool NsxFile::roomFor(std::uint64_t pages) const {
    const std::uint64_t end = std::max<std::uint64_t>(getU32LE(root_ + kRootFileSize), fileEnd_);
    return end + pages * kPageSize <= fileLimits().indexBytes;
}

void NsxFile::setCount(std::uint32_t addr, std::uint32_t n) {
    const std::size_t i = addr / kPageSize;
    if (i >= counts_.size()) counts_.resize(std::max(i + 1, counts_.size() * 2), kUnknownCount);
    if (counts_[i] != n) countsChanged_ = true;
    counts_[i] = n;
}

std::uint64_t NsxFile::entryCap() const {
    return static_cast<std::uint64_t>(fileEnd_ / kPageSize) * 340u;
}

void NsxFile::writeRoot(bool withMarker) {
    putU16LE(root_ + kRootVersion, static_cast<std::uint16_t>(getU16LE(root_ + kRootVersion) + 1));
    if (withMarker) {
        std::memcpy(root_ + kMarkerOffset, kDirtyMarker, 8);
    } else {
        std::memset(root_ + kMarkerOffset, 0, 8);
    }
    cache_->writeRaw(0, root_, kPageSize);
}

void NsxFile::beginDirectWrite() {
    requireWritable();
    wrote_ = true;
    forgetFlaggedNote();
    if (!markerOnDisk_) {
        writeRoot(true);
        markerOnDisk_ = true;
    }
}

void NsxFile::flushInternal() {
    if (readOnly_ || closed_) return;
    if (!cache_->hasDirty() && !rootDirty_) return;
    beginDirectWrite();
    try {
        cache_->writeDirty();
        if (rootDirty_) {
            writeRoot(true);
            rootDirty_ = false;
        }
    } catch (...) {
        // Pages that did not reach the file are not written again: the
        // marker stays, and the next open builds the index anew.
        markDamaged();
        throw;
    }
}

// The note: "QVFL", u32 record count, u8 number of tags k, k u32 entry counts
// (tag-table order, 0xFFFFFFFF unknown), u16 byte length of the runs
// (0xFFFF: the flagged records are not noted), the runs as pairs of unsigned
// LEB128 numbers (gap after the previous run's end, run length - 1), then a
// u32 checksum of everything before it.
namespace {

constexpr char kNoteMagic[4] = {'Q', 'V', 'F', 'L'};

std::uint32_t noteChecksum(const std::uint8_t* p, std::size_t n) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

void putVarint(std::vector<std::uint8_t>& out, std::uint32_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(v | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(v));
}

bool getVarint(const std::uint8_t*& p, const std::uint8_t* end, std::uint32_t& v) {
    v = 0;
    for (int shift = 0; shift < 35 && p < end; shift += 7) {
        const std::uint8_t b = *p++;
        v |= static_cast<std::uint32_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) return true;
    }
    return false;
}

}  // namespace

// Where the parts of a valid note are; false for no note or a damaged one.
bool NsxFile::parseNote(NoteParts& parts) const {
    if (interrupted_) return false;
    const std::uint8_t* n = root_ + kNoteOffset;
    constexpr std::size_t room = kNoteEnd - kNoteOffset;
    if (std::memcmp(n, kNoteMagic, 4) != 0) return false;
    parts.recordCount = getU32LE(n + 4);
    parts.tags = n[8];
    std::size_t at = 9 + std::size_t{parts.tags} * 4;
    if (at + 2 + 4 > room) return false;
    parts.counts = n + 9;
    parts.runsLen = getU16LE(n + at);
    at += 2;
    parts.runs = n + at;
    const std::size_t len = parts.runsLen == kNoRuns ? 0 : parts.runsLen;
    if (at + len + 4 > room) return false;
    return getU32LE(n + at + len) == noteChecksum(n, at + len);
}

void NsxFile::applyNoteCounts() {
    NoteParts parts;
    if (!parseNote(parts) || parts.tags != tags_.size()) return;
    // What the file notes is no news to a count file.
    const bool changed = countsChanged_;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const std::uint32_t c = getU32LE(parts.counts + 4 * i);
        if (c != kUnknownCount && c < entryCap()) setCount(tags_[i]->rootAddr(), c);
    }
    countsChanged_ = changed;
}

bool NsxFile::flaggedNote(std::uint32_t recordCount, std::vector<std::uint32_t>& recnos) const {
    recnos.clear();
    NoteParts parts;
    if (!parseNote(parts) || parts.recordCount != recordCount || parts.runsLen == kNoRuns)
        return false;
    const std::uint8_t* p = parts.runs;
    const std::uint8_t* end = p + parts.runsLen;
    std::uint64_t next = 1;  // first record number the next run may start at
    while (p < end) {
        std::uint32_t gap, run;
        if (!getVarint(p, end, gap) || !getVarint(p, end, run)) {
            recnos.clear();
            return false;
        }
        const std::uint64_t first = next + gap;
        const std::uint64_t last = first + run;
        if (last > recordCount) {
            recnos.clear();
            return false;
        }
        for (std::uint64_t r = first; r <= last; ++r)
            recnos.push_back(static_cast<std::uint32_t>(r));
        next = last + 1;
    }
    return true;
}

bool NsxFile::setTableNote(std::uint32_t recordCount, const std::vector<std::uint32_t>* flagged) {
    if (readOnly_ || closed_ || damaged_) return false;
    constexpr std::size_t room = kNoteEnd - kNoteOffset;
    std::uint8_t note[room] = {};
    const std::size_t tags = tags_.size();
    const std::size_t head = 9 + tags * 4;
    if (head + 2 + 4 > room) return false;
    std::memcpy(note, kNoteMagic, 4);
    putU32LE(note + 4, recordCount);
    note[8] = static_cast<std::uint8_t>(tags);
    bool anything = false;
    for (std::size_t i = 0; i < tags; ++i) {
        const std::uint32_t c = knownCount(tags_[i]->rootAddr());
        anything = anything || c != kUnknownCount;
        putU32LE(note + 9 + 4 * i, c);
    }
    std::vector<std::uint8_t> runs;
    bool fits = flagged != nullptr;
    std::uint64_t next = 1;
    for (std::size_t i = 0; fits && i < flagged->size();) {
        const std::vector<std::uint32_t>& r = *flagged;
        std::size_t j = i + 1;
        while (j < r.size() && r[j] == r[j - 1] + 1)
            ++j;
        if (r[i] < next || r[j - 1] > recordCount) {  // not ascending
            fits = false;
            break;
        }
        putVarint(runs, static_cast<std::uint32_t>(r[i] - next));
        putVarint(runs, static_cast<std::uint32_t>(j - i - 1));
        next = std::uint64_t{r[j - 1]} + 1;
        fits = head + 2 + runs.size() + 4 <= room;
        i = j;
    }
    if (!fits) runs.clear();
    anything = anything || fits;
    putU16LE(note + head, fits ? static_cast<std::uint16_t>(runs.size()) : kNoRuns);
    if (!runs.empty()) std::memcpy(note + head + 2, runs.data(), runs.size());
    putU32LE(note + head + 2 + runs.size(), noteChecksum(note, head + 2 + runs.size()));
    if (!anything) std::memset(note, 0, sizeof note);
    if (std::memcmp(root_ + kNoteOffset, note, sizeof note) != 0) {
        std::memcpy(root_ + kNoteOffset, note, sizeof note);
        noteChanged_ = true;
    }
    return fits;
}

void NsxFile::forgetFlaggedNote() {
    std::uint8_t* n = root_ + kNoteOffset;
    if (std::memcmp(n, kNoteMagic, 4) == 0) {
        std::memset(n, 0, kNoteEnd - kNoteOffset);
        noteChanged_ = true;
    }
}

void NsxFile::flush() {
    flushInternal();
}

void NsxFile::sync() {
    flushInternal();
    if (!readOnly_ && !closed_) cache_->sync();
}

void NsxFile::close() {
    if (closed_) return;
    if (!readOnly_) {
        flushInternal();
        if (damaged_) beginDirectWrite();  // the next open must see it
        if (markerOnDisk_ && wrote_ && !damaged_) {
            // Everything else must be on disk before the marker goes.
            cache_->sync();
            writeRoot(false);
            markerOnDisk_ = false;
        } else if (noteChanged_ && !markerOnDisk_) {
            writeRoot(false);
        }
    }
    try {
        keepCounts();
    } catch (...) {  // only an optimisation: the next opening counts again
    }
    closed_ = true;
    tags_.clear();
    cache_.reset();
}

NsxTag* NsxFile::findTag(std::string_view name) {
    const int i = tagIndex(name);
    return i < 0 ? nullptr : tags_[static_cast<std::size_t>(i)].get();
}

int NsxFile::tagIndex(std::string_view name) const {
    for (std::size_t i = 0; i < tags_.size(); ++i)
        if (equalNoCase(tags_[i]->name(), name)) return static_cast<int>(i);
    return -1;
}

std::vector<NsxTagDef> NsxFile::tagDefs() const {
    std::vector<NsxTagDef> r;
    for (const auto& t : tags_)
        r.push_back(t->definition());
    return r;
}

std::uint16_t NsxFile::version() const {
    return getU16LE(root_ + kRootVersion);
}
std::uint32_t NsxFile::fileSizeField() const {
    return getU32LE(root_ + kRootFileSize);
}
std::uint32_t NsxFile::freeHead() const {
    return getU32LE(root_ + kRootFreeHead);
}

void NsxFile::validateDef(const NsxTagDef& s) const {
    auto bad = [&](const std::string& why) {
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Der Tag " + s.name + " kann in der Indexdatei " + path_ +
                            " nicht angelegt werden: " + why,
                        path_);
    };
    if (s.name.empty() || s.name.size() > static_cast<std::size_t>(kMaxTagNameLen))
        bad("der Name muss 1 bis 11 Zeichen lang sein");
    if (static_cast<unsigned char>(s.name[0]) <= 0x20)
        bad("der Name beginnt mit einem Leerzeichen");
    for (char c : s.name)
        if (c == 0) bad("der Name enthält ein Nullzeichen");
    if (s.keyExpr.empty() || static_cast<unsigned char>(s.keyExpr[0]) < 0x20 ||
        s.keyExpr.size() > static_cast<std::size_t>(kMaxExprLen))
        bad("der Schlüsselausdruck muss 1 bis 255 Zeichen lang sein");
    if (s.forExpr.size() > static_cast<std::size_t>(kMaxExprLen))
        bad("die Bedingung ist länger als 255 Zeichen");
    if (!s.forExpr.empty() && static_cast<unsigned char>(s.forExpr[0]) < 0x20)
        bad("die Bedingung beginnt mit einem Steuerzeichen");
    if (s.keyLen < 1 || s.keyLen > kMaxKeyLen) bad("die Schlüssellänge muss 1 bis 250 sein");
    if ((s.keyType == NsxKeyType::Numeric || s.keyType == NsxKeyType::Date) && s.keyLen != 8)
        bad("numerische und Datumsschlüssel sind 8 Bytes lang");
    if (s.keyType == NsxKeyType::Logical && s.keyLen != 1)
        bad("logische Schlüssel sind 1 Byte lang");
}

NsxTag& NsxFile::addTag(const NsxTagDef& def) {
    requireWritable();
    validateDef(def);
    const int existing = tagIndex(def.name);
    if (existing < 0 && tagCount() >= kMaxTags) {
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Die Indexdatei " + path_ + " enthält bereits 50 Tags", path_);
    }
    ChangeGuard guard(*this);  // a refused definition changes nothing
    std::uint32_t header;
    if (existing >= 0) {
        NsxTag& old = *tags_[static_cast<std::size_t>(existing)];
        header = old.headerAddr();
        freeTree(old.rootAddr(), old.keyLen());
        old.bumpMods();
    } else {
        header = allocPage()->addr;
    }
    Page* rootPage = allocPage();
    putLeafHeader(rootPage->data, kTypeRootLeaf, 2, 0, kLeafHeader);
    setCount(rootPage->addr, 0);

    Page* h = cache_->create(header);
    h->data[kTagSig] = kSignature;
    putU32LE(h->data + kTagRoot, rootPage->addr);
    putU16LE(h->data + kTagKeyType, static_cast<std::uint16_t>(def.keyType));
    putU16LE(h->data + kTagKeyLen, static_cast<std::uint16_t>(def.keyLen));
    putU16LE(h->data + kTagUnique, def.unique ? 1 : 0);
    putU16LE(h->data + kTagDescend, def.descending ? 1 : 0);
    std::memcpy(h->data + kTagKeyExpr, def.keyExpr.data(), def.keyExpr.size());
    std::memcpy(h->data + kTagForExpr, def.forExpr.data(), def.forExpr.size());

    std::string name = upperAscii(def.name);
    std::unique_ptr<NsxTag> t = readTag(name, header);
    NsxTag* result = t.get();
    if (existing >= 0) {
        // Cursors of the old object are gone with it; the new one starts
        // from a later modification count so that nothing is mistaken.
        t->mods_ = tags_[static_cast<std::size_t>(existing)]->mods_ + 1;
        tags_[static_cast<std::size_t>(existing)] = std::move(t);
    } else {
        tags_.push_back(std::move(t));
    }
    writeTagTable();
    return *result;
}

void NsxFile::removeTag(std::string_view name) {
    requireWritable();
    const int i = tagIndex(name);
    if (i < 0) {
        throw qv::Error(qv::ErrorCode::NotFound,
                        "Die Indexdatei " + path_ + " enthält keinen Tag " + std::string(name),
                        path_);
    }
    ChangeGuard guard(*this);
    NsxTag& t = *tags_[static_cast<std::size_t>(i)];
    freeTree(t.rootAddr(), t.keyLen());
    freePage(t.headerAddr());
    tags_.erase(tags_.begin() + i);
    writeTagTable();
}

void NsxFile::writeTagTable() {
    std::memset(root_ + kRootTagTable, 0, kMaxTags * kTagEntrySize);
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        std::uint8_t* e = root_ + kRootTagTable + i * kTagEntrySize;
        const std::string& n = tags_[i]->name();
        std::memcpy(e, n.data(), std::min<std::size_t>(n.size(), kMaxTagNameLen));
        putU32LE(e + 12, tags_[i]->headerAddr());
    }
    putU16LE(root_ + kRootTagCount, static_cast<std::uint16_t>(tags_.size()));
    rootDirty_ = true;
}

void NsxFile::freeTree(std::uint32_t root, int keyLen) {
    // Best effort on damaged trees: pages that do not look like tree pages
    // are left alone (they may belong to something else).
    std::vector<std::pair<std::uint32_t, int>> todo{{root, 0}};
    std::unordered_set<std::uint32_t> seen;
    std::vector<std::uint32_t> pages;
    while (!todo.empty()) {
        auto [addr, depth] = todo.back();
        todo.pop_back();
        if (depth > kMaxDepth || !validAddress(addr) || !seen.insert(addr).second) continue;
        const Page* p;
        try {
            p = cache_->get(addr);
        } catch (const qv::Error&) {
            continue;
        }
        const std::uint8_t t = p->data[0];
        if (isBranchType(t)) {
            const int n = getU16LE(p->data + 2);
            if (n > maxBranchKeys(keyLen)) continue;
            const BranchView bv{p->data, keyLen};
            for (int c = 0; c <= n; ++c)
                todo.push_back({bv.child(c), depth + 1});
        } else if (!isLeafType(t)) {
            continue;
        }
        pages.push_back(addr);
    }
    for (std::uint32_t a : pages)
        freePage(a);
}

void NsxFile::clear() {
    requireWritable();
    beginDirectWrite();
    tags_.clear();
    cache_->discardAll();
    counts_.clear();
    countsChanged_ = true;
    std::memset(root_ + kRootTagTable, 0, kMaxTags * kTagEntrySize);
    putU16LE(root_ + kRootTagCount, 0);
    putU32LE(root_ + kRootFreeHead, kNoPage);
    putU32LE(root_ + kRootFileSize, kPageSize);
    cache_->truncate(kPageSize);
    fileEnd_ = kPageSize;
    rootDirty_ = true;
    // Nothing torn is left: the trees built from here on are whole.
    damaged_ = false;
}

}  // namespace xb
