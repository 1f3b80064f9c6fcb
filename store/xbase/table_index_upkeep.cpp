// The index side of the engine table, tag upkeep: attaching the production
// index and compiling its tags, keeping every tag up to date on commits
// (one by one or in batches), building a tag and rebuilding them all.
#include <algorithm>
#include <cctype>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/limits.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/progress.h"
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

// ---- the owning table's side -------------------------------------------------------------

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
    dropDeferredUpkeep();
}

void TableIndex::dropDeferredUpkeep(bool rebuilt) {
    if (!deferred_) return;
    deferred_ = false;
    const bool lost = !touched_.empty();
    for (auto& p : tags_)
        p->pending.reset();
    forgetTouched();
    // Changes that never reached the trees: the next open builds them again.
    if (lost && !rebuilt && nsx_ && !readOnly()) nsx_->markDamaged();
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

// ---- attaching ------------------------------------------------------------------------

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
        rebuildAllTags(0, 100, true);
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
    dropDeferredUpkeep();
    noteFlagged();
    if (tagOrder_) table_.setOrder(std::unique_ptr<RecordOrder>());
    tags_.clear();
    flaggedKnown_ = false;
    flagged_.reset();
    view_.reset();
    std::unique_ptr<NsxFile> nsx = std::move(nsx_);
    if (nsx) nsx->close();
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
    const bool firstTouch = deferred_ && touch(recno);
    for (auto& p : tags_) {
        TagRuntime& rt = *p;
        if (rt.pending) {
            // The entry the record had before the batch goes; the one it has
            // at the end is made then. Keys are made only for that and for
            // the flagged records.
            if (oldRec && (firstTouch || (track && oldFlag))) {
                const RecordRef orr{oldRec, recno};
                if (rt.member(orr)) {
                    rt.keyOf(orr, rt.oldKey);
                    if (firstTouch) rt.pending->removals.add(rt.oldKey, recno);
                    if (track && oldFlag) rt.flagged.erase({rt.oldKey, recno});
                }
            }
            if (track && newFlag) {
                const RecordRef nr{newRec, recno};
                if (rt.member(nr)) {
                    rt.keyOf(nr, rt.newKey);
                    rt.flagged.insert({rt.newKey, recno});
                }
            }
            continue;
        }
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
        if (removeOld && !rt.tag->remove(rt.oldKey, recno) && !rt.tag->unique())
            throw missingEntry(rt, recno);
        bool inTag = newIn;
        if (addNew) {
            const bool added = rt.tag->insert(rt.newKey, recno);
            if (!added && rt.tag->unique()) inTag = false;
        } else if (newIn && rt.tag->unique() && track && newFlag) {
            inTag = rt.tag->contains(rt.newKey, recno);
        }
        if (track && newFlag && inTag) rt.flagged.insert({rt.newKey, recno});
    }
    if (deferred_) {
        // Held changes are brought in early when they grow large, so that a
        // long batch does not grow the program without end.
        if (touched_.size() >= deferredLimit_) applyDeferred();
        return;
    }
    if (!batch_ || ++batchedCommits_ >= Table::kBatchCommits) {
        batchedCommits_ = 0;
        nsx_->flush();
    }
}

bool TableIndex::touch(std::uint32_t recno) {
    const std::size_t w = recno >> 6;
    if (w >= touchedBits_.size()) touchedBits_.resize(std::max(w + 1, touchedBits_.size() * 2));
    const std::uint64_t bit = std::uint64_t{1} << (recno & 63);
    if (touchedBits_[w] & bit) return false;
    touchedBits_[w] |= bit;
    touched_.push_back(recno);
    return true;
}

void TableIndex::forgetTouched() {
    for (const std::uint32_t r : touched_)
        touchedBits_[r >> 6] &= ~(std::uint64_t{1} << (r & 63));
    touched_.clear();
}

qv::Error TableIndex::missingEntry(const TagRuntime& rt, std::uint32_t recno) {
    nsx_->markDamaged();
    return qv::Error(qv::ErrorCode::Corrupt,
                     "Die Indexdatei " + nsx_->path() + " passt nicht zur Tabelle " + path() +
                         ": Datensatz " + std::to_string(recno) + " fehlt im Tag " + rt.tag->name(),
                     nsx_->path(), recno);
}

