// Checking a table's production index against its records.
//
// checkIndex() runs NsxFile::verify() (tree structure, page rules, key
// order inside the pages) and then compares every tag with the records:
// every record whose FOR condition holds has exactly its key in the tag, no
// other entry is there, the entries are in (key, record number) order and the
// tag's count matches its entries. Unique tags hold each key once, the
// entry's record carries that key and passes the condition.
//
// Faults are returned as German texts naming the index file and the tag;
// an empty result means the index matches the table. A table without an
// index has nothing to check.
#pragma once

#include <string>
#include <vector>

#include "store/xbase/table.h"

namespace xb {

std::vector<std::string> checkIndex(Table& table);

// Opens the table at `path` read-only and checks it; an error on the way
// (a table or index that cannot be opened) is returned as a fault.
std::vector<std::string> checkTableFile(const std::string& path);

}  // namespace xb
