// The index side of the engine table: attaching the production index,
// keeping its tags up to date, tag orders, seek, scope, counts and
// positions, building tags, query subset and filter.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/limits.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/progress.h"
#include "store/xbase/query.h"
#include "store/xbase/settings.h"
#include "store/xbase/table_index.h"
#include "store/xbase/tag_order.h"

namespace xb {

namespace {

NsxKeyType keyTypeOf(ExprType t) {
    switch (t) {
        case ExprType::Character:
            return NsxKeyType::Character;
        case ExprType::Numeric:
            return NsxKeyType::Numeric;
        case ExprType::Date:
            return NsxKeyType::Date;
        case ExprType::Logical:
            break;
    }
    return NsxKeyType::Logical;
}

// Pages of the production index kept in memory: enough for the three tags
// of a file table of a million records.
constexpr std::size_t kIndexCacheBudget = 64u << 20;

bool isFlagged(const std::uint8_t* rec) {
    return rec[0] == '*';
}

// Copies file `from` to `to` (created or emptied) and syncs the copy.
void copyFile(Env& env, const std::string& from, const std::string& to) {
    std::unique_ptr<RandomFile> in = env.open(from, FileAccess::ReadShared);
    std::unique_ptr<RandomFile> out = env.create(to);
    const std::uint64_t size = in->size();
    std::vector<std::uint8_t> buf(std::min<std::uint64_t>(size, 4u << 20));
    for (std::uint64_t off = 0; off < size;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), size - off));
        in->readExact(off, buf.data(), n, "der Inhalt");
        out->writeAt(off, buf.data(), n);
        off += n;
    }
    out->sync();
}

}  // namespace

// ---- the table's hooks ------------------------------------------------------------------

TableIndex::TableIndex(Table& table, Env& env) : table_(table), env_(&env) {}

TableIndex::~TableIndex() = default;

void TableIndex::requireOpen() const {
    table_.requireOpen();
}

void TableIndex::requireWritable() const {
    table_.requireWritable();
}

void TableIndex::sync() {
    if (nsx_ && !readOnly()) nsx_->sync();
}

void TableIndex::requireRoomForCommit() {
    if (!indexed()) return;
    // An insert splits at most one page per level and adds a root.
    std::uint64_t pages = 0;
    for (auto& rt : tags_)
        pages += static_cast<std::uint64_t>(rt->tag->depth()) + 1;
    if (!nsx_->roomFor(pages))
        throwLimit("Die Indexdatei", nsx_->path(),
                   "sie darf höchstens " + sizeText(fileLimits().indexBytes) + " groß werden");
}

void TableIndex::beforeRecordWrite() {
    // The crash marker is on disk before the first record of a session
    // changes, so that a kill between the record and its keys is noticed by
    // the next open.
    if (indexed()) nsx_->beginDirectWrite();
}

void TableIndex::recordsLost() {
    if (nsx_ && !readOnly()) nsx_->markDamaged();
}

void TableIndex::recordCommitted(std::uint32_t recno, const std::uint8_t* oldRecord,
                                 const std::uint8_t* newRecord) {
    if (indexed()) {
        maintainIndex(recno, oldRecord, newRecord);
    } else if (flaggedKnown_) {
        const bool was = oldRecord && isFlagged(oldRecord);
        if (was != isFlagged(newRecord)) {
            if (was)
                flagged_->set.erase(recno);
            else
                flagged_->set.insert(recno);
        }
    }
}

void TableIndex::orderReplaced() {
    tagOrder_ = nullptr;
    orderPos_ = 0;
    invalidateView();
}

void TableIndex::invalidateView() {
    ++viewGen_;
    table_.edge_ = Table::Edge::None;
}

void TableIndex::checkOrderRecord(std::uint32_t recno) const {
    if (!tagOrder_) return;
    throw fileDamaged("Die Indexdatei", nsx_->path(),
                      "der Tag " + tagName(orderPos_) + " verweist auf den fehlenden Datensatz " +
                          std::to_string(recno),
                      recno);
}

void TableIndex::beforeFilesReplaced() {
    // From here on the index no longer matches the files on disk until it
    // is rebuilt: its crash marker tells the next open to rebuild it.
    if (nsx_) {
        nsx_->beginDirectWrite();
        nsx_->sync();
    }
}

void TableIndex::dropQuery() {
    queryActive_ = false;
    queryBits_.clear();
}

void TableIndex::afterPack(int progressFrom) {
    if (indexed())
        rebuildAllTags(progressFrom, 100);
    else
        reportProgress(100);
    // A packed table has no flagged records.
    flagged_ = std::make_unique<RankedRecnos>();
    for (auto& rt : tags_)
        rt->flagged.clear();
    flaggedKnown_ = true;
    if (nsx_) nsx_->sync();
}

// ---- attaching ------------------------------------------------------------------------