void TableIndex::beginDeferredUpkeep(std::size_t expectedChanges) {
    requireOpen();
    if (deferred_ || !indexed()) return;
    if (orderPos_ != 0)
        throw qv::Error(qv::ErrorCode::State,
                        "Die Tabelle " + path() + " muss in natürlicher Reihenfolge stehen",
                        path());
    commitRecord();
    deferred_ = true;
    touched_.reserve(std::min(expectedChanges, deferredLimit_));
    for (auto& p : tags_) {
        if (p->tag->unique()) continue;
        p->pending = std::make_unique<TagRuntime::Pending>(*p->tag);
        p->pending->removals.reserve(std::min(expectedChanges, deferredLimit_));
    }
}

void TableIndex::endDeferredUpkeep() {
    if (!deferred_) return;
    applyDeferred();
    deferred_ = false;
    for (auto& p : tags_)
        p->pending.reset();
}

void TableIndex::applyDeferred() {
    if (!nsx_ || touched_.empty()) return;
    NsxFile::ChangeGuard guard(*nsx_);
    std::sort(touched_.begin(), touched_.end());
    // The entries the changed records have now, every tag in one pass over
    // them.
    std::vector<TagRuntime*> deferred;
    std::vector<std::unique_ptr<NsxKeyBatch>> now;
    for (auto& p : tags_) {
        if (!p->pending) continue;
        deferred.push_back(p.get());
        now.push_back(std::make_unique<NsxKeyBatch>(*p->tag));
        now.back()->reserve(touched_.size());
    }
    std::vector<std::uint8_t> rec(table_.recordLength());
    for (const std::uint32_t recno : touched_) {
        host_.readStoredRecord(recno, rec.data());
        const RecordRef r{rec.data(), recno};
        for (std::size_t i = 0; i < deferred.size(); ++i) {
            TagRuntime& rt = *deferred[i];
            if (!rt.member(r)) continue;
            std::uint8_t* key = now[i]->addUnfilled(recno);
            rt.key.evalKey(r, key, static_cast<std::size_t>(rt.keyLen));
        }
    }
    forgetTouched();
    for (std::size_t i = 0; i < deferred.size(); ++i) {
        TagRuntime& rt = *deferred[i];
        NsxKeyBatch& removals = rt.pending->removals;
        NsxKeyBatch& insertions = *now[i];
        removals.sort();
        insertions.sort();
        // An entry that stays as it was is neither taken out nor added.
        NsxKeyBatch out(*rt.tag), in(*rt.tag);
        const std::size_t kl = static_cast<std::size_t>(rt.keyLen);
        std::size_t r = 0, k = 0;
        while (r < removals.size() || k < insertions.size()) {
            int c;
            if (r == removals.size()) {
                c = 1;
            } else if (k == insertions.size()) {
                c = -1;
            } else {
                c = std::memcmp(removals.key(r), insertions.key(k), kl);
                if (c == 0) {
                    c = removals.recno(r) < insertions.recno(k)   ? -1
                        : removals.recno(r) > insertions.recno(k) ? 1
                                                                  : 0;
                }
            }
            if (c < 0) {
                std::memcpy(out.addUnfilled(removals.recno(r)), removals.key(r), kl);
                ++r;
            } else if (c > 0) {
                std::memcpy(in.addUnfilled(insertions.recno(k)), insertions.key(k), kl);
                ++k;
            } else {
                ++r;
                ++k;
            }
        }
        removals.clear();
        insertions.release();
        out.takeAsSorted();
        in.takeAsSorted();
        if (out.size() + in.size() == 0) continue;
        if (in.size() * kInsertWeight + out.size() * kRemoveWeight >= rt.tag->count()) {
            const std::uint32_t missing = rt.tag->merge(out, in, table_.recCount());
            if (missing != 0) throw missingEntry(rt, missing);
        } else {
            for (std::size_t j = 0; j < out.size(); ++j) {
                const std::string_view key(reinterpret_cast<const char*>(out.key(j)), kl);
                if (!rt.tag->remove(key, out.recno(j))) throw missingEntry(rt, out.recno(j));
            }
            for (std::size_t j = 0; j < in.size(); ++j)
                rt.tag->insert(std::string_view(reinterpret_cast<const char*>(in.key(j)), kl),
                               in.recno(j));
        }
    }
    nsx_->flush();
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

void TableIndex::endBatchUnwritten() {
    dropDeferredUpkeep(true);
    batch_ = false;
    batchedCommits_ = 0;
    if (nsx_ && cacheBudget_ > 0) nsx_->setCacheBudget(cacheBudget_);
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

// The tags of `defs` over every record, as one bulk build ready to be
// written; progress `from` ... `to` for the pass over the records.
std::unique_ptr<NsxBulkBuild> TableIndex::collectKeys(const std::vector<NsxTagDef>& defs, int from,
                                                      int to) {
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
    auto build = std::make_unique<NsxBulkBuild>(std::move(tags), recCount(), *env_);
    // One pass over the records, a block at a time: where the table's file
    // has a view, the keys are made from the records there, so that the
    // threads need not wait for each block to be copied out first.
    const std::uint32_t n = recCount();
    const std::size_t rl = recordLength();
    const std::uint32_t chunk =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, (4u << 20) / rl));
    std::vector<std::uint8_t> block;
    ProgressSlice progress(from, to, n);
    for (std::uint32_t first = 1; first <= n;) {
        const std::uint32_t k = std::min(chunk, n - first + 1);
        const std::uint8_t* records = recordsViewAt(first, k);
        if (!records) {
            block.resize(std::size_t{k} * rl);
            readRecordsAt(first, k, block.data());
            records = block.data();
        }
        build->addRecords(records, rl, first, k);
        first += k;
        progress.at(first - 1);
    }
    return build;
}

