// The commands the program's features add to the tool. Each feature keeps
// its command beside its operation and names it here.
#include "store/tool/qvdb.h"

#include "import/importtool.h"

namespace qvdb {

void addFeatureCommands() {
    addCommand({"import", "import DIR SOURCE.dbf", qv::runImportTool});
}

}  // namespace qvdb