std::string TableIndex::indexPath() const {
    namespace fs = std::filesystem;
    const fs::path p(path());
    const std::string ext = p.extension().string();
    const bool upper =
        std::any_of(ext.begin(), ext.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    fs::path preferred = p;
    preferred.replace_extension(upper ? ".NSX" : ".nsx");
    fs::path other = p;
    other.replace_extension(upper ? ".nsx" : ".NSX");
    if (!env_->exists(preferred.string()) && env_->exists(other.string())) return other.string();
    return preferred.string();
}

void TableIndex::attachIndex() {
    const std::string ip = indexPath();
    if (!readOnly()) env_->remove(ip + ".rebuild");  // a rebuild that was cut short
    if (!env_->exists(ip)) return;
    nsx_ =
        NsxFile::open(ip, readOnly() ? NsxFile::Mode::ReadOnly : NsxFile::Mode::ReadWrite, *env_);
    nsx_->setCacheBudget(kIndexCacheBudget);
    if (nsx_->wasInterrupted()) {
        if (readOnly())
            throw qv::Error(qv::ErrorCode::Corrupt,
                            "Die Indexdatei " + ip + " wurde nicht ordnungsgemäß geschlossen", ip);
        rebuildAllTags(0, 100);
        return;
    }
    compileTags();
}

void TableIndex::compileTags() {
    installOrder(0);
    tags_.clear();
    flaggedKnown_ = false;
    if (!nsx_) return;
    for (int i = 0; i < nsx_->tagCount(); ++i) {
        NsxTag& tag = nsx_->tag(i);
        auto rt = std::make_unique<TagRuntime>();
        rt->tag = &tag;
        rt->keyLen = tag.keyLen();
        rt->numeric =
            tag.keyType() != NsxKeyType::Character && tag.keyType() != NsxKeyType::Logical;
        try {
            rt->key = Expr::compile(tag.keyExpr(), fields());
            if (!tag.forExpr().empty()) rt->cond = Expr::compileCondition(tag.forExpr(), fields());
        } catch (const qv::Error& e) {
            throw fileDamaged("Die Indexdatei", nsx_->path(),
                              "der Tag " + tag.name() + " ist nicht auswertbar (" + e.text() + ")");
        }
        if (keyTypeOf(rt->key.type()) != tag.keyType())
            throw fileDamaged(
                "Die Indexdatei", nsx_->path(),
                "der Schlüssel des Tags " + tag.name() + " hat nicht den Typ seines Ausdrucks");
        tags_.push_back(std::move(rt));
    }
}

void TableIndex::dropIndexState() {
    noteFlagged();
    if (tagOrder_) table_.setOrder(std::unique_ptr<RecordOrder>());
    tags_.clear();
    flaggedKnown_ = false;
    flagged_.reset();
    view_.reset();
    std::unique_ptr<NsxFile> nsx = std::move(nsx_);
    if (nsx) nsx->close();
}

// ---- tags -----------------------------------------------------------------------------

int TableIndex::tagCount() const {
    return static_cast<int>(tags_.size());
}

std::string TableIndex::tagName(int position) const {
    if (position < 1 || position > tagCount()) throw noTagNumber(path(), position);
    return tags_[static_cast<std::size_t>(position - 1)]->tag->name();
}

int TableIndex::tagPosition(std::string_view name) const {
    if (!nsx_) return 0;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const std::string& n = tags_[i]->tag->name();
        if (n.size() == name.size() &&
            std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) ==
                       std::toupper(static_cast<unsigned char>(b));
            }))
            return static_cast<int>(i) + 1;
    }
    return 0;
}

ExprType TableIndex::orderKeyType() const {
    if (!tagOrder_) return ExprType::Character;
    switch (tagOrder_->tag().keyType()) {
        case NsxKeyType::Numeric:
            return ExprType::Numeric;
        case NsxKeyType::Date:
            return ExprType::Date;
        case NsxKeyType::Logical:
            return ExprType::Logical;
        case NsxKeyType::Character:
            break;
    }
    return ExprType::Character;
}

std::string TableIndex::numberKey(double value) {
    std::uint8_t k[kNumKeyLen];
    encodeNumKey(value, k);
    return std::string(reinterpret_cast<const char*>(k), kNumKeyLen);
}

std::vector<std::string> TableIndex::indexFaults() {
    requireOpen();
    if (!nsx_) return {};
    commitRecord();
    nsx_->flush();
    std::vector<std::string> out;
    for (std::string& f : nsx_->verify(recCount()))
        out.push_back("Die Indexdatei " + nsx_->path() + " ist beschädigt: " + f);
    return out;
}

void TableIndex::setOrder(int position) {
    requireOpen();
    if (position < 0 || position > tagCount()) throw noTagNumber(path(), position);
    commitRecord();
    installOrder(position);
}

