// Inside the query planner: the usable tags of a source, the key ranges of one
// comparison, and the plan tree runQuery() executes. Only query*.cpp and the
// tests include this header.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "store/xbase/expr.h"
#include "store/xbase/query.h"

namespace xb {

class NsxTag;

namespace query {

// A tag the planner may answer comparisons from.
struct UsableTag {
    NsxTag* tag = nullptr;
    ExprType type = ExprType::Character;
    int keyLen = 0;
    bool hidesFlagged = false;  // FOR not deleted(): holds exactly the unflagged records
};

// The usable tags of the source's index by the canonical text of their key
// (see query.h for the rules; they depend on settings().deleted). Empty
// without an index.
std::map<std::string, UsableTag> usableTags(const QuerySource& src);

// Whether the character expression has the same length on every record.
bool fixedLength(const ExprNode& n);

// The keys of a tag fall into five classes relative to a comparison's
// constant, in key order:
//   0  keys whose leading probe bytes are below the probe
//   1  keys that begin with the probe and are below `full`
//   2  the key `full`
//   3  keys that begin with the probe and are above `full`
//   4  keys whose leading probe bytes are above the probe
// `full` is the probe padded with blanks to the key length (or the probe
// itself when that is already as long as the key, and classes 1 and 3 are
// then empty). A comparison holds on all keys of a class or on none.
struct KeyRange {
    UsableTag tag;
    std::string probe;
    std::string full;
    bool take[5] = {};

    int classify(const char* key) const;
    bool empty() const;
};

// The key ranges of comparison `cmp` when a usable tag answers it; false when
// none does. Reads the constant under the current settings().exact.
bool keyRangeOf(const ExprNode& cmp, const std::map<std::string, UsableTag>& tags, KeyRange& out);

// The plan of one node of the expression.
struct PlanNode {
    enum Kind { Constant, Range, Evaluate, And, Or, Not };
    Kind kind = Evaluate;
    bool value = false;  // Constant
    KeyRange range;      // Range
    std::vector<PlanNode> kids;
};

// Plans the compiled condition; counts optimisable and all clauses.
PlanNode plan(const ExprNode& root, const std::map<std::string, UsableTag>& tags, int& optimisable,
              int& clauses);

}  // namespace query
}  // namespace xb
