// The engine table's production index: attaching it, keeping its tags up to
// date, tag orders, seek, scope, counts and positions, building tags,
// expressions evaluated on the current record, query subset and filter.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/progress.h"
#include "store/xbase/query.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
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

// ---- attaching ------------------------------------------------------------------------

std::string Table::indexPath() const {
    namespace fs = std::filesystem;
    const fs::path p(path_);
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

void Table::attachIndex() {
    const std::string ip = indexPath();
    if (!readOnly_) env_->remove(ip + ".rebuild");  // a rebuild that was cut short
    if (!env_->exists(ip)) return;
    nsx_ = NsxFile::open(ip, readOnly_ ? NsxFile::Mode::ReadOnly : NsxFile::Mode::ReadWrite, *env_);
    nsx_->setCacheBudget(kIndexCacheBudget);
    if (nsx_->wasInterrupted()) {
        if (readOnly_)
            throw qv::Error(qv::ErrorCode::Corrupt,
                            "Die Indexdatei " + ip + " wurde nicht ordnungsgemäß geschlossen", ip);
        rebuildAllTags(0, 100);
        return;
    }
    compileTags();
}

void Table::compileTags() {
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
            throw qv::Error(qv::ErrorCode::Corrupt,
                            "Die Indexdatei " + nsx_->path() + " ist beschädigt: der Tag " +
                                tag.name() + " ist nicht auswertbar (" + e.text() + ")",
                            nsx_->path());
        }
        if (keyTypeOf(rt->key.type()) != tag.keyType())
            throw qv::Error(qv::ErrorCode::Corrupt,
                            "Die Indexdatei " + nsx_->path() +
                                " ist beschädigt: der Schlüssel des Tags " + tag.name() +
                                " hat nicht den Typ seines Ausdrucks",
                            nsx_->path());
        tags_.push_back(std::move(rt));
    }
}

void Table::dropIndexState() {
    noteFlagged();
    if (tagOrder_) setOrder(std::unique_ptr<RecordOrder>());
    tags_.clear();
    flaggedKnown_ = false;
    flagged_.reset();
    view_.reset();
    std::unique_ptr<NsxFile> nsx = std::move(nsx_);
    if (nsx) nsx->close();
}

// ---- tags -----------------------------------------------------------------------------

int Table::tagCount() const {
    return static_cast<int>(tags_.size());
}

std::string Table::tagName(int position) const {
    if (position < 1 || position > tagCount())
        throw qv::Error(
            qv::ErrorCode::Range,
            "Die Tabelle " + path_ + " hat keinen Tag Nummer " + std::to_string(position), path_);
    return tags_[static_cast<std::size_t>(position - 1)]->tag->name();
}

