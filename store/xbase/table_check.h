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

// A memo reference that points where no memo can be: into the memo file's
// header, or with its blocks or its length past the end of the file or past
// the next free block (the space the next memo written would take).
struct MemoFault {
    std::uint32_t recno = 0;
    int field = 0;     // field index
    std::string text;  // German, naming the field, block and length
};
// Every memo reference of every record of an SMT table (none for others).
std::vector<MemoFault> checkMemos(Table& table);

// Opens the table at `path` read-only and checks its index and its memo
// references (one fault per damaged reference, naming the record), and
// that a production index its header announces is there; an error on the way
// (a table or index that cannot be opened) is returned as a fault.
std::vector<std::string> checkTableFile(const std::string& path);

}  // namespace xb
