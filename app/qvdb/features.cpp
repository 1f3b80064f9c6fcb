// The commands the program's features add to the tool. Each feature keeps
// its command beside its operation and names it here.
#include "masterdata/core/masterdata_tool.h"
#include "search/core/entryquery.h"
#include "search/core/filesearchtool.h"
#include "statistics/core/statistics.h"
#include "catalogue/qvdb.h"

#include "export/core/catalogueexport.h"
#include "import/core/importtool.h"
#include "output/core/printcommands.h"
#include "reading/core/readingtool.h"

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
    addCommand({"import", "import DIR SOURCE.dbf", qv::runImportTool});
    qv::addExportToolCommand();
}

}  // namespace qvdb
