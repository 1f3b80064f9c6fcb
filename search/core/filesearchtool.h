// The store tool's twin of the search in all files:
//
//   qvdb find DIR (--name|--ext) TEXT [--limit N]
//
// searches TEXT as the beginning of a file name (--name) or of an extension
// (--ext) in the catalogue in DIR, as the window's search does. The first
// line is "found" or "notfound"; after "found" up to N rows (default 20) from
// the file found on, in the order searched, each "OWNER<TAB>TITLE<TAB>PATH":
// the owning entry's number, its title and the file's path, both trimmed.
// Both answers exit with 0; a wrong call or an error of the catalogue exits
// with 1.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "catalogue/qvdb.h"

namespace qv {

int runFindCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
qvdb::FeatureCommand findToolCommand();

}  // namespace qv