void TableIndex::rebuildAllTags(int progressFrom, int progressTo, bool inPlaceWhenFull) {
    std::vector<NsxTagDef> defs = nsx_->tagDefs();
    installOrder(0);
    tags_.clear();
    flaggedKnown_ = false;
    const int mid = progressFrom + (progressTo - progressFrom) / 2;
    std::unique_ptr<NsxBulkBuild> build = collectKeys(defs, progressFrom, mid);
    // The new trees go into a file beside the index, which then replaces it:
    // until the rename the old index (with its crash marker when this session
    // changed it) stays readable, so a kill at any point leaves an index whose
    // tag definitions the next open can rebuild from.
    const std::string finalPath = nsx_->path();
    const std::string tmpPath = finalPath + ".rebuild";
    try {
        std::unique_ptr<NsxFile> fresh = NsxFile::create(tmpPath, *env_);
        build->writeTo(*fresh, recCount(), NsxProgress{reportProgress, mid, progressTo});
        fresh->setTableNote(recCount(), nullptr);  // the entry counts the build knows
        fresh->close();
    } catch (const qv::Error& e) {
        try {
            env_->remove(tmpPath);
        } catch (...) {
        }
        if (!inPlaceWhenFull || e.code() != qv::ErrorCode::IoError) throw;
        // No room for a second index beside this one (a full disk): the
        // trees are built in the file itself, which never needs more room
        // than it held. Its crash marker stays on disk until the build is
        // complete, so a kill meanwhile leaves an index the next open
        // builds again.
        // The failed write used up the collected keys: collect them again.
        build.reset();
        build = collectKeys(defs, mid, mid);
        nsx_->clear();
        build->writeTo(*nsx_, recCount(), NsxProgress{reportProgress, mid, progressTo});
        build.reset();
        nsx_->setTableNote(recCount(), nullptr);
        nsx_->close();
        nsx_.reset();
        nsx_ = NsxFile::open(finalPath, NsxFile::Mode::ReadWrite, *env_);
        nsx_->setCacheBudget(kIndexCacheBudget);
        compileTags();
        return;
    } catch (...) {
        try {
            env_->remove(tmpPath);
        } catch (...) {
        }
        throw;
    }
    build.reset();
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

void TableIndex::rebuildFromRecords() {
    if (!nsx_) return;
    invalidateView();
    rebuildAllTags(0, 100, true);
}

}  // namespace xb
