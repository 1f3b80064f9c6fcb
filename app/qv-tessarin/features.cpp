#include "app/qv-tessarin/features.h"

#include "entries/ui/entrycommands.h"
#include "export/ui/exportcommands.h"
#include "folderview/ui/folderviewcommands.h"
#include "import/ui/importcommands.h"
#include "lending/ui/lendingcommands.h"
#include "masterdata/ui/masterdatacommands.h"
#include "output/ui/outputfeature.h"
#include "reading/ui/readingcommands.h"
#include "search/ui/filesearchcommands.h"
#include "search/ui/querycommands.h"
#include "statistics/ui/statisticscommands.h"

namespace qv {

FeatureList programFeatures() {
    FeatureList features;
    features.push_back(std::make_unique<EntryCommands>());
    features.push_back(std::make_unique<ReadingCommands>());
    features.push_back(std::make_unique<QueryCommands>());
    features.push_back(std::make_unique<StatisticsCommands>());
    features.push_back(std::make_unique<FileSearchCommands>());
    features.push_back(std::make_unique<MasterdataCommands>());
    features.push_back(std::make_unique<LendingCommands>());
    features.push_back(std::make_unique<OutputFeature>());
    features.push_back(std::make_unique<ImportCommands>());
    features.push_back(std::make_unique<ExportCommands>());
    features.push_back(std::make_unique<FolderViewCommands>());
    return features;
}

}  // namespace qv
