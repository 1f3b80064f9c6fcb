// The index side of the engine table: the query subset, found by the query
// planner, and the filter.
#include "store/xbase/error.h"
#include "store/xbase/query.h"
#include "store/xbase/table_index.h"

namespace xb {

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

}  // namespace xb
