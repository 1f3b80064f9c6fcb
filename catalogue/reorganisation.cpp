#include "catalogue/reorganisation.h"

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/volumetable.h"
#include "store/tapollo.h"
#include "store/ttable.h"

namespace qv {

bool reorganiseCatalogue(TDM& dm, CatalogueSession& access, IntroDisplay& intro,
                         const FatalMessage& fatal) {
    intro.setStatusText(QStringLiteral("Reorg:"));
    intro.setStepText(QStringLiteral("Datenbank schließen, Index löschen"));
    intro.showNow();
    try {
        access.detachAll();
        for (CatalogueTable t : kTableOrder)
            dm.table(t).Close();
        for (CatalogueTable t : kIndexDeletionOrder)
            removeCatalogueFile(dm.filePath(catalogueTable(t).indexFile));
        for (CatalogueTable t : kTableOrder) {
            TTable& table = dm.table(t);
            table.setExclusive(true);
            table.setIndexName({});
            table.Open();
        }
        intro.announceSteps(1);
        intro.setStep(0);
        intro.showGauge();
        letMessagesRun();
        bool first = true;
        for (CatalogueTable t : kTableOrder) {
            intro.setStepText(catalogueTable(t).packText);
            if (!first) letMessagesRun();
            first = false;
            IntroGaugeHook hook(intro);
            access.apollo(t).sx_Pack();
        }
        // The volume table after the six, its index built again by the check.
        packVolumeTable(dm.programDir());
        if (!checkCatalogue(dm, access, intro, fatal)) return false;
    } catch (...) {
        intro.closeNow();
        throw;
    }
    access.reattach();
    intro.closeNow();
    return true;
}

}  // namespace qv
