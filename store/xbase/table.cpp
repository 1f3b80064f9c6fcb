#include "store/xbase/table.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/limits.h"
#include "store/xbase/settings.h"
#include "store/xbase/table_index.h"

namespace xb {

namespace {

// Natural record order: 1, 2, ... recordCount().
class NaturalOrder final : public RecordOrder {
  public:
    explicit NaturalOrder(const DbfFile& dbf) : dbf_(dbf) {}
    std::uint32_t first() override { return pos_ = dbf_.recordCount() > 0 ? 1 : 0; }
    std::uint32_t last() override { return pos_ = dbf_.recordCount(); }
    std::uint32_t next() override {
        return pos_ = (pos_ == 0 || pos_ >= dbf_.recordCount()) ? 0 : pos_ + 1;
    }
    std::uint32_t prev() override { return pos_ = pos_ <= 1 ? 0 : pos_ - 1; }
    void position(std::uint32_t recno, const std::uint8_t*) override { pos_ = recno; }

  private:
    const DbfFile& dbf_;
    std::uint32_t pos_ = 0;
};

std::string swapExtensionCase(const std::string& path) {
    std::string out = path;
    const std::size_t dot = out.find_last_of('.');
    for (std::size_t i = dot + 1; i < out.size(); ++i) {
        char& c = out[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return out;
}

}  // namespace

// ---- opening and closing ----------------------------------------------------------

std::unique_ptr<Table> Table::open(const std::string& path, OpenMode mode, Env& env) {
    const std::string dbfPath = tableFilePath(path);
    const bool readOnly = mode == OpenMode::ReadOnly;
    const FileAccess access = readOnly ? FileAccess::ReadShared : FileAccess::WriteExclusive;
    auto dbf = std::make_unique<DbfFile>(env.open(dbfPath, access), !readOnly, env);
    // With the table's lock held: the leftovers of an interrupted pack.
    if (checkPackLeftovers(env, dbfPath, readOnly)) {
        dbf.reset();
        finishPack(env, dbfPath);
        dbf = std::make_unique<DbfFile>(env.open(dbfPath, access), !readOnly, env);
    }
    std::unique_ptr<MemoStore> memo;
    const MemoKind kind = dbf->header().memo;
    if (kind != MemoKind::None) {
        std::string memoPath = memoPathFor(dbfPath, kind);
        if (!env.exists(memoPath) && env.exists(swapExtensionCase(memoPath)))
            memoPath = swapExtensionCase(memoPath);
        memo = openMemoStore(kind, env.open(memoPath, access), !readOnly);
    }
    std::unique_ptr<Table> t(new Table(std::move(dbf), std::move(memo), readOnly, env));
    t->index_->attachIndex();
    return t;
}

Table::Table(std::unique_ptr<DbfFile> dbf, std::unique_ptr<MemoStore> memo, bool readOnly, Env& env)
    : path_(dbf->path()),
      dbf_(std::move(dbf)),
      memo_(std::move(memo)),
      readOnly_(readOnly),
      env_(&env),
      index_(std::make_unique<TableIndex>(*this, static_cast<TableIndexHost&>(*this), env)) {
    if (memo_ && memo_->kind() == MemoKind::Smt) smt_ = static_cast<SmtFile*>(memo_.get());
    order_ = std::make_unique<NaturalOrder>(*dbf_);
    const std::size_t rl = dbf_->recordLength();
    blank_.assign(rl, ' ');
    buf_ = blank_;
    cold_ = blank_;
    goTop();
}

Table::~Table() {
    try {
        close();
    } catch (...) {
    }
}

void Table::close() {
    if (!dbf_) return;
    std::exception_ptr failure;
    try {
        commitRecord();
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        dbf_->finish();
    } catch (...) {
        if (!failure) failure = std::current_exception();
        index_->recordsLost();
    }
    try {
        index_->dropIndexState();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    order_.reset();
    smt_ = nullptr;
    memo_.reset();
    dbf_.reset();
    pending_.clear();
    hot_ = appending_ = false;
    if (failure) std::rethrow_exception(failure);
}

void Table::flush() {
    requireOpen();
    commitRecord();
    dbf_->finish();
    dbf_->sync();
    if (smt_ && !readOnly_) smt_->sync();
    index_->sync();
}

// ---- facts ----------------------------------------------------------------------------

const std::string& Table::path() const {
    return path_;
}

std::uint32_t Table::missingRecords() const {
    requireOpen();
    return dbf_->missingRecords();
}

const DbfHeader& Table::header() const {
    requireOpen();
    return dbf_->header();
}

const FieldList& Table::fields() const {
    requireOpen();
    return dbf_->fields();
}

const FieldDesc& Table::field(int idx) const {
    return checkedField(idx);
}

std::uint16_t Table::recordLength() const {
    requireOpen();
    return dbf_->recordLength();
}

MemoKind Table::memoKind() const {
    return header().memo;
}

SmtFile* Table::smtFile() const {
    return smt_;
}

void Table::setProductionIndex(bool on) {
    requireWritable();
    const std::uint8_t flags = dbf_->header().flags;
    dbf_->setFlags(static_cast<std::uint8_t>(on ? flags | 0x01 : flags & ~0x01));
}

std::uint32_t Table::recCount() const {
    requireOpen();
    return dbf_->recordCount();
}

// ---- checks ---------------------------------------------------------------------------

void Table::requireOpen() const {
    if (!dbf_) throw notOpen("Die Tabelle", path_);
}

void Table::requireWritable() const {
    requireOpen();
    if (readOnly_) throw openedReadOnly("Die Tabelle", path_);
}

void Table::requireRecord() const {
    requireWritable();
    if (eof_ && !appending_)
        throw qv::Error(qv::ErrorCode::State,
                        "Die Tabelle " + path_ + " steht auf keinem Datensatz", path_, recno_);
}

const FieldDesc& Table::checkedField(int idx) const {
    const FieldList& f = fields();
    if (idx < 0 || static_cast<std::size_t>(idx) >= f.size()) throw noFieldNumber(path_, idx + 1);
    return f[static_cast<std::size_t>(idx)];
}

const FieldDesc& Table::fieldOfType(int idx, const char* types, const char* what) const {
    const FieldDesc& f = checkedField(idx);
    if (f.type == 0 || !std::strchr(types, f.type) || (f.type == 'D' && f.len != 8))
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Das Feld " + f.name + " der Tabelle " + path_ + " ist " + what, path_);
    return f;
}

// ---- positioning ----------------------------------------------------------------------

bool Table::visible() const {
    if (settings().deleted && buf_[0] == kDeletedFlag) return false;
    return index_->passes(recno_, buf_.data());
}

void Table::load(std::uint32_t recno) {
    edge_ = Edge::None;
    if (recno < 1 || recno > dbf_->recordCount()) index_->checkOrderRecord(recno);
    dbf_->readRecord(recno, cold_.data());
    std::memcpy(buf_.data(), cold_.data(), buf_.size());
    recno_ = recno;
}

void Table::standOnPhantom(bool bof) {
    edge_ = Edge::None;
    recno_ = dbf_->recordCount() + 1;
    buf_ = blank_;
    cold_ = blank_;
    eof_ = true;
    bof_ = bof;
}

bool Table::seekVisibleForward(std::uint32_t recno) {
    for (; recno != 0; recno = order_->next()) {
        load(recno);
        if (visible()) {
            bof_ = eof_ = false;
            return true;
        }
    }
    return false;
}

bool Table::seekVisibleBackward(std::uint32_t recno) {
    for (; recno != 0; recno = order_->prev()) {
        load(recno);
        if (visible()) {
            bof_ = eof_ = false;
            return true;
        }
    }
    return false;
}

void Table::goTop() {
    requireOpen();
    commitRecord();
    if (!seekVisibleForward(order_->first())) {
        standOnPhantom(true);
        return;
    }
    edge_ = settings().deleted ? Edge::TopDeletedOn : Edge::TopDeletedOff;
}

void Table::goBottom() {
    requireOpen();
    commitRecord();
    if (!seekVisibleBackward(order_->last())) {
        standOnPhantom(true);
        return;
    }
    edge_ = settings().deleted ? Edge::BottomDeletedOn : Edge::BottomDeletedOff;
}

void Table::skip(std::int64_t n) {
    requireOpen();
    commitRecord();
    if (n == 0) {
        if (!eof_ && recno_ <= dbf_->recordCount()) {
            load(recno_);
            order_->position(recno_, buf_.data());
        }
        bof_ = false;
        return;
    }
    if (n > 0) {
        bof_ = false;
        for (std::int64_t i = 0; i < n && !eof_; ++i)
            if (!seekVisibleForward(order_->next())) standOnPhantom(false);
        return;
    }
    for (std::int64_t i = 0; i < -n; ++i) {
        if (eof_) {
            if (!seekVisibleBackward(order_->last())) {
                standOnPhantom(true);
                return;
            }
            continue;
        }
        const std::uint32_t here = recno_;
        if (!seekVisibleBackward(order_->prev())) {
            // Ran off the start: stay on the first record with bof.
            load(here);
            order_->position(here, buf_.data());
            bof_ = true;
            eof_ = false;
            return;
        }
    }
}

void Table::go(std::uint32_t recno) {
    requireOpen();
    commitRecord();
    if (recno >= 1 && recno <= dbf_->recordCount()) {
        load(recno);
        order_->position(recno, buf_.data());
        bof_ = eof_ = false;
    } else {
        standOnPhantom(dbf_->recordCount() == 0);
    }
}

void Table::setOrder(std::unique_ptr<RecordOrder> order) {
    requireOpen();
    index_->orderReplaced();
    order_ = order ? std::move(order) : std::make_unique<NaturalOrder>(*dbf_);
    if (!eof_ && !appending_) order_->position(recno_, buf_.data());
}

// ---- what the index side may do ---------------------------------------------------------

void Table::readStoredRecord(std::uint32_t recno, std::uint8_t* dst) {
    dbf_->readRecord(recno, dst);
}

TableIndexHost::OrderEnd Table::currentEnd() const {
    if (edge_ == Edge::None || hot_) return OrderEnd::None;
    const bool del = settings().deleted;
    if (edge_ == (del ? Edge::TopDeletedOn : Edge::TopDeletedOff)) return OrderEnd::First;
    if (edge_ == (del ? Edge::BottomDeletedOn : Edge::BottomDeletedOff)) return OrderEnd::Last;
    return OrderEnd::None;
}

void Table::standOn(std::uint32_t recno, bool placeOrder) {
    load(recno);
    if (placeOrder) order_->position(recno, buf_.data());
    bof_ = eof_ = false;
}

// ---- reading records ----------------------------------------------------------------------

void Table::readRecordAt(std::uint32_t recno, std::uint8_t* dst) {
    requireOpen();
    if (recno < 1 || recno > dbf_->recordCount()) throw noSuchRecord(path_, recno);
    dbf_->readRecord(recno, dst);
}

void Table::readScatteredAt(const std::uint32_t* recnos, std::size_t n, std::uint8_t* dst) {
    requireOpen();
    dbf_->readScattered(recnos, n, dst);
}

void Table::checkRecordRange(std::uint32_t first, std::uint32_t n) const {
    if (first < 1 || first > dbf_->recordCount() || n > dbf_->recordCount() - first + 1)
        throw qv::Error(qv::ErrorCode::Range,
                        "Die Tabelle " + path_ + " hat keine Datensätze " + std::to_string(first) +
                            " bis " + std::to_string(std::uint64_t{first} + n - 1),
                        path_, first);
}

void Table::readRecordsAt(std::uint32_t first, std::uint32_t n, std::uint8_t* dst) {
    requireOpen();
    if (n == 0) return;
    checkRecordRange(first, n);
    dbf_->readRecords(first, n, dst);
}

const std::uint8_t* Table::recordsViewAt(std::uint32_t first, std::uint32_t n) {
    requireOpen();
    if (n == 0) return nullptr;
    checkRecordRange(first, n);
    return dbf_->recordsView(first, n);
}

// ---- reading fields -------------------------------------------------------------------

std::string_view Table::raw(int idx) const {
    const FieldDesc& f = checkedField(idx);
    return {reinterpret_cast<const char*>(buf_.data() + f.offset), f.len};
}

double Table::number(int idx) const {
    const FieldDesc& f = fieldOfType(idx, "NF", "kein numerisches Feld");
    return parseNumber({reinterpret_cast<const char*>(buf_.data() + f.offset), f.len});
}

bool Table::isBlank(int idx) const {
    const FieldDesc& f = checkedField(idx);
    if (f.type == 'M') return !memoWritten(idx);
    return xb::isBlank({reinterpret_cast<const char*>(buf_.data() + f.offset), f.len});
}

std::int32_t Table::date(int idx) const {
    const FieldDesc& f = fieldOfType(idx, "D", "kein Datumsfeld");
    return parseDbfDate(reinterpret_cast<const char*>(buf_.data() + f.offset));
}

bool Table::logical(int idx) const {
    const FieldDesc& f = fieldOfType(idx, "L", "kein logisches Feld");
    const std::uint8_t c = buf_[f.offset];
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

std::string Table::getMemo(int idx) {
    MemoValue v = memoValue(idx);
    return v.type == MemoValue::Type::Text ? std::move(v.bytes) : std::string();
}

MemoValue Table::memoValue(int idx) {
    const FieldDesc& f = fieldOfType(idx, "M", "kein Memofeld");
    if (const PendingMemo* p = pendingFor(idx)) {
        MemoValue v;
        if (p->blank) return v;
        if (p->type == SmtFile::kTextType || p->data.empty()) {
            v.type = MemoValue::Type::Text;
            v.bytes = p->data;
            return v;
        }
        return decodeMemoValue(p->data);
    }
    if (!memo_) return {};
    return memo_->read(buf_.data() + f.offset, f.len, recno_);
}

bool Table::memoWritten(int idx) const {
    const FieldDesc& f = fieldOfType(idx, "M", "kein Memofeld");
    for (const PendingMemo& p : pending_)
        if (p.field == idx) return !p.blank;
    return memo_ && memo_->written(buf_.data() + f.offset, f.len);
}

// ---- changing fields ------------------------------------------------------------------

void Table::replaceText(int idx, std::string_view bytes) {
    requireRecord();
    const FieldDesc& f = fieldOfType(idx, "C", "kein Zeichenfeld");
    std::uint8_t* p = buf_.data() + f.offset;
    const std::size_t n = std::min<std::size_t>(bytes.size(), f.len);
    std::memcpy(p, bytes.data(), n);
    std::memset(p + n, ' ', f.len - n);
    markHot();
}

void Table::replaceNumber(int idx, double v) {
    requireRecord();
    const FieldDesc& f = fieldOfType(idx, "NF", "kein numerisches Feld");
    formatNumber(v, f.len, f.dec, reinterpret_cast<char*>(buf_.data() + f.offset));
    markHot();
}

void Table::replaceDate(int idx, std::int32_t jdn) {
    requireRecord();
    const FieldDesc& f = fieldOfType(idx, "D", "kein Datumsfeld");
    formatDbfDate(jdn, reinterpret_cast<char*>(buf_.data() + f.offset));
    markHot();
}

void Table::replaceLogical(int idx, bool v) {
    requireRecord();
    const FieldDesc& f = fieldOfType(idx, "L", "kein logisches Feld");
    buf_[f.offset] = v ? 'T' : 'F';
    markHot();
}

void Table::replaceMemo(int idx, std::string_view text) {
    requireRecord();
    fieldOfType(idx, "M", "kein Memofeld");
    if (!smt_) throw memosReadOnly(path_);
    if (text.size() > 0xFFFFFFFFu)
        throw qv::Error(qv::ErrorCode::InvalidArgument, "Der Memotext ist zu lang", path_);
    setPending({idx, false, SmtFile::kTextType, std::string(text)});
    markHot();
}

void Table::replaceBlank(int idx) {
    requireRecord();
    const FieldDesc& f = fieldOfType(idx, "CNFDLM", "nur lesbar");
    if (f.type == 'M') {
        if (!smt_) throw memosReadOnly(path_);
        setPending({idx, true, 0, {}});
    } else {
        std::memset(buf_.data() + f.offset, ' ', f.len);
    }
    markHot();
}

void Table::deleteRecord() {
    requireRecord();
    buf_[0] = kDeletedFlag;
    markHot();
}

void Table::recall() {
    requireRecord();
    buf_[0] = kActiveFlag;
    markHot();
}

Table::PendingMemo* Table::pendingFor(int idx) {
    for (PendingMemo& p : pending_)
        if (p.field == idx) return &p;
    return nullptr;
}

void Table::setPending(PendingMemo p) {
    if (PendingMemo* old = pendingFor(p.field))
        *old = std::move(p);
    else
        pending_.push_back(std::move(p));
}

// ---- whole records --------------------------------------------------------------------

std::string Table::recordBytes() const {
    requireOpen();
    return std::string(reinterpret_cast<const char*>(buf_.data()), buf_.size());
}

void Table::putRecordBytes(std::string_view bytes) {
    requireRecord();
    if (bytes.size() != buf_.size())
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Der Datensatz passt nicht zur Satzlänge " + std::to_string(buf_.size()) +
                            " der Tabelle " + path_,
                        path_);
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    // Resolve the memo references first, so that a failure leaves the buffer
    // as it was. The buffer keeps the record's own references until commit.
    std::vector<PendingMemo> memos;
    std::vector<int> unchanged;
    const FieldList& fl = fields();
    for (std::size_t i = 0; i < fl.size(); ++i) {
        const FieldDesc& f = fl[i];
        if (f.type != 'M') continue;
        const int idx = static_cast<int>(i);
        if (std::memcmp(in + f.offset, cold_.data() + f.offset, f.len) == 0) {
            unchanged.push_back(idx);
            continue;
        }
        if (!smt_) throw memosReadOnly(path_);
        const SmtRef r = SmtRef::decode(in + f.offset);
        if (r.blank)
            memos.push_back({idx, true, 0, {}});
        else
            memos.push_back({idx, false, r.type, smt_->readStored(r, -1)});
    }
    // Copy everything but the memo references, which stay the record's own.
    std::vector<std::uint8_t> next(in, in + bytes.size());
    for (const FieldDesc& f : fl.all())
        if (f.type == 'M') std::memcpy(next.data() + f.offset, buf_.data() + f.offset, f.len);
    buf_.swap(next);
    for (int idx : unchanged)
        pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                      [idx](const PendingMemo& p) { return p.field == idx; }),
                       pending_.end());
    for (PendingMemo& p : memos)
        setPending(std::move(p));
    markHot();
}

// ---- append, commit, discard ----------------------------------------------------------

void Table::append() {
    requireWritable();
    commitRecord();
    beforeAppend_ = eof_ ? 0 : recno_;
    buf_ = blank_;
    cold_ = blank_;
    pending_.clear();
    recno_ = dbf_->recordCount() + 1;
    appending_ = true;
    hot_ = true;
    bof_ = eof_ = false;
}

void Table::commitMemos(std::vector<MemoExtent>& toRelease) {
    bool allocated = false;
    for (const PendingMemo& p : pending_) {
        const FieldDesc& f = fields()[static_cast<std::size_t>(p.field)];
        SmtRef ref;
        if (!p.blank) {
            ref.blank = false;
            ref.type = p.type;
            ref.length = static_cast<std::uint32_t>(p.data.size());
            const std::uint32_t blocks = smt_->blocksFor(p.data.size());
            if (blocks > 0) {
                ref.block = smt_->allocate(blocks);
                allocated = true;
                smt_->writeData(ref.block, p.data);
            }
        }
        ref.encode(buf_.data() + f.offset);
        const MemoExtent old = smt_->extentOf(SmtRef::decode(cold_.data() + f.offset));
        if (old.blocks) toRelease.push_back(old);
    }
    if (allocated) smt_->writeHeader();
}

void Table::releaseMemos(const std::vector<MemoExtent>& extents) {
    if (extents.empty()) return;
    for (const MemoExtent& e : extents)
        smt_->release(e);
    smt_->writeHeader();
}

void Table::requireRoomForCommit() {
    const FileLimits& limits = fileLimits();
    if (appending_) {
        const std::uint64_t after =
            dbf_->headerLength() + (std::uint64_t{recCount()} + 1) * recordLength() + 1;
        if (after > limits.tableBytes)
            throwLimit("Die Tabelle", path_,
                       "eine Tabellendatei darf höchstens " + sizeText(limits.tableBytes) +
                           " groß werden");
    }
    if (smt_ && !pending_.empty()) {
        std::vector<std::uint32_t> blocks;
        for (const PendingMemo& p : pending_)
            if (!p.blank) blocks.push_back(smt_->blocksFor(p.data.size()));
        if (smt_->nextFreeAfter(blocks) > limits.memoBlocks)
            throwLimit("Die Memodatei", smt_->path(),
                       "sie darf höchstens " + std::to_string(limits.memoBlocks) + " Blöcke haben");
    }
    index_->requireRoomForCommit();
}

void Table::commitRecord() {
    if (!hot_) return;
    requireWritable();
    // 0. Nothing is written when a file would pass its format's limit.
    requireRoomForCommit();
    // 1. New memo data and the memo header; the old blocks stay in use.
    std::vector<MemoExtent> toRelease;
    if (!pending_.empty() && smt_) commitMemos(toRelease);
    // 2. The record itself, after the index's crash marker.
    index_->beforeRecordWrite();
    const bool wasAppend = appending_;
    std::uint32_t recno = recno_;
    try {
        if (wasAppend)
            recno = dbf_->appendRecord(buf_.data());
        else
            dbf_->writeRecord(recno, buf_.data());
    } catch (...) {
        // In a batch the write may have been of records held before, which
        // the index already names.
        if (batch_ > 0) index_->recordsLost();
        throw;
    }
    if (!wasAppend && (index_->wantsOldRecord() || !observers_.empty())) oldScratch_ = cold_;
    cold_ = buf_;
    hot_ = appending_ = false;
    recno_ = recno;
    pending_.clear();
    index_->invalidateView();
    // 3. Index maintenance and the other observers, then 4. the old memo
    // blocks go back to free space.
    try {
        index_->recordCommitted(recno, wasAppend ? nullptr : oldScratch_.data(), cold_.data());
        for (RecordObserver* o : observers_)
            o->recordCommitted(recno, wasAppend ? nullptr : oldScratch_.data(), cold_.data());
    } catch (...) {
        order_->position(recno_, buf_.data());
        releaseMemos(toRelease);
        throw;
    }
    order_->position(recno_, buf_.data());
    releaseMemos(toRelease);
}

void Table::discard() {
    requireOpen();
    if (!hot_) return;
    pending_.clear();
    hot_ = false;
    if (appending_) {
        appending_ = false;
        if (beforeAppend_ >= 1 && beforeAppend_ <= dbf_->recordCount()) {
            load(beforeAppend_);
            order_->position(recno_, buf_.data());
            bof_ = eof_ = false;
        } else {
            standOnPhantom(false);
        }
        return;
    }
    load(recno_);
}

void Table::beginBatch(bool deferTags, std::size_t expectedChanges) {
    requireWritable();
    if (batch_ > 0) {  // the outermost batch decides
        ++batch_;
        return;
    }
    if (deferTags) index_->beginDeferredUpkeep(expectedChanges);
    ++batch_;
    dbf_->batchAppends(true);
    index_->beginBatch();
}

void Table::writeHeldAppends() {
    requireWritable();
    commitRecord();
    dbf_->writeAppends();
}

void Table::endBatch() {
    if (batch_ == 0 || --batch_ > 0) return;
    // The held appends reach the file before the index pages that name them.
    if (dbf_) {
        try {
            dbf_->batchAppends(false);
        } catch (...) {
            index_->recordsLost();
            index_->endBatch();
            throw;
        }
    }
    try {
        index_->endDeferredUpkeep();
    } catch (...) {
        index_->endBatch();
        throw;
    }
    index_->endBatch();
}

Table::TakeBackPoint Table::takeBackPoint() {
    requireWritable();
    commitRecord();
    TakeBackPoint p;
    p.count = dbf_->recordCount();
    if (smt_) p.memo = smt_->allocation();
    return p;
}

void Table::takeBack(const TakeBackPoint& point, const std::vector<RecordImage>& originals) {
    requireWritable();
    pending_.clear();
    hot_ = appending_ = false;
    if (batch_ > 0) {
        batch_ = 0;
        index_->endBatchUnwritten();
    }
    dbf_->cutBack(point.count);
    dbf_->batchAppends(false);  // nothing is held any more
    for (const RecordImage& r : originals) {
        if (r.recno < 1 || r.recno > dbf_->recordCount()) continue;
        if (r.bytes.size() != recordLength())
            throw qv::Error(
                qv::ErrorCode::InvalidArgument,
                "Der Datensatz passt nicht zur Satzlänge " + std::to_string(recordLength()), path_,
                r.recno);
        dbf_->writeRecord(r.recno, reinterpret_cast<const std::uint8_t*>(r.bytes.data()));
    }
    // The records name no block allocated since the point any more.
    if (smt_ && point.memo) smt_->restoreAllocation(*point.memo);
    index_->rebuildFromRecords();
    goTop();
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

// ---- observers --------------------------------------------------------------------------

void Table::addObserver(RecordObserver* o) {
    if (std::find(observers_.begin(), observers_.end(), o) == observers_.end())
        observers_.push_back(o);
}

void Table::removeObserver(RecordObserver* o) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

}  // namespace xb
