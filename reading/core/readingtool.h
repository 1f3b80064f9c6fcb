// The store tool's commands of the carrier reading:
//
//   qvdb read DIR ENTRY ROOT [--top-only] [--all-extensions] [--allow-empty]
//       reads the directory ROOT as the carrier of the entry whose number is
//       ENTRY in the catalogue at DIR; the progress texts are printed as lines.
//       A ROOT without files for an entry that has files, and the mode of
//       defined extensions with an empty extension list, are refused (exit
//       1) unless --allow-empty is given
//   qvdb release DIR ENTRY
//       releases the entry's file records
//
// Both open the catalogue's tables exclusively, so they refuse a catalogue
// another program has open, with the engine's message.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qv {

// Adds "read" and "release" to the store tool.
void addReadingCommands();

int readCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int releaseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qv