void TableIndex::installOrder(int position) {
    if (position == 0) {
        table_.setOrder(std::unique_ptr<RecordOrder>());
        return;
    }
    auto o = std::make_unique<TagOrder>(*tags_[static_cast<std::size_t>(position - 1)]);
    TagOrder* raw = o.get();
    table_.setOrder(std::unique_ptr<RecordOrder>(std::move(o)));
    tagOrder_ = raw;
    orderPos_ = position;
}

TagOrder& TableIndex::requireTagOrder(const char* what) const {
    requireOpen();
    if (!tagOrder_)
        throw qv::Error(
            qv::ErrorCode::State,
            std::string(what) + " braucht einen Tag als Reihenfolge (Tabelle " + path() + ")",
            path());
    return *tagOrder_;
}

// ---- keeping the tags up to date --------------------------------------------------------

void TableIndex::maintainIndex(std::uint32_t recno, const std::uint8_t* oldRec,
                               const std::uint8_t* newRec) {
    const bool track = flaggedKnown_;
    const bool oldFlag = oldRec && isFlagged(oldRec);
    const bool newFlag = isFlagged(newRec);
    if (track) {
        if (oldFlag && !newFlag) flagged_->set.erase(recno);
        if (newFlag) flagged_->set.insert(recno);
    }
    NsxFile::ChangeGuard guard(*nsx_);
    for (auto& p : tags_) {
        TagRuntime& rt = *p;
        const RecordRef nr{newRec, recno};
        const bool newIn = rt.member(nr);
        rt.keyOf(nr, rt.newKey);
        bool oldIn = false;
        if (oldRec) {
            const RecordRef orr{oldRec, recno};
            oldIn = rt.member(orr);
            rt.keyOf(orr, rt.oldKey);
        }
        const bool sameKey = oldRec && rt.oldKey == rt.newKey;
        bool removeOld = false, addNew = false;
        if (!oldRec) {
            addNew = newIn;
        } else if (sameKey) {
            removeOld = oldIn && !newIn;
            addNew = newIn && !oldIn;
        } else {
            removeOld = oldIn;
            addNew = newIn;
        }
        if (track && oldFlag && oldIn) rt.flagged.erase({rt.oldKey, recno});
        if (removeOld && !rt.tag->remove(rt.oldKey, recno) && !rt.tag->unique()) {
            nsx_->markDamaged();
            throw qv::Error(qv::ErrorCode::Corrupt,
                            "Die Indexdatei " + nsx_->path() + " passt nicht zur Tabelle " +
                                path() + ": Datensatz " + std::to_string(recno) + " fehlt im Tag " +
                                rt.tag->name(),
                            nsx_->path(), recno);
        }
        bool inTag = newIn;
        if (addNew) {
            const bool added = rt.tag->insert(rt.newKey, recno);
            if (!added && rt.tag->unique()) inTag = false;
        } else if (newIn && rt.tag->unique() && track && newFlag) {
            inTag = rt.tag->contains(rt.newKey, recno);
        }
        if (track && newFlag && inTag) rt.flagged.insert({rt.newKey, recno});
    }
    if (!batch_ || ++batchedCommits_ >= Table::kBatchCommits) {
        batchedCommits_ = 0;
        nsx_->flush();
    }
}

void TableIndex::beginBatch() {
    batch_ = true;
    batchedCommits_ = 0;
    if (nsx_) {
        cacheBudget_ = nsx_->cacheBudget();
        nsx_->setCacheBudget(std::min(cacheBudget_, Table::kBatchCacheBudget));
    }
}

void TableIndex::endBatch() {
    batch_ = false;
    batchedCommits_ = 0;
    if (!nsx_) return;
    if (!readOnly()) nsx_->flush();
    if (cacheBudget_ > 0) nsx_->setCacheBudget(cacheBudget_);
    cacheBudget_ = 0;
}

// ---- building ---------------------------------------------------------------------------

