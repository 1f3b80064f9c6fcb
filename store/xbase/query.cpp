// Running a query: tag ranges into record sets, the bounds of every
// subexpression, and the evaluation of the records between them.
#include "store/xbase/query.h"

#include <algorithm>
#include <utility>

#include "store/xbase/dbf_header.h"
#include "store/xbase/error.h"
#include "store/xbase/expr.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/query_plan.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"

namespace xb {

using query::KeyRange;
using query::PlanNode;

namespace {

// Bytes fetched per read when many records of a stretch are wanted.
constexpr std::size_t kReadRunBytes = 256 * 1024;
// A stretch is read in one run when at least one record in this many is wanted.
constexpr std::uint64_t kDenseRatio = 8;

// One bound of a subexpression: no record, every record, or a set.
struct Bound {
    enum Kind { None, All, Some };
    Kind kind = None;
    RecordSet set;      // Some
    bool clean = true;  // known to hold no flagged record

    static Bound none() { return {}; }
    static Bound all() { return {All, {}, false}; }
};

struct Bounds {
    Bound lo;  // records that surely match
    Bound hi;  // records that may match
};

Bound intersect(Bound a, Bound b) {
    if (a.kind == Bound::None || b.kind == Bound::None) return Bound::none();
    if (a.kind == Bound::All) {
        b.clean = b.clean || a.clean;
        return b;
    }
    if (b.kind == Bound::Some) {
        a.set &= b.set;
        if (a.set.none()) return Bound::none();
    }
    a.clean = a.clean || b.clean;
    return a;
}

Bound unite(Bound a, Bound b) {
    if (a.kind == Bound::All || b.kind == Bound::All) return Bound::all();
    if (a.kind == Bound::None) return b;
    if (b.kind == Bound::Some) a.set |= b.set;
    a.clean = a.clean && b.clean;
    return a;
}

Bound complement(Bound a) {
    if (a.kind == Bound::None) return Bound::all();
    if (a.kind == Bound::All) return Bound::none();
    a.set.complement();
    if (a.set.none()) return Bound::none();
    a.clean = false;
    return a;
}

class Runner {
  public:
    Runner(const QuerySource& src, QueryStats& stats) : src_(src), stats_(stats) {}

    Bounds bounds(const PlanNode& p) {
        switch (p.kind) {
            case PlanNode::Constant:
                return p.value ? Bounds{Bound::all(), Bound::all()}
                               : Bounds{Bound::none(), Bound::none()};
            case PlanNode::Range: {
                Bound b = walk(p.range);
                return {b, b};
            }
            case PlanNode::Evaluate:
                return {Bound::none(), Bound::all()};
            case PlanNode::And:
            case PlanNode::Or: {
                auto combine = p.kind == PlanNode::And ? intersect : unite;
                Bounds acc = bounds(p.kids[0]);
                for (std::size_t i = 1; i < p.kids.size(); ++i) {
                    // An .and. already known to match nothing needs no more tags.
                    if (p.kind == PlanNode::And && acc.hi.kind == Bound::None) break;
                    Bounds k = bounds(p.kids[i]);
                    acc.lo = combine(std::move(acc.lo), std::move(k.lo));
                    acc.hi = combine(std::move(acc.hi), std::move(k.hi));
                }
                return acc;
            }
            case PlanNode::Not: {
                Bounds k = bounds(p.kids[0]);
                return {complement(std::move(k.hi)), complement(std::move(k.lo))};
            }
        }
        return {Bound::none(), Bound::all()};
    }

    // Calls fn(recno, record) for every member of `which`, in record order.
    template <typename Fn>
    void readEach(const RecordSet& which, Fn&& fn) {
        const std::size_t len = src_.fields->recordLength();
        const std::uint32_t run =
            static_cast<std::uint32_t>(std::max<std::size_t>(1, kReadRunBytes / len));
        buf_.resize(std::size_t{run} * len);
        for (std::uint32_t r = which.first(); r != 0;) {
            const auto windowEnd = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(std::uint64_t{r} + run - 1, src_.recCount));
            const std::uint32_t e = which.prev(windowEnd + 1);
            const std::uint64_t wanted = which.countRange(r, e);
            if (wanted * kDenseRatio >= std::uint64_t{e} - r + 1) {
                src_.readRecords(r, e - r + 1, buf_.data());
                stats_.recordsRead += e - r + 1;
                for (std::uint32_t x = r; x != 0 && x <= e; x = which.next(x))
                    fn(x, buf_.data() + std::size_t{x - r} * len);
            } else {
                for (std::uint32_t x = r; x != 0 && x <= e; x = which.next(x)) {
                    src_.readRecords(x, 1, buf_.data());
                    ++stats_.recordsRead;
                    fn(x, buf_.data());
                }
            }
            r = which.next(e);
        }
    }

