// The commands of qvdb, the store tool, callable in-process.
//
//   qvdb info FILE.dbf       header facts, fields, memo file facts
//   qvdb dump FILE.dbf       one JSON object per record (JSON Lines); a memo
//                            that cannot be read is reported on `err` and
//                            dumped as null (exit 1)
//   qvdb create FILE.dbf NAME:TYPE[:WIDTH[:DEC]] ...
//   qvdb append FILE.dbf     appends the JSON objects read from `in`
//   qvdb tags FILE.dbf       one line per tag: position, name, key, condition,
//                            key count (tab-separated)
//   qvdb walk FILE.dbf TAG   one line per key in tag order: record number, a
//                            blank, the key bytes in lower-case hex
//   qvdb seek FILE.dbf TAG KEY [--soft]
//                            "found RECNO", "notfound RECNO" (where a soft seek
//                            stands) or "notfound eof"; KEY is UTF-8 text
//                            (converted to Windows-1252), a number on a
//                            numeric tag, YYYYMMDD on a date tag
//   qvdb index FILE.dbf TAG KEY [FOR]
//                            adds (or re-creates) a tag in the table's index
//   qvdb reindex FILE.dbf    rebuilds every tag
//   qvdb check PATH          checks the index of a table, or of every table in
//                            a directory, against the records; exit 1 and one
//                            line per fault when something is wrong
//   qvdb init DIR            the program's start-up check on a catalogue
//                            directory: creates missing tables, builds missing
//                            or unusable index files; prints the progress
//                            texts and the bar's values, one per line
//   qvdb reorg DIR           the program's reorganisation without asking:
//                            deletes the index files, packs the six tables,
//                            builds the index files anew (same output)
//
// check, init and reorg without PATH or DIR work on the program's catalogue
// directory (qv::defaultProgramDirectory: beside qvdb, or the user's data
// folder when qvdb is installed).
//
// TAG is a tag name (any case) or its position.
//
// Each returns the process exit status: 0 on success, 1 with a message on
// `err` otherwise. Engine errors are passed through with their German text.
// Tables are opened read-only for info and dump, exclusively otherwise, and
// every change goes through xb::Table.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qvdb {

// A command a feature of the program adds to the tool: it runs the
// feature's own operation on a catalogue, without windows. `run` gets the
// arguments after the command's name and returns the exit status; errors it
// raises are reported like the built-in commands' ("qvdb: <text>", exit 1).
struct FeatureCommand {
    std::string name;
    std::string usage;  // the usage line(s) after "qvdb ", without a newline at the end
    std::function<int(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                      std::ostream& err)>
        run;
};
// Adds a command (the tool's main adds every feature's before run()).
void addCommand(FeatureCommand command);
// Adds the commands of every feature (defined with the tool's main).
void addFeatureCommands();

// Runs the command named by args[0] with the rest as its arguments.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

int info(const std::string& file, std::ostream& out);
int dump(const std::string& file, std::ostream& out, std::ostream& err);
int create(const std::string& file, const std::vector<std::string>& defs, std::ostream& err);
int append(const std::string& file, std::istream& in, std::ostream& out, std::ostream& err);
int tags(const std::string& file, std::ostream& out);
int walk(const std::string& file, const std::string& tag, std::ostream& out, std::ostream& err);
int seek(const std::string& file, const std::string& tag, const std::string& key, bool soft,
         std::ostream& out, std::ostream& err);
int index(const std::string& file, const std::string& tag, const std::string& key,
          const std::string& forExpr, std::ostream& out);
int reindex(const std::string& file, std::ostream& out);
int check(const std::string& path, std::ostream& out, std::ostream& err);
int init(const std::string& dir, std::ostream& out, std::ostream& err);
int reorg(const std::string& dir, std::ostream& out, std::ostream& err);

}  // namespace qvdb
