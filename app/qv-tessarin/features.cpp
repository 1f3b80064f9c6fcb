#include "app/qv-tessarin/features.h"

#include "duplicates/ui/duplicatecommands.h"
#include "entries/ui/entrycommands.h"
#include "export/ui/exportcommands.h"
#include "folderview/ui/folderviewcommands.h"
#include "import/ui/importcommands.h"
#include "lending/ui/lendingcommands.h"
#include "masterdata/ui/masterdatacommands.h"
#include "namesearch/ui/namesearchcommands.h"
#include "output/ui/outputfeature.h"
#include "reading/ui/readingcommands.h"
#include "search/ui/filesearchcommands.h"
#include "search/ui/querycommands.h"
#include "statistics/ui/statisticscommands.h"
#include "volumes/ui/volumecommands.h"

namespace qv {

FeatureList programFeatures() {
    FeatureList features;
    features.push_back(std::make_unique<EntryCommands>());
    auto reading = std::make_unique<ReadingCommands>();
    ReadingCommands* readingCommands = reading.get();
    features.push_back(std::move(reading));
    features.push_back(std::make_unique<QueryCommands>());
    features.push_back(std::make_unique<StatisticsCommands>());
    features.push_back(std::make_unique<FileSearchCommands>());
    features.push_back(std::make_unique<NameSearchCommands>());
    features.push_back(std::make_unique<DuplicateCommands>());
    features.push_back(std::make_unique<MasterdataCommands>());
    features.push_back(std::make_unique<LendingCommands>());
    features.push_back(std::make_unique<OutputFeature>());
    features.push_back(std::make_unique<ImportCommands>());
    features.push_back(std::make_unique<VolumeCommands>(readingCommands));
    features.push_back(std::make_unique<ExportCommands>());
    features.push_back(std::make_unique<FolderViewCommands>());
    return features;
}

}  // namespace qv
