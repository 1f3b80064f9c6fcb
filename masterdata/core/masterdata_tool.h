// The store tool's master-data commands, on a catalogue directory without
// windows:
//
//   qvdb address-next DIR            the number the next new address gets
//   qvdb lend DIR ENTRY raus|rein N  sets the entry's lent-to (raus) or
//                                    borrowed-from (rein) address number
//   qvdb status-names DIR [NAME x12] prints the twelve status names, or
//                                    replaces them and saves the settings file
#pragma once

namespace qv {

void addMasterdataToolCommands();

}  // namespace qv