void TableIndex::indexTag(std::string_view name, std::string_view keyExpr, std::string_view forExpr,
                          bool unique, bool descending) {
    requireWritable();
    commitRecord();
    Expr key = Expr::compile(keyExpr, fields());
    const std::size_t keyLen = key.keyLength();
    if (keyLen == 0)
        throw qv::Error(
            qv::ErrorCode::InvalidArgument,
            "Der Schlüsselausdruck \"" + std::string(keyExpr) +
                "\" ergibt auf dem leeren Datensatz eine leere Zeichenkette; darauf kann "
                "kein Tag gebildet werden",
            path());
    Expr cond;
    if (!forExpr.empty()) cond = Expr::compileCondition(forExpr, fields());
    NsxTagDef def;
    def.name = std::string(name);
    for (char& c : def.name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    def.keyExpr = dottedOperators(keyExpr);
    def.forExpr = dottedOperators(forExpr);
    def.keyType = keyTypeOf(key.type());
    def.keyLen = static_cast<int>(keyLen);
    def.unique = unique;
    def.descending = descending;
    // The tag is built in a copy of the index beside it, which then replaces
    // the index: until the rename the old index stays as it was, so a kill
    // at any point leaves either the old index or the new one, complete.
    // The tags' runtimes die with the old file object; the order goes first.
    installOrder(0);
    tags_.clear();
    const std::string finalPath = nsx_ ? nsx_->path() : indexPath();
    const std::string tmpPath = finalPath + ".rebuild";
    NsxKeyBatch batch(static_cast<int>(keyLen), def.keyType == NsxKeyType::Character ? ' ' : 0);
    batch.reserve(recCount());
    std::string k(keyLen, ' ');
    {
        ProgressSlice progress(0, 50, recCount());
        scanRecords([&](std::uint32_t recno, const std::uint8_t* rec) {
            const RecordRef r{rec, recno};
            if (cond.empty() || cond.evalBool(r)) {
                key.evalKey(r, reinterpret_cast<std::uint8_t*>(k.data()), keyLen);
                batch.add(k, recno);
            }
            progress.at(recno);
        });
    }
    bool tornBefore = false;
    try {
        std::unique_ptr<NsxFile> copy;
        if (nsx_) {
            std::unique_ptr<NsxFile> old = std::move(nsx_);
            old->close();
            old.reset();
            copyFile(*env_, finalPath, tmpPath);
            copy = NsxFile::open(tmpPath, NsxFile::Mode::ReadWrite, *env_);
            // Trees torn by an earlier failure stay marked, so that the
            // rebuild below (or the next open) repairs them.
            tornBefore = copy->wasInterrupted();
            if (tornBefore) copy->markDamaged();
        } else {
            copy = NsxFile::create(tmpPath, *env_);
        }
        copy->setCacheBudget(kIndexCacheBudget);
        copy->buildTag(def, batch, recCount(), NsxProgress{reportProgress, 50, 100});
        copy->setTableNote(recCount(), nullptr);  // the entry counts the build knows
        copy->close();
        copy.reset();
        env_->rename(tmpPath, finalPath);
    } catch (...) {
        try {
            env_->remove(tmpPath);
        } catch (...) {
        }
        try {
            if (!nsx_ && env_->exists(finalPath)) {
                nsx_ = NsxFile::open(finalPath, NsxFile::Mode::ReadWrite, *env_);
                nsx_->setCacheBudget(kIndexCacheBudget);
            }
            compileTags();
        } catch (...) {
        }
        throw;
    }
    if ((header().flags & 0x01) == 0) setProductionIndex(true);
    nsx_ = NsxFile::open(finalPath, NsxFile::Mode::ReadWrite, *env_);
    nsx_->setCacheBudget(kIndexCacheBudget);
    if (tornBefore)
        rebuildAllTags(100, 100);
    else
        compileTags();
    installOrder(tagPosition(def.name));
    goTop();
}

void TableIndex::reindex() {
    requireWritable();
    commitRecord();
    if (!nsx_) return;
    const int pos = orderPos_;
    rebuildAllTags(0, 100);
    installOrder(pos <= tagCount() ? pos : 0);
    goTop();
}

void TableIndex::rebuildAllTags(int progressFrom, int progressTo) {
    std::vector<NsxTagDef> defs = nsx_->tagDefs();
    installOrder(0);
    tags_.clear();
    flaggedKnown_ = false;
    std::vector<NsxBulkBuild::Tag> tags;
    for (const NsxTagDef& d : defs) {
        const std::string keyExpr = dottedOperators(d.keyExpr);
        const std::string forExpr = dottedOperators(d.forExpr);
        // Each thread of the build evaluates its own compiled copies.
        const FieldList& fieldList = fields();
        const auto compile = [keyExpr, forExpr, &fieldList] {
            auto e = std::make_shared<std::pair<Expr, Expr>>();
            e->first = Expr::compile(keyExpr, fieldList);
            if (!forExpr.empty()) e->second = Expr::compileCondition(forExpr, fieldList);
            return e;
        };
        try {
            compile();
        } catch (const qv::Error& err) {
            throw fileDamaged("Die Indexdatei", nsx_->path(),
                              "der Tag " + d.name + " ist nicht auswertbar (" + err.text() + ")");
        }
        const std::size_t keyLen = static_cast<std::size_t>(d.keyLen);
        tags.push_back({d, [compile, keyLen] {
                            auto e = compile();
                            return NsxBulkBuild::KeyFn([e, keyLen](const std::uint8_t* rec,
                                                                   std::uint32_t recno,
                                                                   std::uint8_t* key) {
                                const RecordRef r{rec, recno};
                                if (!e->second.empty() && !e->second.evalBool(r)) return false;
                                e->first.evalKey(r, key, keyLen);
                                return true;
                            });
                        }});
    }
    NsxBulkBuild build(std::move(tags), recCount());
    const int mid = progressFrom + (progressTo - progressFrom) / 2;
    // One pass over the records, a block at a time.
    {
        const std::uint32_t n = recCount();
        const std::size_t rl = recordLength();
        const std::uint32_t chunk =
            static_cast<std::uint32_t>(std::max<std::size_t>(1, (4u << 20) / rl));
        std::vector<std::uint8_t> block(
            std::size_t{std::min(chunk, std::max<std::uint32_t>(n, 1))} * rl);
        ProgressSlice progress(progressFrom, mid, n);
        for (std::uint32_t first = 1; first <= n;) {
            const std::uint32_t k = std::min(chunk, n - first + 1);
            readRecordsAt(first, k, block.data());
            build.addRecords(block.data(), rl, first, k);
            first += k;
            progress.at(first - 1);
        }
    }
    // The new trees go into a file beside the index, which then replaces it:
    // until the rename the old index (with its crash marker when this session
    // changed it) stays readable, so a kill at any point leaves an index whose
    // tag definitions the next open can rebuild from.
    const std::string finalPath = nsx_->path();
    const std::string tmpPath = finalPath + ".rebuild";
    try {
        std::unique_ptr<NsxFile> fresh = NsxFile::create(tmpPath, *env_);
        build.writeTo(*fresh, recCount(), NsxProgress{reportProgress, mid, progressTo});
        fresh->setTableNote(recCount(), nullptr);  // the entry counts the build knows
        fresh->close();
    } catch (...) {
        try {
            env_->remove(tmpPath);
        } catch (...) {
        }
        throw;
    }
    env_->rename(tmpPath, finalPath);
#ifdef __GLIBC__
    // The key arrays were large; give their memory back to the system.
    ::malloc_trim(0);
#endif
    // The old file object now refers to the replaced file; drop it unseen.
    if (nsx_) nsx_->abandon();
    nsx_.reset();
    nsx_ = NsxFile::open(finalPath, NsxFile::Mode::ReadWrite, *env_);
    nsx_->setCacheBudget(kIndexCacheBudget);
    compileTags();
}

// ---- seek and scope ---------------------------------------------------------------------

bool TableIndex::seekBytes(std::string_view value) {
    TagOrder& to = requireTagOrder("Das Suchen");
    commitRecord();
    found_ = false;
    if (value.size() > static_cast<std::size_t>(to.runtime().keyLen))
        value = value.substr(0, static_cast<std::size_t>(to.runtime().keyLen));
    const std::uint32_t r = to.seek(value);
    if (r != 0 && table_.seekVisibleForward(r)) {
        found_ = comparePrefix(to.key(), value) == 0;
        if (!found_ && !settings().softSeek) table_.standOnPhantom(false);
    } else {
        table_.standOnPhantom(false);
    }
    return found_;
}

bool TableIndex::seek(std::string_view keyBytes) {
    return seekBytes(keyBytes);
}

bool TableIndex::seekNumber(double value) {
    TagOrder& to = requireTagOrder("Das Suchen");
    if (!to.runtime().numeric)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Der Tag " + to.tag().name() + " hat keine numerischen Schlüssel", path());
    std::uint8_t k[kNumKeyLen];
    encodeNumKey(value, k);
    return seekBytes({reinterpret_cast<const char*>(k), kNumKeyLen});
}

bool TableIndex::seekDate(std::int32_t julianDay) {
    return seekNumber(static_cast<double>(julianDay));
}

void TableIndex::setScope(std::optional<std::string> top, std::optional<std::string> bottom) {
    TagOrder& to = requireTagOrder("Ein Bereich");
    if (!top && !bottom) {
        clearScope();
        return;
    }
    commitRecord();
    to.setScope(std::move(top), std::move(bottom));
    invalidateView();
    goTop();
}

void TableIndex::clearScope() {
    if (!tagOrder_) return;
    tagOrder_->setScope(std::nullopt, std::nullopt);
    invalidateView();
}

bool TableIndex::hasScope() const {
    return tagOrder_ && tagOrder_->hasScope();
}

// ---- counts and positions ---------------------------------------------------------------

void TableIndex::ensureFlagged() {
    if (flaggedKnown_) return;
    flagged_ = std::make_unique<RankedRecnos>();
    for (auto& rt : tags_)
        rt->flagged.clear();
    const auto take = [&](std::uint32_t recno, const std::uint8_t* rec) {
        if (!isFlagged(rec)) return;
        flagged_->set.insert(recno);
        const RecordRef r{rec, recno};
        for (auto& p : tags_) {
            TagRuntime& rt = *p;
            if (!rt.member(r)) continue;
            rt.keyOf(r, rt.newKey);
            if (rt.tag->unique() && !rt.tag->contains(rt.newKey, recno)) continue;
            rt.flagged.insert({rt.newKey, recno});
        }
    };
    // The index's note names the flagged records as they were when the
    // index was last closed; only those records need reading.
    std::vector<std::uint32_t> noted;
    if (nsx_ && nsx_->flaggedNote(recCount(), noted)) {
        std::vector<std::uint8_t> rec(recordLength());
        for (std::uint32_t recno : noted) {
            table_.dbf_->readRecord(recno, rec.data());
            take(recno, rec.data());
        }
    } else {
        scanRecords(take);
    }
    flaggedKnown_ = true;
}

void TableIndex::noteFlagged() {
    if (!nsx_ || readOnly()) return;
    std::vector<std::uint32_t> recnos;
    if (flaggedKnown_) {
        recnos.reserve(flagged_->set.size());
        for (std::uint32_t r : flagged_->set)
            recnos.push_back(r);
    } else if (nsx_->flaggedNote(recCount(), recnos)) {
        // The note this session found still stands, so no record changed
        // (the first change of a session drops it): its flagged records are
        // still the table's. Keeping them spares the next session a scan of
        // the whole table (a session that only looked, such as the start-up
        // check, used to leave them out).
        nsx_->setTableNote(recCount(), &recnos);
        return;
    }
    nsx_->setTableNote(recCount(), flaggedKnown_ ? &recnos : nullptr);
}

ViewList& TableIndex::viewList() {
    const bool del = settings().deleted;
    const bool exact = settings().exact;
    if (view_ && view_->gen == viewGen_ && view_->deleted == del && view_->exact == exact &&
        view_->posOf.size() == std::size_t{recCount()} + 1)
        return *view_;
    if (!view_) view_ = std::make_unique<ViewList>();
    ViewList& v = *view_;
    v.gen = viewGen_;
    v.deleted = del;
    v.exact = exact;
    v.recs.clear();
    v.posOf.assign(std::size_t{recCount()} + 1, 0);
    const auto passes = [&](std::uint32_t recno, const std::uint8_t* rec) {
        if (del && isFlagged(rec)) return false;
        if (queryActive_ && !queryBit(recno)) return false;
        return filter_.empty() || filter_.evalBool({rec, recno});
    };
    const auto take = [&](std::uint32_t recno) {
        v.recs.push_back(recno);
        v.posOf[recno] = static_cast<std::uint32_t>(v.recs.size());
    };
    if (!tagOrder_) {
        scanRecords([&](std::uint32_t recno, const std::uint8_t* rec) {
            if (passes(recno, rec)) take(recno);
        });
        return v;
    }
    TagOrder walk(tagOrder_->runtime());
    walk.setScope(tagOrder_->top(), tagOrder_->bottom());
    std::vector<std::uint8_t> rec(recordLength());
    for (std::uint32_t r = walk.first(); r != 0; r = walk.next()) {
        if (queryActive_ && !queryBit(r)) continue;
        table_.dbf_->readRecord(r, rec.data());
        if (passes(r, rec.data())) take(r);
    }
    return v;
}

std::uint64_t TableIndex::count() {
    requireOpen();
    if (!simpleCounts()) return viewList().recs.size();
    const bool del = settings().deleted;
    if (del) ensureFlagged();
    if (!tagOrder_) return recCount() - (del ? flagged_->set.size() : 0);
    TagOrder& to = *tagOrder_;
    const std::uint64_t n = to.rangeHi() - to.rangeLo();
    return n - (del ? to.flaggedInScope() : 0);
}

std::uint64_t TableIndex::orderRecNo() {
    requireOpen();
    const Table& t = table_;
    const std::uint32_t recno = t.recno_;
    if (t.eof_ || t.appending_ || recno < 1 || recno > recCount()) return 0;
    if (t.edge_ != Table::Edge::None && !t.hot_) {
        const bool del = settings().deleted;
        if (t.edge_ == (del ? Table::Edge::TopDeletedOn : Table::Edge::TopDeletedOff)) return 1;
        if (t.edge_ == (del ? Table::Edge::BottomDeletedOn : Table::Edge::BottomDeletedOff))
            return count();
    }
    if (!simpleCounts()) {
        ViewList& v = viewList();
        return v.posOf[recno];
    }
    const bool del = settings().deleted;
    if (del && isFlagged(t.cold_.data())) return 0;
    if (del) ensureFlagged();
    if (!tagOrder_) return recno - (del ? flagged_->set.order_of_key(recno) : 0);
    TagOrder& to = *tagOrder_;
    std::pair<std::string, std::uint32_t> e;
    std::uint64_t pos = 0;
    if (to.standsOn(recno)) {
        // The usual case: the order stands on the current record's entry.
        pos = to.currentPosition();
        if (pos != 0 && del && to.runtime().flagged.size() != 0) e.first.assign(to.key());
    } else {
        TagRuntime& rt = to.runtime();
        const RecordRef r{t.cold_.data(), recno};
        if (!rt.member(r)) return 0;
        rt.keyOf(r, e.first);
        pos = to.positionOf(e.first, recno);
    }
    if (pos == 0 || !del || to.runtime().flagged.size() == 0) return pos;
    e.second = recno;
    return pos - to.flaggedInScope(&e);
}

std::uint32_t TableIndex::naturalAtPosition(std::uint64_t pos) {
    const std::uint32_t n = recCount();
    if (pos < 1 || pos > n) return 0;
    if (!settings().deleted) return static_cast<std::uint32_t>(pos);
    ensureFlagged();
    const auto& f = flagged_->set;
    if (pos > n - f.size()) return 0;
    // The smallest r with r - (flagged <= r) >= pos.
    std::uint64_t lo = pos, hi = n;
    while (lo < hi) {
        const std::uint64_t m = lo + (hi - lo) / 2;
        const std::uint64_t vis = m - f.order_of_key(static_cast<std::uint32_t>(m + 1));
        if (vis >= pos)
            hi = m;
        else
            lo = m + 1;
    }
    return static_cast<std::uint32_t>(lo);
}

std::uint32_t TableIndex::tagAtPosition(std::uint64_t pos, bool move) {
    if (move) return standAtPosition(*tagOrder_, pos);
    TagOrder temp(tagOrder_->runtime());
    temp.setScope(tagOrder_->top(), tagOrder_->bottom());
    return standAtPosition(temp, pos);
}

std::uint32_t TableIndex::standAtPosition(TagOrder& to, std::uint64_t pos) {
    if (!settings().deleted) return to.gotoPosition(pos);
    ensureFlagged();
    const EntrySet& f = to.runtime().flagged;
    if (to.flaggedInScope() == 0) return to.gotoPosition(pos);
    // Step over the flagged entries before the wanted position.
    std::uint64_t g = pos;
    for (;;) {
        const std::uint32_t r = to.gotoPosition(g);
        if (r == 0) return 0;
        std::pair<std::string, std::uint32_t> e{std::string(to.key()), r};
        const bool flagged = f.find(e) != f.end();
        const std::uint64_t vis = g - to.flaggedInScope(&e) - (flagged ? 1 : 0);
        if (vis == pos && !flagged) return r;
        g += vis < pos ? pos - vis : 1;
    }
}

void TableIndex::recnosAtOrderPositions(std::uint64_t first, std::uint32_t* out, std::size_t n) {
    requireOpen();
    if (n == 0) return;
    if (!simpleCounts() || !tagOrder_) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = recnoAtOrderPosition(first + i);
        return;
    }
    // One descent to the first position, then steps along the leaves: the
    // rows of a grid block cost one search of the tree, not one each.
    TagOrder to(tagOrder_->runtime());
    to.setScope(tagOrder_->top(), tagOrder_->bottom());
    std::uint32_t r = standAtPosition(to, first);
    const EntrySet* flagged = nullptr;
    if (settings().deleted && to.flaggedInScope() > 0) flagged = &to.runtime().flagged;
    out[0] = r;
    for (std::size_t i = 1; i < n; ++i) {
        while (r != 0) {
            r = to.next();
            if (r == 0 || !flagged ||
                flagged->find(std::pair<std::string, std::uint32_t>{std::string(to.key()), r}) ==
                    flagged->end())
                break;
        }
        out[i] = r;
    }
}