  private:
    // The records of the keys the range takes.
    Bound walk(const KeyRange& kr) {
        stats_.tagsUsed.push_back(kr.tag.tag->name());
        Bound b{Bound::Some, RecordSet(src_.recCount), kr.tag.hidesFlagged};
        NsxTag& tag = *kr.tag.tag;
        NsxCursor c(tag);
        for (int i = 0; i < 5;) {
            if (!kr.take[i]) {
                ++i;
                continue;
            }
            int j = i;
            while (j + 1 < 5 && kr.take[j + 1])
                ++j;
            // Stand on the first key of class i.
            bool ok;
            switch (i) {
                case 0:
                    ok = c.first();
                    break;
                case 1:
                    c.seek(kr.probe);
                    ok = c.valid();
                    break;
                case 2:
                    c.seek(kr.full);
                    ok = c.valid();
                    break;
                case 3:
                    c.seekLast(kr.full);
                    ok = c.next();
                    break;
                default:
                    c.seekLast(kr.probe);
                    ok = c.next();
                    break;
            }
            for (; ok && kr.classify(c.key().data()) <= j; ok = c.next()) {
                const std::uint32_t r = c.recno();
                if (r == 0 || r > src_.recCount)
                    tag.file().corrupt("Tag " + tag.name() + " verweist auf den Datensatz " +
                                       std::to_string(r) + ", die Tabelle hat nur " +
                                       std::to_string(src_.recCount));
                b.set.set(r);
                ++stats_.indexEntries;
            }
            i = j + 1;
        }
        if (b.set.none()) return Bound::none();
        return b;
    }

    const QuerySource& src_;
    QueryStats& stats_;
    std::vector<std::uint8_t> buf_;
};

RecordSet materialise(const Bound& b, std::uint32_t n) {
    if (b.kind == Bound::Some) return b.set;
    return RecordSet(n, b.kind == Bound::All);
}

struct Compiled {
    Expr expr;
    PlanNode plan;
    int level = 0;
};

Compiled compileQuery(const QuerySource& src, std::string_view text) {
    if (!src.fields)
        throw qv::Error(qv::ErrorCode::InvalidArgument, "Die Abfrage hat keine Tabelle");
    Compiled c;
    c.expr = Expr::compileCondition(text, *src.fields);
    int optimisable = 0, clauses = 0;
    c.plan = query::plan(c.expr.root(), query::usableTags(src), optimisable, clauses);
    c.level = optimisable == 0         ? kQueryNotOptimised
              : optimisable == clauses ? kQueryFullyOptimised
                                       : kQueryPartlyOptimised;
    return c;
}

}  // namespace

QuerySource querySource(Table& table, NsxFile* index) {
    QuerySource s;
    s.fields = &table.fields();
    s.recCount = table.recCount();
    s.index = index;
    const std::size_t len = table.recordLength();
    s.readRecords = [&table, len](std::uint32_t first, std::uint32_t count, std::uint8_t* dst) {
        for (std::uint32_t i = 0; i < count; ++i)
            table.readRecordAt(first + i, dst + std::size_t{i} * len);
    };
    return s;
}

int queryTest(const QuerySource& src, std::string_view text) {
    return compileQuery(src, text).level;
}

RecordSet runQuery(const QuerySource& src, std::string_view text, QueryStats* stats) {
    QueryStats local;
    QueryStats& st = stats ? *stats : local;
    st = QueryStats{};
    Compiled c = compileQuery(src, text);
    st.level = c.level;
    const std::uint32_t n = src.recCount;
    if (n == 0) return RecordSet(0);

    Runner run(src, st);
    Bounds b = run.bounds(c.plan);
    RecordSet result = materialise(b.lo, n);
    // Records between the bounds are decided by evaluation; with the deleted
    // setting on, a lower bound that may hold flagged records has them checked.
    const bool hideFlagged = settings().deleted;
    const bool checkLo = hideFlagged && !b.lo.clean && b.lo.kind != Bound::None;
    if (b.hi.kind == Bound::None) return result;
    RecordSet open = materialise(b.hi, n);
    open -= result;
    if (open.none() && !checkLo) return result;
    RecordSet toRead = checkLo ? (open | result) : open;
    run.readEach(toRead, [&](std::uint32_t r, const std::uint8_t* rec) {
        ++st.recordsExamined;
        if (hideFlagged && rec[0] == kDeletedFlag) {
            result.reset(r);
            return;
        }
        if (!open.test(r)) return;
        ++st.recordsEvaluated;
        if (c.expr.evalBool(RecordRef{rec, r})) result.set(r);
    });
    return result;
}

}  // namespace xb
