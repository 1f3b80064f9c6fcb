// The commands the program's features add to the tool. Each feature keeps
// its command beside its operation and names it here.
#include "masterdata/masterdata_tool.h"
#include "search/entryquery.h"
#include "search/filesearchtool.h"
#include "statistics/statistics.h"
#include "store/tool/qvdb.h"

#include "import/importtool.h"
#include "output/print/printcommands.h"
#include "reading/readingtool.h"

namespace qvdb {

void addFeatureCommands() {
    addCommand({"print", qv::kPrintToolUsage,
                [](const std::vector<std::string>& args, std::istream&, std::ostream&,
                   std::ostream& err) { return qv::runPrintTool(args, err); }});
    qv::addReadingCommands();
    qv::addQueryToolCommand();
    qv::addStatisticsToolCommand();
    addCommand(qv::findToolCommand());
    qv::addMasterdataToolCommands();
    addCommand({"import", "import VERZEICHNIS QUELLE.dbf", qv::runImportTool});
}

}  // namespace qvdb