bool TableIndex::gotoOrderPosition(std::uint64_t pos) {
    requireOpen();
    commitRecord();
    std::uint32_t r = 0;
    if (!simpleCounts()) {
        ViewList& v = viewList();
        if (pos >= 1 && pos <= v.recs.size()) r = v.recs[pos - 1];
        if (r != 0) {
            table_.load(r);
            table_.order_->position(r, table_.buf_.data());
        }
    } else if (!tagOrder_) {
        r = naturalAtPosition(pos);
        if (r != 0) {
            table_.load(r);
            table_.order_->position(r, table_.buf_.data());
        }
    } else {
        r = tagAtPosition(pos, true);
        if (r != 0) table_.load(r);
    }
    if (r == 0) {
        table_.standOnPhantom(false);
        return false;
    }
    table_.bof_ = table_.eof_ = false;
    return true;
}

std::uint32_t TableIndex::recnoAtOrderPosition(std::uint64_t pos) {
    requireOpen();
    if (!simpleCounts()) {
        ViewList& v = viewList();
        return pos >= 1 && pos <= v.recs.size() ? v.recs[pos - 1] : 0;
    }
    if (!tagOrder_) return naturalAtPosition(pos);
    return tagAtPosition(pos, false);
}

// ---- query and filter -------------------------------------------------------------------

