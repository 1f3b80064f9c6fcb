// The commands the program's features add to the tool. Each feature keeps
// its command beside its operation and names it here.
#include "search/filesearchtool.h"
#include "store/tool/qvdb.h"

namespace qvdb {

void addFeatureCommands() {
    addCommand(qv::findToolCommand());
}

}  // namespace qvdb
