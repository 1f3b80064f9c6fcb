// The store tool's volume commands:
//
//   qvdb volume DIR ENTRY    the facts stored for the entry's carrier, one
//                            "KEY<TAB>VALUE" line each (entry, label, uuid,
//                            filesystem, total, free, model, read, files,
//                            bytes); exit 1 when none are stored
//   qvdb identify DIR MOUNTPOINT [--changes]
//                            "entry<TAB>N<TAB>TITLE<TAB>BOX<TAB>NUMBER" for the
//                            entry the mounted volume is, or "unknown"; with
//                            --changes, for a known one, "files<TAB>STORED<TAB>NOW",
//                            "bytes<TAB>STORED<TAB>NOW" and "changed" or
//                            "unchanged"; exit 0 either way
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qv {

int volumeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int identifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
void addVolumeCommands();

}  // namespace qv