QuerySource TableIndex::plannerSource() {
    QuerySource src;
    src.fields = &fields();
    src.recCount = recCount();
    src.index = nsx_.get();
    src.readRecords = [this](std::uint32_t first, std::uint32_t n, std::uint8_t* dst) {
        readRecordsAt(first, n, dst);
    };
    return src;
}

int TableIndex::queryTest(std::string_view expr) {
    requireOpen();
    commitRecord();
    return xb::queryTest(plannerSource(), expr);
}

void TableIndex::query(std::string_view expr) {
    requireOpen();
    commitRecord();
    if (expr.empty()) {
        queryActive_ = false;
        queryBits_.clear();
        invalidateView();
        goTop();
        return;
    }
    const RecordSet hits = runQuery(plannerSource(), expr);
    std::vector<std::uint64_t> bits((std::size_t{recCount()} + 64) / 64, 0);
    hits.forEach(
        [&](std::uint32_t recno) { bits[recno / 64] |= std::uint64_t{1} << (recno % 64); });
    queryBits_ = std::move(bits);
    queryActive_ = true;
    invalidateView();
    goTop();
}

bool TableIndex::queryBit(std::uint32_t recno) const {
    if (!queryActive_) return true;
    const std::size_t w = recno / 64;
    return w < queryBits_.size() && (queryBits_[w] >> (recno % 64) & 1) != 0;
}

