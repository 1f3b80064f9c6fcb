// Helpers of the query tests: a table opened beside its index, tags built from
// the records, entry tables like the catalogue's, and the brute-force answer
// a query must equal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "store/xbase/nsx_file.h"
#include "store/xbase/query.h"
#include "store/xbase/table.h"

namespace querytest {

// A table and its production index, opened side by side (table first).
struct IndexedTable {
    std::unique_ptr<xb::Table> table;
    std::unique_ptr<xb::NsxFile> index;

    xb::QuerySource source() { return xb::querySource(*table, index.get()); }
};

// Opens <dir>/<name>.dbf and, when it exists, <dir>/<name>.nsx.
IndexedTable openIndexed(const std::filesystem::path& dir, const std::string& name);

// Builds (or re-creates) a tag over the committed records of the table: key
// and FOR evaluated on every record, as the table layer will do.
void buildTag(IndexedTable& t, const std::string& name, const std::string& key,
              const std::string& forText = {}, bool unique = false);

// One entry of the entry table; every field given here is written.
struct Entry {
    std::string title;
    std::string category;
    std::string carrier;
    int box = 0;
    int disk = 0;
    int unique = 0;
    std::string flag01;  // Prog01, one character
    bool deleted = false;
};

// Creates <dir>/_qvdisk.dbf with the catalogue's 22 fields, appends the
// entries, and builds the nine tags of the catalogue in their order (FOR
// texts "not deleted()" with the bare word, as the fixtures carry them).
IndexedTable makeEntryTable(const std::filesystem::path& dir, const std::vector<Entry>& entries);

// The nine tags: name, key, FOR.
struct TagDef {
    const char* name;
    const char* key;
    const char* forText;
};
const std::vector<TagDef>& entryTags();

// Records 1 ... recCount on which `text` evaluates true, reading every
// record (settings as they are now).
xb::RecordSet bruteForce(xb::Table& t, const std::string& text);

// Checks that `got` is the brute-force answer under the deleted setting:
// equal with it off; with it on equal on unflagged records and free of
// flagged ones. Returns "" or a description of the first difference.
std::string compareWithBruteForce(xb::Table& t, const xb::RecordSet& got,
                                  const xb::RecordSet& brute);

}  // namespace querytest
