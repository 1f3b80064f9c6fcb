// Helpers shared by the engine tests: the catalogue's table layouts, the
// fixtures' expected JSON, and a structural check of a table's memo file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QJsonObject>
#include <QString>

#include "store/xbase/table.h"

namespace xbtest {

struct FieldDef {
    const char* name;
    char type;
    int width;
    int dec;
};

// The six catalogue tables as the program creates them (names as created).
const std::vector<FieldDef>& layoutOf(const std::string& table);
const std::vector<std::string>& catalogueTables();

// Creates a table with these fields at `path`.
void createTable(const std::string& path, const std::vector<FieldDef>& fields);

// The expected JSON of a fixture table.
QJsonObject loadExpected(const std::string& jsonPath);

// A JSON string (Windows-1252 bytes written as code points) back to bytes.
std::string toCp1252(const QString& s);

// Checks the memo file of an open SMT table against every record: live memos
// inside the data area and the file, no two overlapping, free-list entries
// inside the data area, sorted by size, overlapping neither each other nor a
// live memo, none ending at the next free block. Returns "" when all holds,
// else a description of the first problem.
std::string checkMemoStructure(xb::Table& t);

}  // namespace xbtest
