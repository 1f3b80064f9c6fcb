// The commands of qvdb, the store tool, callable in-process.
//
//   qvdb info FILE.dbf       header facts, fields, memo file facts
//   qvdb dump FILE.dbf       one JSON object per record (JSON Lines)
//   qvdb create FILE.dbf NAME:TYPE[:WIDTH[:DEC]] ...
//   qvdb append FILE.dbf     appends the JSON objects read from `in`
//
// Each returns the process exit status: 0 on success, 1 with a message on
// `err` otherwise. Engine errors are passed through with their German text.
// Tables are opened read-only for info and dump, exclusively otherwise, and
// every change goes through xb::Table.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qvdb {

// Runs the command named by args[0] with the rest as its arguments.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

int info(const std::string& file, std::ostream& out);
int dump(const std::string& file, std::ostream& out);
int create(const std::string& file, const std::vector<std::string>& defs, std::ostream& err);
int append(const std::string& file, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace qvdb
