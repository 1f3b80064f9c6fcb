// The store tool's command for the import:
//
//   qvdb import DIR SOURCE.dbf
//
// imports SOURCE.dbf into the catalogue in DIR with the program's own
// import. Output: "numbers<TAB>FIRST<TAB>LAST" when something was imported,
// then "imported<TAB>N" as the last line.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qv {

// Runs the command with the arguments after its name; returns the exit
// status (errors are raised as qv::Error for the tool to report).
int runImportTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err);

}  // namespace qv
