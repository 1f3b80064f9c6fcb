// The store tool's search by any part of a name:
//
//   qvdb search DIR PATTERN [--ext E[,E...]] [--min-size N] [--max-size N]
//               [--after YYYYMMDD] [--before YYYYMMDD] [--limit N] [--count]
//
// PATTERN as in namepattern.h. One line per match, in file-table order:
// "OWNER<TAB>TITLE<TAB>SIZE<TAB>DATE<TAB>FULLPATH" (DATE as YYYYMMDD, empty
// for none; FULLPATH the kept full name, else the stored path, trimmed),
// then "matches<TAB>N"; with --count only that line. --after and --before
// include the day named; --limit stops after N matches. Exit 0 also when
// nothing matches; 1 for a wrong call, a refused pattern or an unreadable
// catalogue.
//
// It uses the name index when a fresh one is saved, builds and saves it when
// the cache folder can take it, and reads the file table directly otherwise.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "catalogue/qvdb.h"

namespace qv {

int runNameSearchCommand(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err);
qvdb::FeatureCommand nameSearchToolCommand();

}  // namespace qv
