// The commands the program's features add to the tool. Each feature keeps
// its command beside its operation and names it here.
#include "catalogue/qvdb.h"
#include "duplicates/core/duplicatestool.h"
#include "masterdata/core/masterdata_tool.h"
#include "namesearch/core/namesearchtool.h"
#include "search/core/entryquery.h"
#include "search/core/filesearchtool.h"
#include "statistics/core/statistics.h"

#include "export/core/catalogueexport.h"
#include "import/core/importtool.h"
#include "lending/core/lending_tool.h"
#include "output/core/printcommands.h"
#include "reading/core/readingtool.h"
#include "volumes/core/volumetool.h"

namespace qvdb {

void addFeatureCommands() {
    addCommand({"print", qv::kPrintToolUsage,
                [](const std::vector<std::string>& args, std::istream&, std::ostream&,
                   std::ostream& err) { return qv::runPrintTool(args, err); }});
    qv::addReadingCommands();
    qv::addQueryToolCommand();
    qv::addStatisticsToolCommand();
    addCommand(qv::findToolCommand());
    addCommand(qv::nameSearchToolCommand());
    qv::addLendingToolCommands();
    qv::addDuplicateToolCommands();
    qv::addMasterdataToolCommands();
    addCommand({"import", "import VERZEICHNIS QUELLE.dbf", qv::runImportTool});
    qv::addVolumeCommands();
    qv::addExportToolCommand();
}

}  // namespace qvdb
