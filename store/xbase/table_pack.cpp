// Pack: the table without its flagged records, written aside and then put in
// place of the old files through a journal.
//
// Files beside the table T.dbf while a pack runs:
//   T.dbf.packtmp       the packed table
//   T.dbf.packmemo      the compacted memo file
//   T.dbf.packjournal   "rename these over the originals", one FROM<TAB>TO
//                       line per file; written as .tmp, synced, renamed
// The journal's appearance is the commit point: open() rolls a pack forward
// when the journal is there and removes the temporaries when it is not.
#include <cstring>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/progress.h"
#include "store/xbase/smt_file.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"
#include "store/xbase/tag_order.h"

namespace xb {

namespace {

std::string tmpTablePath(const std::string& dbf) {
    return dbf + ".packtmp";
}
std::string tmpMemoPath(const std::string& dbf) {
    return dbf + ".packmemo";
}
std::string journalPath(const std::string& dbf) {
    return dbf + ".packjournal";
}

// Carries out the renames a journal lists, then removes it.
void rollForward(Env& env, const std::string& journal) {
    std::string text;
    {
        std::unique_ptr<RandomFile> in = env.open(journal, FileAccess::ReadShared);
        text.resize(static_cast<std::size_t>(in->size()));
        in->readExact(0, text.data(), text.size(), "das Packprotokoll");
    }
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string from = line.substr(0, tab);
        const std::string to = line.substr(tab + 1);
        if (env.exists(from)) env.rename(from, to);
    }
    env.syncDirectoryOf(journal);
    env.remove(journal);
    env.syncDirectoryOf(journal);
}

}  // namespace

bool Table::packCommitted(Env& env, const std::string& dbfPath) {
    return env.exists(journalPath(dbfPath));
}

bool Table::checkPackLeftovers(Env& env, const std::string& dbfPath, bool readOnly) {
    const std::string journal = journalPath(dbfPath);
    if (env.exists(journal)) {
        if (readOnly)
            throw qv::Error(qv::ErrorCode::State,
                            "Das Packen der Tabelle " + dbfPath +
                                " wurde unterbrochen; sie muss erst exklusiv geöffnet werden",
                            dbfPath);
        return true;
    }
    if (readOnly) return false;
    // No journal: a pack that did not reach its commit point left at most
    // temporaries behind.
    env.remove(tmpTablePath(dbfPath));
    env.remove(tmpMemoPath(dbfPath));
    env.remove(journal + ".tmp");
    return false;
}

void Table::finishPack(Env& env, const std::string& dbfPath) {
    rollForward(env, journalPath(dbfPath));
}

void Table::reopenFiles() {
    const std::string memoPath = memo_ ? memo_->path() : std::string();
    const MemoKind kind = dbf_->header().memo;
    order_.reset();
    index_->orderReplaced();
    smt_ = nullptr;
    memo_.reset();
    dbf_.reset();
    dbf_ = std::make_unique<DbfFile>(env_->open(path_, FileAccess::WriteExclusive), true, *env_);
    if (kind != MemoKind::None) {
        memo_ = openMemoStore(kind, env_->open(memoPath, FileAccess::WriteExclusive), true);
        if (memo_->kind() == MemoKind::Smt) smt_ = static_cast<SmtFile*>(memo_.get());
    }
    recno_ = dbf_->recordCount() + 1;
    buf_ = blank_;
    cold_ = blank_;
    eof_ = bof_ = true;
    setOrder(std::unique_ptr<RecordOrder>());
}

void Table::pack() {
    requireWritable();
    commitRecord();
    if (memo_ && !smt_) throw memosReadOnly(path_);
    const std::string tmpTable = tmpTablePath(path_);
    const std::string tmpMemo = tmpMemoPath(path_);
    const std::string journal = journalPath(path_);
    const int mid = index_->hasTags() ? 50 : 100;

    // Until the journal is in place the originals are untouched: a failure
    // (a full disk) removes the temporaries at once.
    bool committed = false;
    struct Temporaries {
        Env& env;
        const bool& committed;
        std::vector<std::string> paths;
        ~Temporaries() {
            if (committed) return;
            for (const std::string& p : paths) {
                try {
                    env.remove(p);
                } catch (...) {  // the next open removes it
                }
            }
        }
    } temporaries{*env_, committed, {tmpTable, tmpMemo, journal + ".tmp"}};
    // 1. The packed table and memo file beside the originals.
    {
        Env& env = *env_;
        std::unique_ptr<RandomFile> out = env.create(tmpTable);
        std::unique_ptr<SmtFile> memoOut;
        if (smt_) {
            std::unique_ptr<RandomFile> mf = env.create(tmpMemo);
            const std::vector<std::uint8_t> fresh = SmtFile::newFileBytes(smt_->blockSize());
            mf->writeAt(0, fresh.data(), fresh.size());
            memoOut = std::make_unique<SmtFile>(std::move(mf), true);
        }
        std::vector<std::uint8_t> header = dbf_->headerBytes();
        const std::size_t rl = recordLength();
        std::vector<std::uint8_t> pending;
        pending.reserve(4u << 20);
        std::uint64_t offset = header.size();
        std::uint32_t kept = 0;
        std::vector<std::size_t> memoOffsets;
        for (const FieldDesc& f : fields().all())
            if (f.type == 'M' && f.len == 10) memoOffsets.push_back(f.offset);
        ProgressSlice progress(0, mid, recCount());
        scanRecords([&](std::uint32_t recno, const std::uint8_t* rec) {
            progress.at(recno);
            if (rec[0] == kDeletedFlag) return;
            const std::size_t at = pending.size();
            pending.insert(pending.end(), rec, rec + rl);
            if (memoOut) {
                for (std::size_t off : memoOffsets) {
                    std::uint8_t* p = pending.data() + at + off;
                    SmtRef ref = SmtRef::decode(p);
                    if (ref.blank || smt_->extentOf(ref).blocks == 0) continue;
                    const std::string data = smt_->readStored(ref, recno);
                    const std::uint32_t blocks = memoOut->blocksFor(data.size());
                    ref.block = memoOut->allocate(blocks);
                    memoOut->writeData(ref.block, data);
                    ref.encode(p);
                }
            }
            ++kept;
            if (pending.size() >= (4u << 20)) {
                out->writeAt(offset, pending.data(), pending.size());
                offset += pending.size();
                pending.clear();
            }
        });
        pending.push_back(0x1A);
        out->writeAt(offset, pending.data(), pending.size());
        putU32LE(header.data() + 4, kept);
        out->writeAt(0, header.data(), header.size());
        out->sync();
        if (memoOut) {
            memoOut->writeHeader();
            memoOut->sync();
        }
    }
    // 2. From here on the index no longer matches the files on disk.
    index_->beforeFilesReplaced();
    // 3. The journal (the commit point), 4. the renames.
    {
        const std::string tmpJournal = journal + ".tmp";
        std::string text;
        const auto line = [&text](const std::string& from, const std::string& to) {
            text.append(from).append(1, '\t').append(to).append(1, '\n');
        };
        line(tmpTable, path_);
        if (smt_) line(tmpMemo, smt_->path());
        std::unique_ptr<RandomFile> jf = env_->create(tmpJournal);
        jf->writeAt(0, text.data(), text.size());
        jf->sync();
        jf.reset();
        env_->rename(tmpJournal, journal);
        committed = true;
        env_->syncDirectoryOf(journal);
    }
    rollForward(*env_, journal);
    // 5. The new files take the old ones' place in this table.
    index_->dropQuery();
    reopenFiles();
    // 6. The tags.
    index_->afterPack(mid);
    goTop();
}

}  // namespace xb