void TableIndex::setQueryBit(std::uint32_t recno, bool on) {
    requireOpen();
    if (!queryActive_)
        throw qv::Error(qv::ErrorCode::State, "Auf der Tabelle " + path() + " liegt keine Abfrage",
                        path());
    if (recno < 1 || recno > recCount()) throw noSuchRecord(path(), recno);
    const std::size_t w = recno / 64;
    if (w >= queryBits_.size()) queryBits_.resize(w + 1, 0);
    const std::uint64_t bit = std::uint64_t{1} << (recno % 64);
    queryBits_[w] = on ? queryBits_[w] | bit : queryBits_[w] & ~bit;
    invalidateView();
}

void TableIndex::setFilter(std::string_view expr) {
    requireOpen();
    filter_ = expr.empty() ? Expr() : Expr::compileCondition(expr, fields());
    invalidateView();
}

// ---- the table's members of the index side ------------------------------------------

NsxFile* Table::indexFile() {
    return index_->indexFile();
}
bool Table::hasIndex() const {
    return index_->hasIndex();
}
std::vector<std::string> Table::indexFaults() {
    return index_->indexFaults();
}
std::string Table::indexPath() const {
    return index_->indexPath();
}
int Table::tagCount() const {
    return index_->tagCount();
}
std::string Table::tagName(int position) const {
    return index_->tagName(position);
}
int Table::tagPosition(std::string_view name) const {
    return index_->tagPosition(name);
}
void Table::setOrder(int position) {
    index_->setOrder(position);
}
int Table::order() const {
    return index_->order();
}
ExprType Table::orderKeyType() const {
    return index_->orderKeyType();
}
std::string Table::numberKey(double value) {
    return TableIndex::numberKey(value);
}
void Table::indexTag(std::string_view name, std::string_view keyExpr, std::string_view forExpr,
                     bool unique, bool descending) {
    index_->indexTag(name, keyExpr, forExpr, unique, descending);
}
void Table::reindex() {
    index_->reindex();
}
void Table::walkTagUnfiltered(int position, bool backward,
                              const std::function<bool(std::uint32_t recno)>& fn) {
    index_->walkTagUnfiltered(position, backward, fn);
}
std::vector<std::uint32_t> Table::seekRun(std::string_view value) {
    return index_->seekRun(value);
}
bool Table::seek(std::string_view keyBytes) {
    return index_->seek(keyBytes);
}
bool Table::seekNumber(double value) {
    return index_->seekNumber(value);
}
bool Table::seekDate(std::int32_t julianDay) {
    return index_->seekDate(julianDay);
}
bool Table::found() const {
    return index_->found();
}
void Table::setScope(std::optional<std::string> top, std::optional<std::string> bottom) {
    index_->setScope(std::move(top), std::move(bottom));
}
void Table::clearScope() {
    index_->clearScope();
}
bool Table::hasScope() const {
    return index_->hasScope();
}
std::uint64_t Table::count() {
    return index_->count();
}
std::uint64_t Table::orderRecNo() {
    return index_->orderRecNo();
}
bool Table::gotoOrderPosition(std::uint64_t pos) {
    return index_->gotoOrderPosition(pos);
}
std::uint32_t Table::recnoAtOrderPosition(std::uint64_t pos) {
    return index_->recnoAtOrderPosition(pos);
}
void Table::recnosAtOrderPositions(std::uint64_t first, std::uint32_t* out, std::size_t n) {
    index_->recnosAtOrderPositions(first, out, n);
}
int Table::queryTest(std::string_view expr) {
    return index_->queryTest(expr);
}
void Table::query(std::string_view expr) {
    index_->query(expr);
}
bool Table::queryActive() const {
    return index_->queryActive();
}
bool Table::queryBit(std::uint32_t recno) const {
    return index_->queryBit(recno);
}
void Table::setQueryBit(std::uint32_t recno, bool on) {
    index_->setQueryBit(recno, on);
}
void Table::setFilter(std::string_view expr) {
    index_->setFilter(expr);
}
bool Table::filterActive() const {
    return index_->filterActive();
}

}  // namespace xb
