// The lending's commands of the store tool: the number a new address would
// get, and an entry's lent-to or borrowed-from address.
#pragma once

namespace qv {

void addLendingToolCommands();

}  // namespace qv