int Table::tagPosition(std::string_view name) const {
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

ExprType Table::orderKeyType() const {
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

std::string Table::numberKey(double value) {
    std::uint8_t k[kNumKeyLen];
    encodeNumKey(value, k);
    return std::string(reinterpret_cast<const char*>(k), kNumKeyLen);
}

std::vector<std::string> Table::indexFaults() {
    requireOpen();
    if (!nsx_) return {};
    commitRecord();
    nsx_->flush();
    std::vector<std::string> out;
    for (std::string& f : nsx_->verify(recCount()))
        out.push_back("Die Indexdatei " + nsx_->path() + " ist beschädigt: " + f);
    return out;
}

void Table::setOrder(int position) {
    requireOpen();
    if (position < 0 || position > tagCount())
        throw qv::Error(
            qv::ErrorCode::Range,
            "Die Tabelle " + path_ + " hat keinen Tag Nummer " + std::to_string(position), path_);
    commitRecord();
    installOrder(position);
}

void Table::installOrder(int position) {
    if (position == 0) {
        setOrder(std::unique_ptr<RecordOrder>());
        return;
    }
    auto o = std::make_unique<TagOrder>(*tags_[static_cast<std::size_t>(position - 1)]);
    TagOrder* raw = o.get();
    setOrder(std::unique_ptr<RecordOrder>(std::move(o)));
    tagOrder_ = raw;
    orderPos_ = position;
}

TagOrder& Table::requireTagOrder(const char* what) const {
    requireOpen();
    if (!tagOrder_)
        throw qv::Error(
            qv::ErrorCode::State,
            std::string(what) + " braucht einen Tag als Reihenfolge (Tabelle " + path_ + ")",
            path_);
    return *tagOrder_;
}

// ---- keeping the tags up to date --------------------------------------------------------

void Table::maintainIndex(std::uint32_t recno, const std::uint8_t* oldRec,
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
                            "Die Indexdatei " + nsx_->path() + " passt nicht zur Tabelle " + path_ +
                                ": Datensatz " + std::to_string(recno) + " fehlt im Tag " +
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
    if (batch_ == 0 || ++batchedCommits_ >= kBatchCommits) {
        batchedCommits_ = 0;
        nsx_->flush();
    }
}

// ---- building ---------------------------------------------------------------------------

void Table::indexTag(std::string_view name, std::string_view keyExpr, std::string_view forExpr,
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
            path_);
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

void Table::reindex() {
    requireWritable();
    commitRecord();
    if (!nsx_) return;
    const int pos = orderPos_;
    rebuildAllTags(0, 100);
    installOrder(pos <= tagCount() ? pos : 0);
    goTop();
}

void Table::rebuildAllTags(int progressFrom, int progressTo) {
    std::vector<NsxTagDef> defs = nsx_->tagDefs();
    installOrder(0);
    tags_.clear();
    flaggedKnown_ = false;
    struct Work {
        Expr key, cond;
        std::unique_ptr<NsxKeyBatch> batch;
        int keyLen;
        std::string k;
    };
    std::vector<Work> work(defs.size());
    for (std::size_t i = 0; i < defs.size(); ++i) {
        NsxTagDef& s = defs[i];
        s.keyExpr = dottedOperators(s.keyExpr);
        s.forExpr = dottedOperators(s.forExpr);
        Work& w = work[i];
        try {
            w.key = Expr::compile(s.keyExpr, fields());
            if (!s.forExpr.empty()) w.cond = Expr::compileCondition(s.forExpr, fields());
        } catch (const qv::Error& e) {
            throw qv::Error(qv::ErrorCode::Corrupt,
                            "Die Indexdatei " + nsx_->path() + " ist beschädigt: der Tag " +
                                s.name + " ist nicht auswertbar (" + e.text() + ")",
                            nsx_->path());
        }
        w.keyLen = s.keyLen;
        w.k.assign(static_cast<std::size_t>(s.keyLen), ' ');
        w.batch =
            std::make_unique<NsxKeyBatch>(s.keyLen, s.keyType == NsxKeyType::Character ? ' ' : 0);
        w.batch->reserve(recCount());
    }
    // Tags are split between two threads by a rough cost: the length of
    // their expression texts, heaviest first onto the lighter side.
    std::vector<int> group(work.size(), 0);
    {
        std::vector<std::size_t> byCost(work.size());
        for (std::size_t i = 0; i < byCost.size(); ++i)
            byCost[i] = i;
        const auto cost = [&](std::size_t i) {
            return defs[i].keyExpr.size() + defs[i].forExpr.size();
        };
        std::sort(byCost.begin(), byCost.end(),
                  [&](std::size_t a, std::size_t b) { return cost(a) > cost(b); });
        std::size_t load[2] = {0, 0};
        for (std::size_t i : byCost) {
            const int g = load[1] < load[0] ? 1 : 0;
            group[i] = g;
            load[g] += cost(i);
        }
    }
    const auto evalRange = [&](int which, const std::uint8_t* block, std::uint32_t first,
                               std::uint32_t n, std::size_t rl) {
        for (std::size_t t = 0; t < work.size(); ++t) {
            if (which >= 0 && group[t] != which) continue;
            Work& w = work[t];
            for (std::uint32_t i = 0; i < n; ++i) {
                const RecordRef r{block + std::size_t{i} * rl, first + i};
                if (!w.cond.empty() && !w.cond.evalBool(r)) continue;
                w.key.evalKey(r, reinterpret_cast<std::uint8_t*>(w.k.data()), w.k.size());
                w.batch->add(w.k, first + i);
            }
        }
    };
    const int mid = progressFrom + (progressTo - progressFrom) / 2;
    // One pass over the records; with several tags a second thread evaluates
    // every other tag on the same block.
    {
        const std::uint32_t n = recCount();
        const std::size_t rl = recordLength();
        const std::uint32_t chunk =
            static_cast<std::uint32_t>(std::max<std::size_t>(1, (4u << 20) / rl));
        std::vector<std::uint8_t> block(
            std::size_t{std::min(chunk, std::max<std::uint32_t>(n, 1))} * rl);
        ProgressSlice progress(progressFrom, mid, n);
        const bool twoThreads =
            work.size() > 1 && n >= 20000 && std::thread::hardware_concurrency() > 1;
        for (std::uint32_t first = 1; first <= n;) {
            const std::uint32_t k = std::min(chunk, n - first + 1);
            readRecordsAt(first, k, block.data());
            if (twoThreads) {
                std::exception_ptr failure;
                std::thread helper([&] {
                    try {
                        evalRange(1, block.data(), first, k, rl);
                    } catch (...) {
                        failure = std::current_exception();
                    }
                });
                try {
                    evalRange(0, block.data(), first, k, rl);
                } catch (...) {
                    helper.join();
                    throw;
                }
                helper.join();
                if (failure) std::rethrow_exception(failure);
            } else {
                evalRange(-1, block.data(), first, k, rl);
            }
            first += k;
            progress.at(first - 1);
        }
    }
    // The new trees go into a file beside the index, which then replaces it:
    // until the rename the old index (with its crash marker when this session
    // changed it) stays readable, so a kill at any point leaves an index whose
    // tag definitions the next open can rebuild from. The later batches are
    // sorted on a second thread while the first tag is written.
    const std::string finalPath = nsx_->path();
    const std::string tmpPath = finalPath + ".rebuild";
    std::unique_ptr<NsxFile> fresh = NsxFile::create(tmpPath, *env_);
    std::exception_ptr failure;
    std::thread sorter;
    if (work.size() > 1)
        sorter = std::thread([&] {
            try {
                for (std::size_t i = 1; i < work.size(); ++i)
                    work[i].batch->sort();
            } catch (...) {
                failure = std::current_exception();
            }
        });
    try {
        const int span = progressTo - mid;
        for (std::size_t i = 0; i < work.size(); ++i) {
            if (i == 1 && sorter.joinable()) {
                sorter.join();
                if (failure) std::rethrow_exception(failure);
            }
            const int from = mid + static_cast<int>(span * i / work.size());
            const int to = mid + static_cast<int>(span * (i + 1) / work.size());
            fresh->buildTag(defs[i], *work[i].batch, recCount(),
                            NsxProgress{reportProgress, from, to});
            work[i].batch.reset();
        }
        fresh->setTableNote(recCount(), nullptr);  // the entry counts the build knows
        fresh->close();
        fresh.reset();
    } catch (...) {
        if (sorter.joinable()) sorter.join();
        fresh.reset();
        try {
            env_->remove(tmpPath);
        } catch (...) {
        }
        throw;
    }
    if (work.empty()) reportProgress(progressTo);
    env_->rename(tmpPath, finalPath);
#ifdef __GLIBC__
    // The key batches were large; give their memory back to the system.
    work.clear();
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

bool Table::seekBytes(std::string_view value) {
    TagOrder& to = requireTagOrder("Das Suchen");
    commitRecord();
    found_ = false;
    if (value.size() > static_cast<std::size_t>(to.runtime().keyLen))
        value = value.substr(0, static_cast<std::size_t>(to.runtime().keyLen));
    const std::uint32_t r = to.seek(value);
    if (r != 0 && seekVisibleForward(r)) {
        found_ = comparePrefix(to.key(), value) == 0;
        if (!found_ && !settings().softSeek) standOnPhantom(false);
    } else {
        standOnPhantom(false);
    }
    return found_;
}

bool Table::seek(std::string_view keyBytes) {
    return seekBytes(keyBytes);
}

bool Table::seekNumber(double value) {
    TagOrder& to = requireTagOrder("Das Suchen");
    if (!to.runtime().numeric)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Der Tag " + to.tag().name() + " hat keine numerischen Schlüssel", path_);
    std::uint8_t k[kNumKeyLen];
    encodeNumKey(value, k);
    return seekBytes({reinterpret_cast<const char*>(k), kNumKeyLen});
}

bool Table::seekDate(std::int32_t julianDay) {
    return seekNumber(static_cast<double>(julianDay));
}

void Table::setScope(std::optional<std::string> top, std::optional<std::string> bottom) {
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

void Table::clearScope() {
    if (!tagOrder_) return;
    tagOrder_->setScope(std::nullopt, std::nullopt);
    invalidateView();
}

bool Table::hasScope() const {
    return tagOrder_ && tagOrder_->hasScope();
}

// ---- counts and positions ---------------------------------------------------------------

void Table::ensureFlagged() {
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
            dbf_->readRecord(recno, rec.data());
            take(recno, rec.data());
        }
    } else {
        scanRecords(take);
    }
    flaggedKnown_ = true;
}

void Table::noteFlagged() {
    if (!nsx_ || readOnly_) return;
    std::vector<std::uint32_t> recnos;
    if (flaggedKnown_) {
        recnos.reserve(flagged_->set.size());
        for (std::uint32_t r : flagged_->set)
            recnos.push_back(r);
    }
    nsx_->setTableNote(recCount(), flaggedKnown_ ? &recnos : nullptr);
}

ViewList& Table::viewList() {
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
        dbf_->readRecord(r, rec.data());
        if (passes(r, rec.data())) take(r);
    }
    return v;
}

std::uint64_t Table::count() {
    requireOpen();
    if (!simpleCounts()) return viewList().recs.size();
    const bool del = settings().deleted;
    if (del) ensureFlagged();
    if (!tagOrder_) return recCount() - (del ? flagged_->set.size() : 0);
    TagOrder& to = *tagOrder_;
    const std::uint64_t n = to.rangeHi() - to.rangeLo();
    return n - (del ? to.flaggedInScope() : 0);
}

std::uint64_t Table::orderRecNo() {
    requireOpen();
    if (eof_ || appending_ || recno_ < 1 || recno_ > recCount()) return 0;
    if (edge_ != Edge::None && !hot_) {
        const bool del = settings().deleted;
        if (edge_ == (del ? Edge::TopDeletedOn : Edge::TopDeletedOff)) return 1;
        if (edge_ == (del ? Edge::BottomDeletedOn : Edge::BottomDeletedOff)) return count();
    }
    if (!simpleCounts()) {
        ViewList& v = viewList();
        return v.posOf[recno_];
    }
    const bool del = settings().deleted;
    if (del && isFlagged(cold_.data())) return 0;
    if (del) ensureFlagged();
    if (!tagOrder_) return recno_ - (del ? flagged_->set.order_of_key(recno_) : 0);
    TagOrder& to = *tagOrder_;
    std::pair<std::string, std::uint32_t> e;
    std::uint64_t pos = 0;
    if (to.standsOn(recno_)) {
        // The usual case: the order stands on the current record's entry.
        pos = to.currentPosition();
        if (pos != 0 && del && to.runtime().flagged.size() != 0) e.first.assign(to.key());
    } else {
        TagRuntime& rt = to.runtime();
        const RecordRef r{cold_.data(), recno_};
        if (!rt.member(r)) return 0;
        rt.keyOf(r, e.first);
        pos = to.positionOf(e.first, recno_);
    }
    if (pos == 0 || !del || to.runtime().flagged.size() == 0) return pos;
    e.second = recno_;
    return pos - to.flaggedInScope(&e);
}

std::uint32_t Table::naturalAtPosition(std::uint64_t pos) {
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

std::uint32_t Table::tagAtPosition(std::uint64_t pos, bool move) {
    std::unique_ptr<TagOrder> temp;
    TagOrder* to = tagOrder_;
    if (!move) {
        temp = std::make_unique<TagOrder>(tagOrder_->runtime());
        temp->setScope(tagOrder_->top(), tagOrder_->bottom());
        to = temp.get();
    }
    if (!settings().deleted) return to->gotoPosition(pos);
    ensureFlagged();
    const EntrySet& f = to->runtime().flagged;
    if (to->flaggedInScope() == 0) return to->gotoPosition(pos);
    // Step over the flagged entries before the wanted position.
    std::uint64_t g = pos;
    for (;;) {
        const std::uint32_t r = to->gotoPosition(g);
        if (r == 0) return 0;
        std::pair<std::string, std::uint32_t> e{std::string(to->key()), r};
        const bool flagged = f.find(e) != f.end();
        const std::uint64_t vis = g - to->flaggedInScope(&e) - (flagged ? 1 : 0);
        if (vis == pos && !flagged) return r;
        g += vis < pos ? pos - vis : 1;
    }
}

bool Table::gotoOrderPosition(std::uint64_t pos) {
    requireOpen();
    commitRecord();
    std::uint32_t r = 0;
    if (!simpleCounts()) {
        ViewList& v = viewList();
        if (pos >= 1 && pos <= v.recs.size()) r = v.recs[pos - 1];
        if (r != 0) {
            load(r);
            order_->position(r, buf_.data());
        }
    } else if (!tagOrder_) {
        r = naturalAtPosition(pos);
        if (r != 0) {
            load(r);
            order_->position(r, buf_.data());
        }
    } else {
        r = tagAtPosition(pos, true);
        if (r != 0) load(r);
    }
    if (r == 0) {
        standOnPhantom(false);
        return false;
    }
    bof_ = eof_ = false;
    return true;
}

std::uint32_t Table::recnoAtOrderPosition(std::uint64_t pos) {
    requireOpen();
    if (!simpleCounts()) {
        ViewList& v = viewList();
        return pos >= 1 && pos <= v.recs.size() ? v.recs[pos - 1] : 0;
    }
    if (!tagOrder_) return naturalAtPosition(pos);
    return tagAtPosition(pos, false);
}

// ---- expressions ------------------------------------------------------------------------

std::string Table::evalString(std::string_view expr) {
    requireOpen();
    auto it = evalCache_.find(std::string(expr));
    if (it == evalCache_.end()) {
        Expr e = Expr::compile(expr, fields());
        // Numbers print as str() prints them without a width.
        if (e.type() == ExprType::Numeric)
            e = Expr::compile("str(" + std::string(expr) + ")", fields());
        it = evalCache_.emplace(std::string(expr), std::move(e)).first;
    }
    const Value& v = it->second.evaluate({buf_.data(), recno_});
    switch (v.type) {
        case ExprType::Character:
            return std::string(v.chars);
        case ExprType::Date:
            return formatDate(v.julianDay());
        case ExprType::Logical:
            return v.logical ? ".T." : ".F.";
        case ExprType::Numeric:
            break;
    }
    return formatNumber(v.number, 10, 0);
}

// ---- query and filter -------------------------------------------------------------------

QuerySource Table::plannerSource() {
    QuerySource src;
    src.fields = &fields();
    src.recCount = recCount();
    src.index = nsx_.get();
    src.readRecords = [this](std::uint32_t first, std::uint32_t n, std::uint8_t* dst) {
        readRecordsAt(first, n, dst);
    };
    return src;
}

int Table::queryTest(std::string_view expr) {
    requireOpen();
    commitRecord();
    return xb::queryTest(plannerSource(), expr);
}

void Table::query(std::string_view expr) {
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

bool Table::queryBit(std::uint32_t recno) const {
    if (!queryActive_) return true;
    const std::size_t w = recno / 64;
    return w < queryBits_.size() && (queryBits_[w] >> (recno % 64) & 1) != 0;
}

void Table::setQueryBit(std::uint32_t recno, bool on) {
    requireOpen();
    if (!queryActive_)
        throw qv::Error(qv::ErrorCode::State, "Auf der Tabelle " + path_ + " liegt keine Abfrage",
                        path_);
    if (recno < 1 || recno > recCount())
        throw qv::Error(qv::ErrorCode::Range,
                        "Die Tabelle " + path_ + " hat keinen Datensatz " + std::to_string(recno),
                        path_, recno);
    const std::size_t w = recno / 64;
    if (w >= queryBits_.size()) queryBits_.resize(w + 1, 0);
    const std::uint64_t bit = std::uint64_t{1} << (recno % 64);
    queryBits_[w] = on ? queryBits_[w] | bit : queryBits_[w] & ~bit;
    invalidateView();
}

void Table::setFilter(std::string_view expr) {
    requireOpen();
    filter_ = expr.empty() ? Expr() : Expr::compileCondition(expr, fields());
    invalidateView();
}

}  // namespace xb
