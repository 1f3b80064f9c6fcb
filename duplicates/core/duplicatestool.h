// The store tool's twins of the duplicates window and the carrier comparison:
//
//   qvdb dupes DIR [--min-size N] [--by name|name-date|size-date] [--ext E[,E...]]
//
// prints one block per group of copies, largest wasted space first: a line
// "group<TAB>SIZE<TAB>COPIES", then one line per copy
// "OWNER<TAB>TITLE<TAB>PATH"; the last line is
// "groups<TAB>G<TAB>copies<TAB>C<TAB>bytes<TAB>B" (B: the space the copies
// beyond the first of each group take).
//
//   qvdb compare DIR ENTRY [--by name|name-date|size-date]
//
// compares the files of the entry numbered ENTRY with those of every other
// entry: "elsewhere<TAB>OWNER<TAB>TITLE<TAB>COUNT<TAB>BYTES" per entry that
// holds some of them (most files first), "only<TAB>PATH" per file found
// nowhere else (in path order), last "verdict<TAB>ONLY_COUNT<TAB>ONLY_BYTES".
//
// Both exit with 0; a wrong call or an error of the catalogue exits with 1.
#pragma once

#include "catalogue/qvdb.h"

namespace qv {

void addDuplicateToolCommands();

}  // namespace qv
