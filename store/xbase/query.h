// The query planner: answers a logical expression over a table as the set of
// matching record numbers, from index tags where it can and by evaluating
// records where it must, and tells beforehand how far the tags reach.
//
//   xb::QuerySource src = xb::querySource(table, index);   // index may be null
//   int level = xb::queryTest(src, "upper(bezeich)=\"WIN\" .and. boxnummer=7");
//   xb::RecordSet hits = xb::runQuery(src, "upper(bezeich)=\"WIN\" .and. boxnummer=7");
//
// Clauses. The expression is read as a tree of .and., .or. and .not. over
// clauses. A clause is optimisable when it is
//   * a comparison (=, ==, <>, <, <=, >, >=, either side order) of an
//     expression whose canonical text equals the key of a usable tag with a
//     constant of the key's type: upper(bezeich)="WIN", 7=boxnummer; or
//   * constant altogether (.T., 1=2): it needs no record at all.
// Every other clause (a field without a tag, prog01="x", deleted(), a
// comparison of two fields) is answered by evaluation.
//
// Usable tags. A tag of the index serves a clause when
//   * its key compiles against the table's fields, its key type is the
//     expression's type, and the key holds the whole value: character keys
//     only when the expression has the same length on every record (fields,
//     upper()/lower(), str() with a constant width, concatenations of those,
//     dtos(), substrings with constant bounds) and that length is the key
//     length (a key cut at 250 bytes cannot answer comparisons on the whole
//     value); numeric keys only without * and / (a product can overflow to
//     infinity and on to NaN, which is unequal to everything but still has a
//     place among the keys);
//   * it is not unique (a unique tag leaves out records with repeated keys);
//   * it has no FOR condition, or its FOR condition is `not deleted()` in
//     any spelling (.not. deleted(), !deleted(), NOT DELETED()) and
//     settings().deleted is on: such a tag holds exactly the records that are
//     not flagged, and flagged records are invisible then anyway. Tags with
//     any other condition are not used.
// When several usable tags share a key, one with the `not deleted()`
// condition is preferred (it is smaller and its answers hold no flagged
// record).
//
// Ranges. A comparison with a constant is a union of at most three
// contiguous key ranges, found by seeks in the tag: with settings().exact
// off, upper(bezeich)="WIN" is the range of keys beginning with "WIN"; with
// exact on it is the one key "WIN" padded with blanks; == needs a constant as
// long as the key; <, <=, >, >= follow the same prefix rules, byte order, as
// the evaluator does; a constant longer than the key matches nothing under =
// with exact off. Numbers, dates and logicals compare through their 8-byte
// or 'T'/'F' keys.
//
// Verdict. queryTest() counts the clauses: 2 when every clause is optimisable,
// 1 when some are, 0 when none is (also when there is no index). It counts an
// .or. with an unoptimisable branch by its clauses too (the branch then costs
// a scan of the records the other branches leave open). A .not. over an
// optimisable clause stays optimisable: it is answered as the complement of
// the clause's records within 1 ... recCount.
//
// Answering. Every subexpression gets two record sets from the index: the
// records that surely match (lower bound) and the records that may match
// (upper bound). An optimisable clause has both equal to its tag ranges, an
// evaluated clause the empty set and all records; .and. intersects both
// bounds, .or. unites them, .not. swaps them and takes complements. The
// result is the lower bound plus those records between the bounds on which
// the whole expression evaluates true. So an .and. reads only the records its
// optimisable clauses leave, an .or. with an unoptimisable branch reads the
// records its other branches did not already find, and an expression nothing
// can optimise reads every record once. A fully optimisable query reads no
// record (but see the deleted setting below).
//
// Records and the deleted setting. The result equals the evaluation of the
// whole expression on every record 1 ... recCount under the current
// settings().exact. With settings().deleted on, the result holds no flagged
// record at all: flagged records are skipped while evaluating, and a lower
// bound that may hold flagged records (from a tag without condition, or from a
// complement) has the deletion flags of its records read. So count() of the
// result is the number of visible matches. With the setting off, flagged
// records are records like any other.
//
// The source's records and index must agree: the planner reads what
// readRecords returns (the committed records) and trusts the tags to hold
// the keys of those. The caller commits a changed record before it asks.
//
// The empty text is the caller's "lift the query" and must not be passed:
// like any expression that is not a valid condition, it raises the
// compiler's qv::Error(Syntax) naming the expression. A malformed expression
// (an unbalanced quote, upper(bezeich)="WIN) does the same. A damaged index
// raises qv::Error(Corrupt) naming the index file, a tag that points past the
// last record included.
//
// Settings are read at the call; not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/field.h"
#include "store/xbase/query_set.h"

namespace xb {

class NsxFile;
class Table;

// Reads `count` consecutive records beginning with record `first` (1-based,
// first + count - 1 <= recCount) into `dst`, count * recordLength() bytes,
// each as in the file (deletion flag at byte 0). The planner asks for runs
// of up to 256 KiB when many records of a stretch are wanted, single records
// otherwise, always in ascending record order; a run should be one read.
using RecordReader =
    std::function<void(std::uint32_t first, std::uint32_t count, std::uint8_t* dst)>;

// What a query runs on: one table with its production index.
struct QuerySource {
    const FieldList* fields = nullptr;  // the table's fields; must outlive the call
    std::uint32_t recCount = 0;         // records 1 ... recCount take part
    RecordReader readRecords;
    NsxFile* index = nullptr;  // the production index, or null when the table has none
};

// A source over an open table: its fields, its committed record count and
// reads through Table::readRecordAt(). The table (and index) must outlive
// the source.
QuerySource querySource(Table& table, NsxFile* index);

// The verdicts of queryTest().
enum QueryLevel : int {
    kQueryNotOptimised = 0,
    kQueryPartlyOptimised = 1,
    kQueryFullyOptimised = 2,
};

// How far the index tags answer `text` on `src`: 0, 1 or 2 (see above).
// Reads no record. Throws qv::Error(Syntax) for an expression that is not a
// valid condition over the source's fields.
int queryTest(const QuerySource& src, std::string_view text);

// What runQuery() did, for tests and the benchmark.
struct QueryStats {
    int level = 0;  // the verdict queryTest() gives
    // Names of the tags read, one per comparison answered from a tag, in
    // expression order. An .and. found empty stops reading tags early.
    std::vector<std::string> tagsUsed;
    std::uint64_t indexEntries = 0;      // tag entries walked
    std::uint64_t recordsRead = 0;       // records fetched through readRecords, runs included
    std::uint64_t recordsExamined = 0;   // the wanted ones among them
    std::uint64_t recordsEvaluated = 0;  // records the expression was evaluated on
};

// The records 1 ... src.recCount on which `text` is true (see above), as a
// set of size src.recCount. Throws qv::Error(Syntax) for an expression that
// is not a valid condition, qv::Error(Corrupt) for a damaged index, and what
// readRecords throws.
RecordSet runQuery(const QuerySource& src, std::string_view text, QueryStats* stats = nullptr);

}  // namespace xb
